// The model's constant of gravitation and the bounds of the elements it
// accepts: the checks on the element file and the texts of their reports are
// built from these, so that one edit changes both.
#pragma once

namespace orbit {

inline constexpr double GAUSS_K = 0.01720209895;  // Gaussian gravitational constant, rad/day

// The semi-major axes, AU, whose orbits keep every distance of the run, the
// squares of the differences of the two bodies' positions and their products
// finite, and their squares normal down to the perihelion distance:
//   - the farthest a body gets from the Sun is (1 + e)*a < 2*a, so the
//     vector between the bodies is shorter than 4*A_MAX and its squared
//     length (or a position's dot product with it) below 16*A_MAX^2 = 1.6e307;
//   - the nearest is (1 - e)*a >= 2^-53*a, over 1.1e-153 with A_MIN, whose
//     square 1.2e-306 is a normal double (they end at 2.2e-308);
//   - GAUSS_K/a^1.5 then lies between 5e-232 and 5e203 rad/day.
inline constexpr double A_MIN = 1e-137;
inline constexpr double A_MAX = 1e153;

// The largest magnitude of an angle, degrees, whose conversion pi*x/180 to
// radians stays finite (pi*5e307 is 1.6e308, below the largest double, 1.8e308).
inline constexpr double ANGLE_LIMIT = 5e307;

}  // namespace orbit
