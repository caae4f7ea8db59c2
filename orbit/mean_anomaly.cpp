// The reduction of the mean anomaly to [0, 2*pi].
//
// The reference is the plain loop `while (m > 2*pi) m -= 2*pi;` followed by
// `while (m < 0) m += 2*pi;`, one rounded operation per revolution. Within one
// binade [2^j, 2^(j+1)) of |m| every value is a multiple of the same spacing,
// so each step that stays inside the binade removes the same amount: 2*pi
// rounded to that spacing. (Where 2*pi falls exactly halfway between two
// multiples, the first step lands on an even multiple and every later one then
// removes the same amount.) So a run of steps inside a binade is taken as one
// multiplication, and only the last few steps before the binade's lower edge,
// where the spacing changes, are taken one by one. The result is the loop's,
// bit for bit.
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>

#include "orbit/orbit.h"

namespace orbit {
namespace {

// The binary exponent j of a finite non-zero |m|, with 2^j <= |m| < 2^(j+1).
int binade_of(double m) {
  return static_cast<int>((std::bit_cast<std::uint64_t>(m) >> 52) & 0x7ff) - 1023;
}

// Whole runs of steps as a double: the count, truncated, of `step`s that fit in
// `room` (negative room gives zero or less).
double whole_steps(double room, double inverse) {
  return static_cast<double>(static_cast<std::int64_t>(room * inverse));
}

// The value of `while (x >= 16) x -= two_pi;` for x > 0, bit for bit: a
// stretch of equal steps at a time, and the few steps before each stretch's
// lower edge one by one.
double walk_down(double x, const revolution_steps& table, double two_pi) {
  assert(x > 0 && "the walk goes down from a positive value");
  for (int j = binade_of(x); j >= revolution_steps::FIRST_BINADE; j = table.binades[j].next) {
    const revolution_steps::binade& b = table.binades[j];
    if (b.tie) x -= two_pi;  // settles on an even multiple, if still in the stretch
    const double runs = whole_steps(x - b.limit, b.inverse);
    // Exact: the step is a multiple of the spacing of every binade of its
    // stretch, so runs * step, below x, is a multiple of the top binade's
    // spacing and fits in 53 bits, and x - runs * step, still at or above
    // the stretch's edge, is a multiple of the spacing where it lands.
    if (runs > 0) x -= runs * b.step;
    while (x >= b.edge) x -= two_pi;
  }
  return x;
}

}  // namespace

revolution_steps make_revolution_steps(double two_pi) {
  revolution_steps table{};
  for (int j = revolution_steps::FIRST_BINADE; j < revolution_steps::BINADES; ++j) {
    revolution_steps::binade& b = table.binades[j];
    // 1.5 * 2^j is an even multiple of the binade's spacing: its step is the
    // settled one.
    const double even = 1.5 * std::ldexp(1.0, j);
    b.step = even - (even - two_pi);
    const double odd = std::nextafter(even, 2 * even);
    b.tie = odd - (odd - two_pi) != b.step;
    // A step that crosses into the binade below is rounded to its finer
    // spacing; where that gives the same amount (and neither binade has a
    // tie), the two binades are one stretch of equal steps.
    const revolution_steps::binade* below =
        j > revolution_steps::FIRST_BINADE ? &table.binades[j - 1] : nullptr;
    const bool joins = below != nullptr && !b.tie && !below->tie && below->step == b.step;
    b.edge = joins ? below->edge : std::ldexp(1.0, j);
    b.next = joins ? below->next : j - 1;
    b.limit = b.edge + two_pi + b.step;
    b.inverse = 1 / b.step;
  }
  return table;
}

double reduce_mean_anomaly(double mean_anomaly, const frame_constants& frame) {
  const double two_pi = frame.two_pi;
  double m = mean_anomaly;
  if (!(std::fabs(m) <= revolution_steps::MAX_LOOP_REVOLUTIONS * two_pi)) {
    // Far from the epoch, or not a number: an exact remainder into [0, 2*pi].
    m = std::fmod(m, two_pi);
    if (m < 0) m += two_pi;
    assert((std::isnan(m) || (m >= 0 && m <= two_pi)) && "the remainder lies in [0, 2*pi]");
    return m;
  }
  // Rounding to nearest is symmetric about zero, so adding 2*pi to a
  // negative m is subtracting it from -m, negated.
  if (m > two_pi) {
    m = walk_down(m, frame.revolutions, two_pi);
    while (m > two_pi) m -= two_pi;
  }
  if (m < 0) {
    m = -walk_down(-m, frame.revolutions, two_pi);
    while (m < 0) m += two_pi;
  }
  assert(m >= 0 && m <= two_pi && "the loops' result lies in [0, 2*pi]");
  return m;
}

}  // namespace orbit
