// The two ways kepler() (orbit.h) finds its answer, each callable on its own:
// for the tests, which hold one against the other, and for the benchmarks.
// The program itself calls only kepler().
#pragma once

#include "orbit/orbit.h"

namespace orbit::kepler_detail {

// Whether kepler() takes the shortcut in this build: the build defines
// EPHEMERIS_KEPLER_SHORTCUT and builds kepler_shortcut.cpp only with the GNU C
// library, whose sine is within one ulp. Elsewhere kepler() is the iteration.
#ifdef EPHEMERIS_KEPLER_SHORTCUT
inline constexpr bool SHORTCUT_BUILT = true;
#else
inline constexpr bool SHORTCUT_BUILT = false;
#endif

// Which way a solve went.
enum class kepler_path {
  shortcut,             // the one fixed point of the iteration, found near the root
  outside_range,        // e outside [2^-26, 0.5], M below 2^-26 or not finite
  band_too_wide,        // too many doubles near the root to examine, or to bound the steps
  two_attractors,       // several periodic points: the one on the mean anomaly's side
  not_one_fixed_point,  // several periodic points the shortcut cannot decide between
  shortcut_not_built,   // this build's C library is not known for a faithful sine
  iteration_alone,      // kepler_iteration_traced: no shortcut tried
};

// What a solve did: its path, how many times it called the library's sine,
// and where it started.
struct kepler_trace {
  kepler_path path;
  int sines;
  bool from_track;  // the start came from the track of the date before
};

// The fixed-point iteration E <- e*sin(E) + M from E = M with its repeat
// tests and its refinement at high eccentricity: kepler()'s answer by
// definition, bit for bit (see orbit.h). Any e in [0, 1), M in [0, 2*pi].
double kepler_iteration(double e, double mean_anomaly);

// kepler_iteration(e, M) and its sines (the path: iteration_alone).
double kepler_iteration_traced(double e, double mean_anomaly, kepler_trace& trace);

// kepler(e, M), bit for bit, and the way it went; with a track, as
// kepler(e, M, *track) does.
double kepler_traced(double e, double mean_anomaly, kepler_trace& trace,
                     kepler_track* track = nullptr);

}  // namespace orbit::kepler_detail
