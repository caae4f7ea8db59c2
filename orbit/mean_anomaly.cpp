// The reduction of the mean anomaly to [0, 2*pi] on every date, from the
// table of revolution_steps.h.
// Why it is the loops' result bit for bit: the notes below.
#include <cassert>
#include <cmath>
#include <cstdint>

#include "orbit/binade.h"
#include "orbit/orbit.h"
#include "orbit/revolution_steps.h"

// Notes
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
//   7. The remainder beyond the loops, fmod(m, 2*pi), exact by definition:
//      take `high`, 2*pi's first 25 significant bits, and `low` = 2*pi -
//      high, at most 28 bits, below 2^-22. For 16 <= x <= 2^24 revolutions
//      q = trunc(x/(2*pi) + 2^-20), from one multiplication, is the whole
//      number of revolutions or one more; q < 2^25, so q*high and q*low are
//      exact. x - q*high is x - q*2*pi + q*low, below 16 in size and a
//      multiple of 2^-48 (x's spacing or high's last bit), so exact; less
//      q*low it is x - q*2*pi, in [-2*pi, 2*pi) and a multiple of 2*pi's last
//      bit, so exact again; plus 2*pi where negative, the remainder.

namespace orbit {
namespace {

using binade = revolution_steps::binade;

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

// fmod(x, 2*pi) for 16 <= x <= MAX_SPLIT_REVOLUTIONS revolutions, by halves
// (note 7).
double remainder_by_halves(double x, const revolution_steps& table, double two_pi) {
  const auto q = static_cast<double>(static_cast<std::int64_t>(x * table.per_two_pi + 0x1p-20));
  const double r = (x - q * table.high) - q * table.low;
  return r < 0 ? r + two_pi : r;
}

}  // namespace

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
