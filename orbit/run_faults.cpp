// The conditions under which a run writes only finite numbers.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "orbit/orbit.h"

namespace orbit {
namespace {

// Every value of the body that enters its position is the same, so that the
// two positions agree on every date.
bool same_orbit(const body_state& x, const body_state& y) {
  return x.a == y.a && x.e == y.e && x.i == y.i && x.w == y.w && x.node == y.node && x.m0 == y.m0 &&
         x.t0 == y.t0 && x.n == y.n;
}

// The two bodies closer than SAME_PLACE_FRACTION of the larger of their
// distances from the Sun on the run's first, middle and last dates: the same
// orbit, though its elements are written differently, whose positions differ
// only by rounding. The separation is taken in units of that distance, so that
// its square neither underflows nor overflows.
bool same_place(const body_state& x, const body_state& y, double start, std::int32_t count,
                const frame_constants& frame) {
  const std::int32_t indices[] = {0, (count - 1) / 2, count - 1};
  return std::all_of(std::begin(indices), std::end(indices), [&](std::int32_t index) {
    const double date = run_date(start, index);
    const helio_place p = helio_position(x, date, frame);
    const helio_place q = helio_position(y, date, frame);
    const double scale = std::max(p.r, q.r);
    const vector3 d{(p.position.x - q.position.x) / scale, (p.position.y - q.position.y) / scale,
                    (p.position.z - q.position.z) / scale};
    return (d.x * d.x + d.y * d.y) + d.z * d.z < SAME_PLACE_FRACTION * SAME_PLACE_FRACTION;
  });
}

std::optional<run_fault> mean_motion_fault(const body_state& state, body which) {
  if (std::isfinite(state.n) && state.n > 0) return std::nullopt;
  return run_fault{.kind = run_fault::mean_motion, .which = which, .value = state.n};
}

// The mean anomaly at the two ends of the span that holds the run's dates.
std::optional<run_fault> mean_anomaly_fault(const body_state& state, body which, double first,
                                            double last) {
  for (const bool at_last : {false, true}) {
    const double m = mean_anomaly_at(state, at_last ? last : first);
    if (!std::isfinite(m)) {
      return run_fault{
          .kind = run_fault::mean_anomaly, .which = which, .value = m, .at_last_date = at_last};
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<run_fault> find_run_fault(const body_state& target, const body_state& observer,
                                        double start, std::int32_t count,
                                        const frame_constants& frame) {
  if (auto fault = mean_motion_fault(target, body::target)) return fault;
  if (auto fault = mean_motion_fault(observer, body::observer)) return fault;
  if (count > 0) {
    // Each date is the one before plus a day, rounded: below 2^53 the
    // roundings add up to less than a day, beyond it a date moves by at
    // most two days in all.
    const double first = start - 2;
    const double last = start + count + 1;
    if (auto fault = mean_anomaly_fault(target, body::target, first, last)) return fault;
    if (auto fault = mean_anomaly_fault(observer, body::observer, first, last)) return fault;
  }
  if (same_orbit(target, observer) ||
      (count > 0 && same_place(target, observer, start, count, frame)))
    return run_fault{.kind = run_fault::same_orbit, .which = body::observer};
  return std::nullopt;
}

}  // namespace orbit
