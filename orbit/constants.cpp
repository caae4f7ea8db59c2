// The constants every run forms once.
#include <cmath>

#include "orbit/orbit.h"

namespace orbit {

frame_constants make_frame_constants() {
  const double t = 4 * std::atan(1.0);
  frame_constants frame{};
  frame.two_pi = t + t;
  frame.pi = t;
  frame.obliquity = t * OBLIQUITY_DEG / 180;
  frame.to_equator = make_rotation(-frame.obliquity);
  frame.revolutions = make_revolution_steps(frame.two_pi);
  return frame;
}

}  // namespace orbit
