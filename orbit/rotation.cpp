// Rotations of the coordinate axes, and the constants every run forms once.
#include <cmath>

#include "orbit/orbit.h"

namespace orbit {

rotation make_rotation(double theta) {
  return {std::cos(theta), std::sin(theta)};
}

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

vector3 rotax(const vector3& v, const rotation& turn) {
  return {v.x, v.y * turn.c + v.z * turn.s, -v.y * turn.s + v.z * turn.c};
}

vector3 rotax(const vector3& v, double theta) {
  return rotax(v, make_rotation(theta));
}

vector3 rotaz(const vector3& v, const rotation& turn) {
  return {v.x * turn.c + v.y * turn.s, -v.x * turn.s + v.y * turn.c, v.z};
}

vector3 rotaz(const vector3& v, double theta) {
  return rotaz(v, make_rotation(theta));
}

}  // namespace orbit
