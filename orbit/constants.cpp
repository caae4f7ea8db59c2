// The constants every run forms once.
#include <cmath>

#include "orbit/orbit.h"

namespace orbit {

frame_constants make_frame_constants() {
  const double t = 4 * std::atan(1.0);
  frame_constants k{};
  k.two_pi = t + t;
  k.pi = t;
  k.obliquity = t * OBLIQUITY_DEG / 180;
  k.to_equator = make_rotation(-k.obliquity);
  k.revolutions = make_revolution_steps(k.two_pi);
  return k;
}

}  // namespace orbit
