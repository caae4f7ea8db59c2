// Kepler's equation E - e*sin(E) = M.
//
// The fixed-point iteration E <- e*sin(E) + M from E = M is the reference: its
// hundredth iterate is what ordinary orbits have always produced. Once an
// iterate repeats exactly the sequence is periodic from there on, so the
// hundredth iterate is known without computing the rest; that is the
// iteration's own fast path. Where no repeat comes within the hundred steps
// (high eccentricity), the iterate is still far from the root and safeguarded
// Newton steps finish it.
//
// For e <= 0.5 the shortcut of kepler_shortcut.cpp finds the same bits with
// one or two sines, where the C library's sine allows it (SHORTCUT_BUILT).
#include "orbit/kepler.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <numbers>

#include "orbit/kepler_shortcut.h"
#include "orbit/orbit.h"

namespace orbit {
namespace kepler_detail {
namespace {

// An upper bound on the refinement steps; bisection alone needs about 60.
constexpr int MAX_REFINEMENT_STEPS = 200;

// The root of E - e*sin(E) - M by Newton steps from `start`, kept inside a
// bracket that shrinks with every step; a step that would leave the bracket is
// replaced by bisection. Stops when a step no longer changes E.
template <class Sine>
double refine(double e, double mean_anomaly, double start, Sine& sine) {
  // E - M = e*sin(E), so the root lies within e of M.
  double low = mean_anomaly - e;
  double high = mean_anomaly + e;
  double anomaly = start;
  for (int step = 0; step < MAX_REFINEMENT_STEPS; ++step) {
    const double residual = (anomaly - e * sine(anomaly)) - mean_anomaly;
    if (residual == 0) break;
    if (residual < 0) {
      low = anomaly;
    } else {
      high = anomaly;
    }
    double next = anomaly - residual / (1 - e * std::cos(anomaly));
    if (!(next > low && next < high)) next = low + (high - low) * 0.5;
    if (next == anomaly) break;
    anomaly = next;
  }
  return anomaly;
}

template <class Sine>
double iterate(double e, double mean_anomaly, Sine& sine) {
  if (std::isnan(e) || !std::isfinite(mean_anomaly)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  // iterates[k] is the k-th iterate; the last two also live in registers for
  // the repeat tests, the array is read only when no short repeat came.
  double iterates[KEPLER_ITERATIONS + 1];
  iterates[0] = mean_anomaly;
  double before_previous = std::numeric_limits<double>::quiet_NaN();
  double previous = mean_anomaly;
  for (int k = 1; k <= KEPLER_ITERATIONS; ++k) {
    const double current = e * sine(previous) + mean_anomaly;
    if (current == previous) return current;  // a fixed point
    if (current == before_previous) {
      // Period two from step k - 2 on: the last step's value by its parity.
      if (!within_cycle_limit(current, previous, mean_anomaly)) {
        return refine(e, mean_anomaly, current, sine);
      }
      return (KEPLER_ITERATIONS - k) % 2 == 0 ? current : previous;
    }
    iterates[k] = current;
    before_previous = previous;
    previous = current;
  }

  // A longer cycle through the last iterate makes it the reference answer,
  // provided the cycle is as narrow as a short one would have to be.
  const double last = previous;
  const bool repeats =
      std::find(iterates, iterates + KEPLER_ITERATIONS, last) != iterates + KEPLER_ITERATIONS;
  if (repeats && within_cycle_limit(last, e * sine(last) + mean_anomaly, mean_anomaly)) {
    return last;
  }
  return refine(e, mean_anomaly, last, sine);
}

// kepler()'s answer: the shortcut's where it decides, else the iteration's;
// the way it went in `trace`.
template <class Sine>
double solve(double e, double mean_anomaly, Sine& sine, kepler_trace& trace, kepler_track* track) {
  assert((std::isnan(e) || (e >= 0 && e < 1)) && "an elliptic orbit's eccentricity");
  assert((!std::isfinite(mean_anomaly) ||
          (mean_anomaly >= 0 && mean_anomaly <= 2 * std::numbers::pi)) &&
         "a reduced mean anomaly");
  if constexpr (SHORTCUT_BUILT) {
    const shortcut_answer answer = shortcut(e, mean_anomaly, sine, track);
    trace.path = answer.path;
    trace.from_track = answer.from_track;
    if (!std::isnan(answer.value)) return answer.value;
  } else {
    trace.path = kepler_path::shortcut_not_built;
  }
  return iterate(e, mean_anomaly, sine);
}

}  // namespace

double kepler_iteration(double e, double mean_anomaly) {
  library_sine sine;
  return iterate(e, mean_anomaly, sine);
}

double kepler_iteration_traced(double e, double mean_anomaly, kepler_trace& trace) {
  trace = {kepler_path::iteration_alone, 0, false};
  counting_sine sine{&trace.sines};
  return iterate(e, mean_anomaly, sine);
}

double kepler_traced(double e, double mean_anomaly, kepler_trace& trace, kepler_track* track) {
  trace.sines = 0;
  counting_sine sine{&trace.sines};
  trace.from_track = false;
  return solve(e, mean_anomaly, sine, trace, track);
}

}  // namespace kepler_detail

double kepler(double e, double mean_anomaly) {
  kepler_detail::library_sine sine;
  kepler_detail::kepler_trace trace{};
  return kepler_detail::solve(e, mean_anomaly, sine, trace, nullptr);
}

double kepler(double e, double mean_anomaly, kepler_track& track) {
  kepler_detail::library_sine sine;
  kepler_detail::kepler_trace trace{};
  return kepler_detail::solve(e, mean_anomaly, sine, trace, &track);
}

}  // namespace orbit
