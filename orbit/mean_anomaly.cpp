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
// bit for bit. That walk is the general way; two shortcuts answer the runs'
// own values without it.
//
// The pieces. Take a stretch with edge E and step s (no tie), and c, the
// lowest double whose step c - 2*pi stays at or above E.
//   1. A step from v >= c removes exactly s: v - 2*pi lands in a binade of the
//      stretch, where 2*pi rounds to s; where it rounds up to E from less than
//      half a spacing below, v - s is E as well (|s - 2*pi| is at most half
//      E's spacing). A step from v in [E, c) crosses the edge. So from x the
//      walk takes k = max(0, floor((x - (c - s))/s)) steps of s and its last
//      value before crossing is y = x - k*s in [E, c), exactly: x, s and y are
//      multiples of the spacing of the stretch's top binade.
//   2. The crossing y - 2*pi rounds to the spacing just below E, half of E's,
//      and y is a multiple of E's: the rounding error depends on 2*pi alone
//      (a tie goes to the even multiple, again fixed by 2*pi). So the crossing
//      removes a constant. Inside a stretch with a tie the values come in on
//      even multiples and stay there, so its steps remove a constant too.
//   3. Below X = 2^p, where 2*pi is a multiple of the spacing of [X/2, X),
//      every step is exact: the values that come down there are multiples of
//      2*pi's last bit.
//   4. So from y the loops are a fixed sequence of constant removals as long
//      as no count changes. Run them once from y0, note in each stretch below
//      (down to X) the last value y_i before its crossing and its own c_i, and
//      the result r. Raising y0 by d >= 0 raises every y_i and r by d and keeps
//      every count while y_i + d < c_i for every i and r + d <= 2*pi; the loops
//      then end at r + d. The next piece starts at the lowest double that
//      breaks one of those bounds, found exactly (the sums stay within a factor
//      of two of y0). The offset r - (y0 - E) is a multiple of 2*pi's last bit
//      no larger than 2*pi, so exact, and so is w + offset: it is the result.
//      The program's 2*pi gives 3 to 7 pieces a stretch; more than PIECES, or
//      any condition above unmet, leaves the stretch to the walk.
//   5. k in one multiplication: t = x*inverse - bias differs from
//      (x - (c - s))/s - 2^-20 by four roundings of numbers below 2^13, far
//      less than 2^-20, so trunc(t) is k or k - 1 (0 where k is). The one
//      missing step shows as w = (x - E) - k*s >= c - E, and then
//      (x - (E + s)) - k*s is w. All of it exact: multiples of the top
//      binade's spacing, none above x.
//   6. A negative m: adding 2*pi to it is subtracting 2*pi from -m, negated;
//      from -m the loops take the same steps down to r in (0, 2*pi], then one
//      more, exact, to r - 2*pi. The result is 2*pi - r (+0 where r = 2*pi, as
//      -2*pi + 2*pi gives).
//
// The remainder beyond the loops, fmod(m, 2*pi), exact by definition: take
// `high`, 2*pi's first 25 significant bits, and `low` = 2*pi - high, at most
// 28 bits, below 2^-22. For 16 <= x <= 2^24 revolutions q = trunc(x/(2*pi) +
// 2^-20), from one multiplication, is the whole number of revolutions or one
// more; q < 2^25, so q*high and q*low are exact. x - q*high is x - q*2*pi +
// q*low, below 16 in size and a multiple of 2^-48 (x's spacing or high's last
// bit), so exact; less q*low it is x - q*2*pi, in [-2*pi, 2*pi) and a multiple
// of 2*pi's last bit, so exact again; plus 2*pi where negative, the remainder.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

#include "datafiles/portable.h"
#include "orbit/orbit.h"

