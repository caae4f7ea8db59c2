// The dates of a run's records, as the day loop forms them.
#include <cmath>
#include <cstdint>

#include "orbit/orbit.h"

namespace orbit {

double run_date(double start, std::int32_t index) {
  double date = start - 1;
  std::int64_t additions = std::int64_t{index} + 1;
  while (additions > 0 && std::isfinite(date)) {
    const int exponent = std::ilogb(date);
    // Within one binade whose spacing is at most 1 every sum is exact, and
    // so is every sum from a negative date up to its own magnitude's
    // negative, 0 included; there k additions are one. Elsewhere (the edge
    // of a binade, a spacing above 1, the dates near 0) one addition is made
    // as the loop makes it.
    std::int64_t exact = 0;
    if (date != 0 && exponent <= 52) {
      const double span =
          date < 0 ? std::floor(-date) : std::ceil(std::ldexp(1.0, exponent + 1) - date) - 1;
      exact = static_cast<std::int64_t>(std::fmin(span, static_cast<double>(additions)));
    }
    if (exact > 0) {
      date += static_cast<double>(exact);
      additions -= exact;
    } else {
      const double next = date + 1;
      if (next == date) break;  // a spacing above 2: the date no longer moves
      date = next;
      --additions;
    }
  }
  return date;
}

}  // namespace orbit
