// What kepler.cpp and the shortcut of kepler_shortcut.cpp share: the sines a
// solve may call, the iteration's test for a narrow cycle (which the
// shortcut's rule for two attractors mirrors), and the shortcut's entry. Not
// for the program's other parts: they call kepler() (orbit.h).
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "orbit/kepler.h"
#include "orbit/orbit.h"

namespace orbit::kepler_detail {

// The C library's sine.
struct library_sine {
  double operator()(double x) const { return std::sin(x); }
};

// The C library's sine, counting its calls.
struct counting_sine {
  int* calls;
  double operator()(double x) const {
    ++*calls;
    return std::sin(x);
  }
};

// How far apart the two values of a period-two cycle may be for either to pass
// as the root. Rounding settles the iteration into such a cycle at most
// 1/(1 - e) ulps of E wide, a few ulps for every ordinary orbit; at e close to
// 1 the cycle can be hundreds of ulps wide and is then refined instead.
inline constexpr double CYCLE_WIDTH_LIMIT = 4 * DBL_EPSILON;

// True when two iterates are close enough, relative to the mean anomaly, for
// either to be accepted as the root.
inline bool within_cycle_limit(double a, double b, double mean_anomaly) {
  return std::fabs(a - b) <= CYCLE_WIDTH_LIMIT * std::max(std::fabs(mean_anomaly), 1.0);
}

// What the shortcut found: the iteration's answer and the path that gave it,
// or NaN with the path that left the solve to the iteration.
struct shortcut_answer {
  double value;
  kepler_path path;
  bool from_track;  // the start came from the track of the date before
};

// The answer of the iteration E <- e*sin(E) + M from E = M, bit for bit, for
// e in [2^-26, 0.5] and M in [2^-26, 8], from one or two library sines where
// the notes of kepler_shortcut.cpp decide it; NaN (e, M or the case outside
// what they decide) otherwise. Starts from `track` where it can (nullptr:
// none) and leaves there what the next date's solve starts from. Built only
// where SHORTCUT_BUILT.
template <class Sine>
shortcut_answer shortcut(double e, double mean_anomaly, Sine& sine, kepler_track* track);

extern template shortcut_answer shortcut(double, double, library_sine&, kepler_track*);
extern template shortcut_answer shortcut(double, double, counting_sine&, kepler_track*);

}  // namespace orbit::kepler_detail