namespace orbit {
namespace {

using binade = revolution_steps::binade;

// The binary exponent j of a finite non-zero |m|, with 2^j <= |m| < 2^(j+1).
int binade_of(double m) {
  return static_cast<int>((portable::bit_cast<std::uint64_t>(m) >> 52) & 0x7ff) - 1023;
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
    const binade& b = table.binades[j];
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

// The loops' result for x in a tabulated binade (note 5, then note 4's
// lookup), in (0, 2*pi].
double jump(double x, const binade& b) {
  const double removed =
      static_cast<double>(static_cast<std::int64_t>(x * b.inverse - b.bias)) * b.step;
  const double low = (x - b.edge) - removed;
  const double w = low >= b.width ? (x - b.edge_and_step) - removed : low;
  int piece = 0;
  for (const double start : b.breaks) piece += w >= start ? 1 : 0;
  return w + b.offsets[piece];
}

// fmod(x, 2*pi) for 16 <= x <= MAX_SPLIT_REVOLUTIONS revolutions, by halves.
double remainder_by_halves(double x, const revolution_steps& table, double two_pi) {
  const auto q = static_cast<double>(static_cast<std::int64_t>(x * table.per_two_pi + 0x1p-20));
  const double r = (x - q * table.high) - q * table.low;
  return r < 0 ? r + two_pi : r;
}

// The lowest double v whose step v - two_pi stays at or above `edge`.
double lowest_staying(double edge, double two_pi) {
  double v = edge + two_pi;
  while (v - two_pi >= edge) v = std::nextafter(v, 0.0);
  while (v - two_pi < edge) v = std::nextafter(v, 2 * v);
  return v;
}

// The lowest double at least `d` above `from`, or more than `d` if `beyond`;
// `from` + `d` at most twice `from`, so the check is exact.
double first_past(double from, double d, bool beyond) {
  double v = from + d;
  if (beyond ? v - from <= d : v - from < d) v = std::nextafter(v, 2 * v);
  return v;
}

// Below the returned power of two X every step of the loops is exact (note 3).
double exact_below(double two_pi) {
  const int zeros =
      std::countr_zero(portable::bit_cast<std::uint64_t>(two_pi) | (std::uint64_t{1} << 52));
  return std::ldexp(1.0, binade_of(two_pi) + zeros + 1);
}

// Fills binade j's pieces (note 4), or leaves it untabulated.
void tabulate(revolution_steps& table, int j, double two_pi) {
  binade& b = table.binades[j];
  b.tabulated = false;
  const double exact = exact_below(two_pi);
  if (b.tie || !(b.edge > exact)) return;
  double edges[revolution_steps::BINADES];
  double staying[revolution_steps::BINADES];
  int below = 0;
  for (int i = b.next;; i = table.binades[i].next) {
    if (i < revolution_steps::FIRST_BINADE || table.binades[i].edge < exact) return;
    edges[below] = table.binades[i].edge;
    staying[below] = lowest_staying(edges[below], two_pi);
    if (edges[below++] == exact) break;
  }
  const double top = lowest_staying(b.edge, two_pi);
  b.width = top - b.edge;
  if (b.width < b.step) return;
  std::fill(std::begin(b.breaks), std::end(b.breaks), std::numeric_limits<double>::infinity());
  int pieces = 0;
  for (double start = b.edge; start < top;) {
    if (pieces == revolution_steps::PIECES) return;
    double v = start;
    double next = top;
    for (int i = 0; i < below; ++i) {
      v -= two_pi;
      while (v - two_pi >= edges[i]) v -= two_pi;
      next = std::min(next, first_past(start, staying[i] - v, false));
    }
    v -= two_pi;
    while (v > two_pi) v -= two_pi;
    next = std::min(next, first_past(start, two_pi - v, true));
    if (pieces > 0) b.breaks[pieces - 1] = start - b.edge;
    b.offsets[pieces++] = v - (start - b.edge);
    start = next;
  }
  b.bias = (top - b.step) * b.inverse + 0x1p-20;
  b.edge_and_step = b.edge + b.step;
  b.tabulated = true;
}

}  // namespace

revolution_steps make_revolution_steps(double two_pi) {
  revolution_steps table{};
  for (int j = revolution_steps::FIRST_BINADE; j < revolution_steps::BINADES; ++j) {
    binade& b = table.binades[j];
    // 1.5 * 2^j is an even multiple of the binade's spacing: its step is the
    // settled one.
    const double even = 1.5 * std::ldexp(1.0, j);
    b.step = even - (even - two_pi);
    const double odd = std::nextafter(even, 2 * even);
    b.tie = odd - (odd - two_pi) != b.step;
    // A step that crosses into the binade below is rounded to its finer
    // spacing; where that gives the same amount (and neither binade has a
    // tie), the two binades are one stretch of equal steps, and the binade
    // below already holds all this one does: the stretch's edge, the binade
    // below it and the pieces, which depend on the stretch alone.
    const binade* lower = j > revolution_steps::FIRST_BINADE ? &table.binades[j - 1] : nullptr;
    if (lower != nullptr && !b.tie && !lower->tie && lower->step == b.step) {
      b = *lower;
      continue;
    }
    b.edge = std::ldexp(1.0, j);
    b.next = j - 1;
    b.limit = b.edge + two_pi + b.step;
    b.inverse = 1 / b.step;
    // Binades the loops never reach are left to the walk.
    if (b.edge <= revolution_steps::MAX_LOOP_REVOLUTIONS * two_pi) tabulate(table, j, two_pi);
  }
  // The remainder by halves needs 2*pi in [4, 8): low below 2^-22.
  table.split = binade_of(two_pi) == 2;
  table.high = portable::bit_cast<double>(portable::bit_cast<std::uint64_t>(two_pi) &
                                          ~((std::uint64_t{1} << 28) - 1));
  table.low = two_pi - table.high;
  table.per_two_pi = 1 / two_pi;
  return table;
}

double reduce_mean_anomaly(double mean_anomaly, const frame_constants& frame) {
  const double two_pi = frame.two_pi;
  const revolution_steps& table = frame.revolutions;
  double m = mean_anomaly;
  const double x = std::fabs(m);
  if (!(x <= revolution_steps::MAX_LOOP_REVOLUTIONS * two_pi)) {
    // Far from the epoch, or not a number: an exact remainder into [0, 2*pi].
    if (table.split && x <= revolution_steps::MAX_SPLIT_REVOLUTIONS * two_pi) {
      const double r = remainder_by_halves(x, table, two_pi);
      m = m < 0 ? -r : r;  // fmod's sign, -0 included
    } else {
      m = std::fmod(m, two_pi);
    }
    if (m < 0) m += two_pi;
    assert((std::isnan(m) || (m >= 0 && m <= two_pi)) && "the remainder lies in [0, 2*pi]");
    return m;
  }
  if (x >= std::ldexp(1.0, revolution_steps::FIRST_BINADE)) {
    const binade& b = table.binades[binade_of(x)];
    if (b.tabulated) {
      const double r = jump(x, b);
      assert(r > 0 && r <= two_pi && "the loops end in (0, 2*pi]");
      return m > 0 ? r : two_pi - r;
    }
  }
  // Rounding to nearest is symmetric about zero, so adding 2*pi to a
  // negative m is subtracting it from -m, negated.
  if (m > two_pi) {
    m = walk_down(m, table, two_pi);
    while (m > two_pi) m -= two_pi;
  }
  if (m < 0) {
    m = -walk_down(-m, table, two_pi);
    while (m < 0) m += two_pi;
  }
  assert(m >= 0 && m <= two_pi && "the loops' result lies in [0, 2*pi]");
  return m;
}

}  // namespace orbit
