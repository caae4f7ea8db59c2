// Kepler's equation E - e*sin(E) = M.
//
// The fixed-point iteration E <- e*sin(E) + M from E = M is the reference: its
// hundredth iterate is what ordinary orbits have always produced. Once an
// iterate repeats exactly the sequence is periodic from there on, so the
// hundredth iterate is known without computing the rest; that is the fast path.
// Where no repeat comes within the hundred steps (high eccentricity), the
// iterate is still far from the root and safeguarded Newton steps finish it.
#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>

#include "orbit/orbit.h"

namespace orbit {
namespace {

// How far apart the two values of a period-two cycle may be for either to pass
// as the root. Rounding settles the iteration into such a cycle at most
// 1/(1 - e) ulps of E wide, a few ulps for every ordinary orbit; at e close to
// 1 the cycle can be hundreds of ulps wide and is then refined instead.
constexpr double CYCLE_WIDTH_LIMIT = 4 * DBL_EPSILON;

// An upper bound on the refinement steps; bisection alone needs about 60.
constexpr int MAX_REFINEMENT_STEPS = 200;

// True when two iterates are close enough, relative to the mean anomaly, for
// either to be accepted as the root.
bool within_cycle_limit(double a, double b, double mean_anomaly) {
  return std::fabs(a - b) <= CYCLE_WIDTH_LIMIT * std::max(std::fabs(mean_anomaly), 1.0);
}

// The root of E - e*sin(E) - M by Newton steps from `start`, kept inside a
// bracket that shrinks with every step; a step that would leave the bracket is
// replaced by bisection. Stops when a step no longer changes E.
double refine(double e, double mean_anomaly, double start) {
  // E - M = e*sin(E), so the root lies within e of M.
  double low = mean_anomaly - e;
  double high = mean_anomaly + e;
  double anomaly = start;
  for (int step = 0; step < MAX_REFINEMENT_STEPS; ++step) {
    const double residual = (anomaly - e * std::sin(anomaly)) - mean_anomaly;
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

}  // namespace

double kepler(double e, double mean_anomaly) {
  assert((std::isnan(e) || (e >= 0 && e < 1)) && "an elliptic orbit's eccentricity");
  assert((!std::isfinite(mean_anomaly) ||
          (mean_anomaly >= 0 && mean_anomaly <= 2 * std::numbers::pi)) &&
         "a reduced mean anomaly");
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
    const double current = e * std::sin(previous) + mean_anomaly;
    if (current == previous) return current;  // a fixed point
    if (current == before_previous) {
      // Period two from step k - 2 on: the last step's value by its parity.
      if (!within_cycle_limit(current, previous, mean_anomaly)) {
        return refine(e, mean_anomaly, current);
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
  if (repeats && within_cycle_limit(last, e * std::sin(last) + mean_anomaly, mean_anomaly)) {
    return last;
  }
  return refine(e, mean_anomaly, last);
}

}  // namespace orbit
