// The binade of a double, read from its bits: what the mean anomaly's
// reduction and its table (revolution_steps.h) are indexed by.
#pragma once

#include <cstdint>

#include "orbit/portable.h"

namespace orbit {

// The binary exponent j of a finite normal |m|, with 2^j <= |m| < 2^(j+1).
inline int binade_of(double m) {
  return static_cast<int>((portable::bit_cast<std::uint64_t>(m) >> 52) & 0x7ff) - 1023;
}

}  // namespace orbit
