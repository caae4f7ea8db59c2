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
// For e <= 0.5 a shortcut finds the same bits with one or two sines instead
// of ten or more. Let g(x) = fl(fl(e*S(x)) + M) be one step of the iteration
// on doubles (S the C library's sine, fl rounding to nearest), h(x) =
// e*sin(x) + M the exact step, r the exact root (r = h(r)), u = 2^-53.
//   1. A start near the root. A cheap sine and cosine of M (a quadrant and
//      Taylor polynomials), the series in e to e^4 and Halley steps on
//      d = E - M (one up to e = 1/8), with sin(M + d) from the addition
//      formula, give x0 within about an ulp of r. On a run's next date
//      (kepler_track), from the date before's x0 = p, its library sine and
//      a cosine from that sine, the same is had with one Halley step on
//      d = E - p, which is small. Nothing below depends on how near x0 is: a
//      poor x0 only widens what is examined, or sends the solve to the
//      iteration.
//   2. One library sine at x0 gives g(x0), and with the exact product and
//      difference (Dekker's and Knuth's error-free sums and products) the
//      residual f(x0) = x0 - e*sin(x0) - M within the sine's error alone.
//      As f' = 1 - e*cos lies in [1 - e, 1 + e], r = x0 - f(x0)/f'(xi) lies
//      in an interval [r_lo, r_hi] that is computed with room for rounding
//      (the reciprocals of 1 - e and 1 + e, which depend on e alone, taken
//      in place of divisions: their roundings are in that room).
//   3. The rounding of one step. The C library's sine is taken to be within
//      two ulps of sin (GNU's is faithful, under one ulp; the margin is
//      kept), so |S(x) - sin(x)| <= 4u|S(x)| plus an underflow term, and
//      |g(x) - h(x)| <= eta(x) = 0.5 ulp(g(x)) + 0.5 ulp(fl(e*S(x))) + e*2 ulp(S(x)).
//   4. Where every cycle of g lies. If a periodic orbit of g reaches D from
//      r at its farthest point x, then D <= e*D + eta at the point before x,
//      as |h(y) - r| = e*|sin(y) - sin(r)| <= e*|y - r|: so D <= R =
//      eta_max/(1 - e). No monotonicity is needed. First with a global eta
//      (|S| <= 1, |g| <= M + e, an ulp at most 2u times the value):
//      A_G = u*(M + 6.01e) gives R_G. Then, the cycle's points being within
//      R_G of r, |g| is at most the band's upper end and |sin(x)| at most
//      |sin(x0)| + |x - x0| <= |S(x0)|(1 + 4u) + |r - x0| + R_G: each
//      rounding is at most half an ulp of the binade of its largest value,
//      and that eta gives R.
//   5. The iteration gets there in time. From E = M, |M - r| = e|sin r| <= e,
//      and each step gives |x_{k+1} - r| <= e|x_k - r| + A_G, so from step
//      64 on every iterate is within R_G + 2^-65 of r (e^65 <= 2^-65), and the
//      band of that radius about r is mapped into itself. If it holds at most
//      BAND_DOUBLES doubles, the iterates from step 64 on move among them and
//      reach their cycle within BAND_DOUBLES - 1 more steps, and a fixed point
//      is seen one step later: by step 64 + BAND_DOUBLES <= KEPLER_ITERATIONS.
//   6. g is evaluated on every double J within R of [r_lo, r_hi] (at most
//      EXAMINED_DOUBLES, the value at x0 reused), which holds every periodic
//      point of g with its whole orbit. If the only periodic point in J is
//      one fixed point p, p is the only cycle of g anywhere. The iteration
//      from M, periodic after finitely many steps, ends in it: it repeats p
//      by step KEPLER_ITERATIONS (5), and no other repeat comes first (a
//      value equal to the one two steps back would be periodic, hence p, and
//      would have repeated one step earlier). So the iteration returns p.
//      Most often J is x0 alone or x0 and one neighbour x1, and g there
//      decides without listing J: a point of J whose image is another fixed
//      point, or lies outside J, is not periodic. So g(x0) = x0 with
//      g(x1) != x1 gives x0, and g(x1) = x1 with g(x0) != x0 gives x1.
//   7. Everything else is left to the iteration: e > 0.5 or below 2^-26
//      (where it repeats within a few steps anyway), M below 2^-26, a band
//      of (5) or a J of (6) with too many doubles, and the cases (8) leaves.
//   8. Several periodic points in J (two fixed points where cos(E) > 0, a
//      cycle of two values where cos(E) < 0: about 6 % of a Mars orbit's
//      days). Every iterate lies in D = [M - e', M + e'], e' = e(1 + 2^-48)
//      plus the sum's rounding, as |fl(e*S)| <= e(1 + 5u). Let D lie where
//      sin is monotone (within [-pi/2, pi/2], [3pi/2, 5pi/2] or [pi/2,
//      3pi/2]) and M beyond every periodic point of J, on one side; let a be
//      the periodic point nearest M and b = g(a), with g(b) = a. Call x
//      "on a's side" if it is in D and a is between M and x (or x = a).
//      (a) Order. Let |sin| <= s on the doubles within NEAR_LIMIT of J, with
//      s from |sin(r)| = |r - M|/e, so |cos| >= c = sqrt(1 - s^2) there. Each
//      library sine is within eps = 2 ulps of the binade of s + 2^-50 of
//      sin (a sine above that differs from sin(q) by more than 2^-50, twice
//      any sine's error). If x in D is at least near = 2eps/c from q (q = a
//      or b), |sin(x) - sin(q)| >= near*c >= 2eps in the monotone direction,
//      so S(x), fl(e*S(x)) and g(x) keep the order of sin(x) and sin(q) (fl
//      is monotone). The doubles nearer than that are evaluated (at most
//      NEAR_DOUBLES that are not already in J).
//      (b) Where sin increases, b = a is required: x on a's side gives g(x)
//      on a's side, so the set is closed under g. The iteration from M stays
//      in it, and its cycle, made of periodic points, is {a}.
//      (c) Where sin decreases, x on a's side gives g(x) beyond b on the
//      other side, and a point beyond b gives one on a's side: the even
//      iterates stay on a's side. The cycle the iteration enters has its
//      even-numbered values on a's side and periodic, so equal to a: it is
//      {a, b} (or {a} if b = a), and the hundredth iterate is a. The
//      iteration returns it, by its parity rule, provided a and b pass its
//      width test (a wider cycle is refined: left to it). By (5) the cycle
//      is entered by step 64 + BAND_DOUBLES - 1 and its repeat seen two
//      steps later, within the hundred; no earlier repeat, as in (6).
#include "orbit/kepler.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "datafiles/portable.h"
#include "orbit/orbit.h"

namespace orbit {
namespace kepler_detail {
namespace {

// ---------------------------------------------------------------------------
// The iteration.

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

// ---------------------------------------------------------------------------
// The shortcut, note by note as above.

constexpr double UNIT_ROUNDOFF = 0x1p-53;  // u
// Covers every underflow term of the bounds (each at most a few 2^-1074).
constexpr double UNDERFLOW_ALLOWANCE = 0x1p-1060;
constexpr double SHORTCUT_MAX_ECCENTRICITY = 0.5;
constexpr double SHORTCUT_MIN_ECCENTRICITY = 0x1p-26;
constexpr double SHORTCUT_MIN_MEAN_ANOMALY = 0x1p-26;
// (5): iterates are in the band from step 64 on; 64 + 30 < KEPLER_ITERATIONS.
constexpr int SETTLED_STEP = 64;
constexpr double SETTLED_DISTANCE = 0x1p-65;  // >= e^65 for e <= 0.5
constexpr std::uint64_t BAND_DOUBLES = 30;
static_assert(SETTLED_STEP + BAND_DOUBLES + 1 <= KEPLER_ITERATIONS);  // (8) two steps for a cycle
// (6): the most doubles evaluated.
constexpr std::uint64_t EXAMINED_DOUBLES = 6;
// Halley steps stop once a step is this small: the next error, about
// e/6 times its cube, is then far below an ulp.
constexpr double START_SETTLED = 0x1p-16;
constexpr int MAX_START_STEPS = 4;
// Up to this eccentricity one Halley step from the series leaves an error
// near e/6 times the cube of the series' error (about e^5), far below an ulp.
constexpr double ONE_STEP_ECCENTRICITY = 0.125;
// How far the mean anomaly may have moved on since the track's solve for the
// track to start the next: a date's motion of the inner planets but Mercury.
constexpr double TRACK_REACH = 1.0 / 32;

struct sine_cosine {
  double s;
  double c;
};

// sin(t) and cos(t) for |t| <= pi/4 by their Taylor polynomials (to t^15 and
// t^16), in Estrin's order to shorten the chain of dependent operations:
// within a few ulps, which only the start uses.
[[maybe_unused, gnu::always_inline]] inline sine_cosine small_sine_cosine(double t) {
  const double y = t * t;
  const double y2 = y * y;
  const double y4 = y2 * y2;
  // sin(t) = t + t*y*(a0 + a1 y + ... + a6 y^6), a_k = (-1)^(k+1)/(2k+3)!
  const double sine_series =
      ((-1.0 / 6 + y * (1.0 / 120)) + y2 * (-1.0 / 5040 + y * (1.0 / 362880))) +
      y4 * ((-1.0 / 39916800 + y * (1.0 / 6227020800)) + y2 * (-1.0 / 1307674368000));
  // cos(t) = 1 + y*(b0 + b1 y + ... + b7 y^7), b_k = (-1)^(k+1)/(2k+2)!
  const double cosine_series =
      ((-1.0 / 2 + y * (1.0 / 24)) + y2 * (-1.0 / 720 + y * (1.0 / 40320))) +
      y4 * ((-1.0 / 3628800 + y * (1.0 / 479001600)) +
            y2 * (-1.0 / 87178291200 + y * (1.0 / 20922789888000)));
  return {t + t * y * sine_series, 1 + y * cosine_series};
}

// sin(t) and cos(t) - 1 for |t| <= 1/8 by their Taylor polynomials to t^11
// and t^12, whose remainders are below 10^-20: the small angles of the
// Halley steps, whose cosines enter less 1.
struct small_angle {
  double sine;
  double cosine_less_1;
};
[[maybe_unused]] small_angle tiny_sine_cosine(double t) {
  const double y = t * t;
  const double y2 = y * y;
  const double sine_series = (-1.0 / 6 + y * (1.0 / 120)) +
                             y2 * ((-1.0 / 5040 + y * (1.0 / 362880)) + y2 * (-1.0 / 39916800));
  const double cosine_series =
      (-1.0 / 2 + y * (1.0 / 24)) +
      y2 * ((-1.0 / 720 + y * (1.0 / 40320)) + y2 * (-1.0 / 3628800 + y * (1.0 / 479001600)));
  return {t + t * y * sine_series, y * cosine_series};
}

// sin(x) and cos(x) for x in [0, 8] to about an ulp: x less the nearest
// multiple of pi/2 (in two parts), then the quadrant's signs.
[[maybe_unused]] sine_cosine cheap_sine_cosine(double x) {
  constexpr double HALF_PI_HIGH = 1.5707963267948966;    // the double nearest pi/2
  constexpr double HALF_PI_LOW = 6.123233995736766e-17;  // pi/2 - HALF_PI_HIGH
  // x >= 0, so this is the nearest quadrant; which way a tie goes does not
  // matter, |t| is pi/4 either way.
  const int quadrant =
      static_cast<int>(x * (2 / std::numbers::pi) + 0.5);  // NOLINT(bugprone-incorrect-roundings)
  const double t = (x - quadrant * HALF_PI_HIGH) - quadrant * HALF_PI_LOW;
  const sine_cosine z = small_sine_cosine(t);
  switch (quadrant & 3) {
    case 0:
      return z;
    case 1:
      return {z.c, -z.s};
    case 2:
      return {-z.s, -z.c};
    default:
      return {-z.c, z.s};
  }
}

// A start: x0 and a value of the sign of cos(x0) (its size is not used).
struct start_point {
  double x;
  double cosine_sign;
};

// One Halley step on d for the root of d - e*(S*cos(d) + C*sin(d)) - c,
// where S and C are the sine and cosine at the point d is taken from, given
// sin(d) and cos(d) - 1: the step to take from d, with e*cos(point + d).
struct halley_step {
  double delta;
  double e_cos;
};
halley_step halley(double e_s, double e_c, double c, double d, const small_angle& z) {
  const double sin_d = z.sine;
  const double cos_d_less_1 = z.cosine_less_1;
  const double e_sin_gain = e_c * sin_d + e_s * cos_d_less_1;     // e*(sin(point + d) - S)
  const double e_sin = e_s + e_sin_gain;                          // e*sin(point + d)
  const double e_cos = e_c + (e_c * cos_d_less_1 - e_s * sin_d);  // e*cos(point + d)
  const double f = (d - e_sin_gain) - c;
  // Halley's step f/(f' - f f''/(2 f')), f'' = e sin, to the same order
  // with one division.
  const double inverse_slope = 1 / (1 - e_cos);
  const double newton = f * inverse_slope;
  return {newton * (1 + 0.5 * newton * e_sin * inverse_slope), e_cos};
}

// (1) x0 near the root, for e <= 0.5 and M in [0, 2*pi]: from the sine and
// cosine of M, E = M + d.
[[maybe_unused]] start_point start_near_root(double e, double mean_anomaly) {
  const sine_cosine m = cheap_sine_cosine(mean_anomaly);
  const double s2 = 2 * m.s * m.c;
  const double c2 = (m.c - m.s) * (m.c + m.s);
  const double s3 = m.s * (3 - 4 * m.s * m.s);
  const double s4 = 2 * s2 * c2;
  // E - M = e sin M + e^2/2 sin 2M + e^3/8 (3 sin 3M - sin M)
  //         + e^4/6 (2 sin 4M - sin 2M) + ..., the powers of e apart
  const double e2 = e * e;
  double d = (e * m.s + e2 * (0.5 * s2)) +
             (e2 * e * (0.125 * (3 * s3 - m.s)) + e2 * e2 * ((2 * s4 - s2) * (1.0 / 6)));
  const double e_s = e * m.s;
  const double e_c = e * m.c;
  // d - e sin(M + d) = 0: c = e*S as the point is M itself.
  const auto step_at = [&](const small_angle& z) { return halley(e_s, e_c, e_s, d, z); };
  if (e <= ONE_STEP_ECCENTRICITY) {
    const halley_step step = step_at(tiny_sine_cosine(d));
    return {mean_anomaly + (d - step.delta), step.e_cos};
  }
  double e_cos = e_c;
  for (int k = 0; k < MAX_START_STEPS; ++k) {
    small_angle z{};
    if (std::fabs(d) <= 0.125) {
      z = tiny_sine_cosine(d);
    } else {
      const sine_cosine wide = small_sine_cosine(d);
      z = {wide.s, wide.c - 1};
    }
    const halley_step step = step_at(z);
    d -= step.delta;
    e_cos = step.e_cos;
    if (std::fabs(step.delta) < START_SETTLED) break;
  }
  return {mean_anomaly + d, e_cos};
}

// Whether the track's point can start the solve for M: a date or so before,
// on an orbit for which one Halley step is enough.
bool track_starts(const kepler_track& track, double e, double mean_anomaly) {
  return e <= ONE_STEP_ECCENTRICITY && mean_anomaly >= track.mean_anomaly &&
         mean_anomaly - track.mean_anomaly <= TRACK_REACH;
}

// (1) x0 near the root from the track's point p, its library sine S and a
// cosine C near cos(p): E = p + d, where d - e*(C sin d + S (cos d - 1)) =
// M - p + e*S, from the first two terms of its series in M - p and one Halley
// step. With M - p below TRACK_REACH and e at most ONE_STEP_ECCENTRICITY, d
// is below 1/16, well within tiny_sine_cosine's reach.
start_point start_from_track(double e, double mean_anomaly, const kepler_track& track) {
  const double e_s = e * track.sine;
  const double e_c = e * track.cosine;
  const double c = (mean_anomaly - track.point) + e_s;
  // (1 - e C) d + e S d^2/2 = c to second order.
  const double inverse = 1 / (1 - e_c);
  const double q = c * inverse;
  const double d = q - 0.5 * e_s * (q * q) * inverse;
  const halley_step step = halley(e_s, e_c, c, d, tiny_sine_cosine(d));
  return {track.point + (d - step.delta), step.e_cos};
}

// a + b exactly as high + low (Knuth's two-sum).
struct exact_sum {
  double high;
  double low;
};
[[maybe_unused]] exact_sum two_sum(double a, double b) {
  const double s = a + b;
  const double b_part = s - a;
  return {s, (a - (s - b_part)) + (b - b_part)};
}

// a * b exactly as high + low (Dekker's product), for |a|, |b| <= 1 and a
// product far from underflow.
[[maybe_unused]] exact_sum two_product(double a, double b) {
  constexpr double SPLITTER = 134217729.0;  // 2^27 + 1
  const double ca = SPLITTER * a;
  const double a_high = ca - (ca - a);
  const double a_low = a - a_high;
  const double cb = SPLITTER * b;
  const double b_high = cb - (cb - b);
  const double b_low = b - b_high;
  const double p = a * b;
  return {p, ((a_high * b_high - p) + a_high * b_low + a_low * b_high) + a_low * b_low};
}

// Half an ulp of every double of magnitude at most |y| (y normal): half the
// spacing of y's binade.
[[maybe_unused]] double half_ulp_of_binade(double y) {
  const std::uint64_t exponent = portable::bit_cast<std::uint64_t>(y) & 0x7FF0000000000000;
  return portable::bit_cast<double>(exponent) * UNIT_ROUNDOFF;
}

// An offset from x0, computed with an error of at most u times its size,
// moved outward past that error. Adding it to x0 then rounds to a double on
// the far side of every double the exact offset reaches, as rounding is
// monotone.
[[maybe_unused]] double lowered(double offset) {
  return offset - 4 * UNIT_ROUNDOFF * std::fabs(offset);
}
[[maybe_unused]] double raised(double offset) {
  return offset + 4 * UNIT_ROUNDOFF * std::fabs(offset);
}

// The end, x0 + offset rounded, of the doubles within an offset of x0
// (offset below an eighth of x0): the rounded sum if it is within the offset,
// else the next double toward x0 (`inward` +1 for a lower end, -1 for an
// upper one). The difference from x0 is exact there (Sterbenz).
[[maybe_unused]] double inner_end(double x0, double offset, int inward) {
  const double end = x0 + offset;
  const double beyond = end - x0;
  if (inward > 0 ? beyond >= offset : beyond <= offset) return end;
  return portable::bit_cast<double>(portable::bit_cast<std::uint64_t>(end) +
                                    static_cast<std::uint64_t>(inward));
}

// The number of doubles in [low, high], 0 < low <= high finite.
[[maybe_unused]] std::uint64_t doubles_between(double low, double high) {
  return portable::bit_cast<std::uint64_t>(high) - portable::bit_cast<std::uint64_t>(low) + 1;
}

// (6) Which doubles [x0 + lower, x0 + upper] may hold, lower <= 0 <= upper:
// x0's bits if x0 alone, a neighbour's bits if x0 and that neighbour, 0 if
// more. (x0 > 0 and finite; the gaps to the neighbours are exact.)
[[maybe_unused]] std::uint64_t near_pair(double x0, double lower, double upper) {
  const auto bits = portable::bit_cast<std::uint64_t>(x0);
  const auto at = [bits](int k) {
    return portable::bit_cast<double>(bits + static_cast<std::uint64_t>(k));
  };
  const bool none_below = lower > at(-1) - x0;
  const bool none_above = upper < at(1) - x0;
  if (none_below && none_above) return bits;
  if (none_below && upper < at(2) - x0) return bits + 1;
  if (none_above && lower > at(-2) - x0) return bits - 1;
  return 0;
}

// The doubles of (6): J = [first, first + count) as bits, image[j] = g(x_j)
// - first as bits, periodic[j] whether x_j is a periodic point of g.
struct examined_doubles {
  std::uint64_t first;
  std::uint64_t count;
  const std::uint64_t* image;
  const bool* periodic;
};

// Doubles nearest the odd multiples of pi/2, on either side.
constexpr double HALF_PI_BELOW = 0x1.921fb54442d18p0;
constexpr double HALF_PI_ABOVE = 0x1.921fb54442d19p0;
constexpr double THREE_HALF_PI_BELOW = 0x1.2d97c7f3321d2p2;
constexpr double THREE_HALF_PI_ABOVE = 0x1.2d97c7f3321d3p2;
constexpr double FIVE_HALF_PI_BELOW = 0x1.f6a7a2955385ep2;
// (8): how near a periodic point the order of the sines is left to
// evaluation at most, and how many doubles are evaluated there at most.
constexpr double NEAR_LIMIT = 0x1p-40;
constexpr std::uint64_t NEAR_DOUBLES = 12;

// (8) Whether every double x with 0 < |x - q| < near on the side `away` (-1
// below q, +1 above) has g(x) on the side `image_side` of g(q) or equal to it.
template <class Sine>
bool near_doubles_keep_order(double e, double mean_anomaly, Sine& sine,
                             const examined_doubles& examined, std::uint64_t q, double near,
                             int away, int image_side, std::uint64_t& evaluations) {
  const auto q_value = portable::bit_cast<double>(q);
  const auto q_image =
      portable::bit_cast<double>(examined.first + examined.image[q - examined.first]);
  // Every double within `near` of q on that side lies between q and the
  // rounded end; the end itself may be one too far, which costs a sine.
  const double end = q_value + away * near;
  const auto end_bits = portable::bit_cast<std::uint64_t>(end);
  const std::uint64_t steps = away > 0 ? end_bits - q : q - end_bits;
  if (!(end > 0) || steps > NEAR_DOUBLES) return false;
  for (std::uint64_t i = 1; i <= steps; ++i) {
    const std::uint64_t x_bits = away > 0 ? q + i : q - i;
    double gx = 0;
    if (x_bits - examined.first < examined.count) {
      gx = portable::bit_cast<double>(examined.first + examined.image[x_bits - examined.first]);
    } else {
      if (++evaluations > NEAR_DOUBLES) return false;
      gx = e * sine(portable::bit_cast<double>(x_bits)) + mean_anomaly;
    }
    if (image_side > 0 ? gx < q_image : gx > q_image) return false;
  }
  return true;
}

// (8) The periodic point the iteration from M ends on when J holds more than
// one, or NaN if the argument does not close. sine_at_root bounds |sin(r)|.
template <class Sine>
double attractor_on_side(double e, double mean_anomaly, Sine& sine,
                         const examined_doubles& examined, double sine_at_root) {
  constexpr double u = UNIT_ROUNDOFF;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // The lowest and highest periodic points; M must lie beyond one of them.
  std::uint64_t lowest = examined.count;
  std::uint64_t highest = 0;
  for (std::uint64_t j = 0; j < examined.count; ++j) {
    if (examined.periodic[j]) {
      lowest = std::min(lowest, j);
      highest = std::max(highest, j);
    }
  }
  int side = 0;  // M's side of the periodic points: -1 below, +1 above
  if (mean_anomaly <= portable::bit_cast<double>(examined.first + lowest)) side = -1;
  if (mean_anomaly >= portable::bit_cast<double>(examined.first + highest)) side = +1;
  if (side == 0) return nan;
  const std::uint64_t a = side < 0 ? lowest : highest;  // the answer, if any
  const std::uint64_t b = examined.image[a];            // its image
  if (b >= examined.count || !examined.periodic[b] || examined.image[b] != a) return nan;
  const auto a_value = portable::bit_cast<double>(examined.first + a);
  const auto b_value = portable::bit_cast<double>(examined.first + b);
  if (!within_cycle_limit(a_value, b_value, mean_anomaly)) return nan;  // refined instead

  // Every iterate lies in [d_low, d_high] (|fl(e*S)| <= e(1 + 5u)); the
  // sine must be monotone there.
  const double reach = e * (1 + 0x1p-48) + (mean_anomaly + e) * 0x1p-48;
  const double d_low = mean_anomaly - reach;
  const double d_high = mean_anomaly + reach;
  int direction = 0;  // +1 where sin increases on [d_low, d_high], -1 where it decreases
  if ((d_low >= -HALF_PI_BELOW && d_high <= HALF_PI_BELOW) ||
      (d_low >= THREE_HALF_PI_ABOVE && d_high <= FIVE_HALF_PI_BELOW)) {
    direction = +1;
  } else if (d_low >= HALF_PI_ABOVE && d_high <= THREE_HALF_PI_BELOW) {
    direction = -1;
  }
  if (direction == 0) return nan;
  if (direction > 0 && b != a) return nan;  // a cycle where g increases: not expected

  // Within `near` of a or b the order of the sines is checked by evaluation;
  // beyond it the sines differ by more than both their errors. (The last
  // term of `near` is only room to spare: a larger `near` checks more.)
  const double span = portable::bit_cast<double>(examined.first + examined.count - 1) -
                      portable::bit_cast<double>(examined.first);
  const double sine_near = std::min(1.0, 1.0001 * (sine_at_root + span + 2 * NEAR_LIMIT));
  const double cosine_squared = (1 - sine_near) * (1 + sine_near);
  if (!(cosine_squared > 0)) return nan;
  const double cosine_near = 0.9999 * std::sqrt(cosine_squared);
  const double sine_error = 4 * half_ulp_of_binade(std::min(1.0, sine_near + 0x1p-50));
  const double near = 1.001 * (2 * sine_error) / cosine_near + 4 * u * span;
  if (!(near <= NEAR_LIMIT)) return nan;

  std::uint64_t evaluations = 0;
  // a's set {x on M's side of a} goes to b's side: the same side where g
  // increases (b = a), the other where it decreases.
  if (!near_doubles_keep_order(e, mean_anomaly, sine, examined, examined.first + a, near, side,
                               side * direction, evaluations)) {
    return nan;
  }
  if (direction < 0 && !near_doubles_keep_order(e, mean_anomaly, sine, examined, examined.first + b,
                                                near, -side, side, evaluations)) {
    return nan;
  }
  return a_value;
}

// The shortcut's answer, or NaN with the path that refused it.
template <class Sine>
double shortcut(double e, double mean_anomaly, Sine& sine, kepler_trace& trace,
                kepler_track* track) {
  kepler_path& path = trace.path;
  constexpr double u = UNIT_ROUNDOFF;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // (7) The range; the negated tests also send NaNs to the iteration.
  if (!(e >= SHORTCUT_MIN_ECCENTRICITY && e <= SHORTCUT_MAX_ECCENTRICITY &&
        mean_anomaly >= SHORTCUT_MIN_MEAN_ANOMALY && mean_anomaly <= 8)) {
    path = kepler_path::outside_range;
    if (track != nullptr) track->mean_anomaly = nan;
    return nan;
  }
  trace.from_track = track != nullptr && track_starts(*track, e, mean_anomaly);
  const start_point start = trace.from_track ? start_from_track(e, mean_anomaly, *track)
                                             : start_near_root(e, mean_anomaly);
  const double x0 = start.x;

  // (2) The residual at x0, exactly but for the sine's error and a few
  // roundings of small quantities, each at most u times its result.
  const double s0 = sine(x0);
  if (track != nullptr) {
    // The next date's start: x0 with its sine, and its cosine from that sine
    // (whose error, near cos = 0, only makes that start poorer).
    *track = {mean_anomaly, x0, s0,
              std::copysign(std::sqrt((1 - s0) * (1 + s0)), start.cosine_sign)};
  }
  const double g0 = e * s0 + mean_anomaly;
  const exact_sum distance = two_sum(x0, -mean_anomaly);  // x0 - M
  const exact_sum product = two_product(e, s0);           // e*S(x0)
  const double high = distance.high - product.high;
  const double low = distance.low - product.low;
  const double residual = high + low;
  const double residual_error =
      1.0001 * (u * (std::fabs(high) + std::fabs(low) + std::fabs(residual)) +
                e * 4 * half_ulp_of_binade(s0)) +
      UNDERFLOW_ALLOWANCE;
  // r - x0 = -f(x0)/f'(xi): the least and greatest of -F/f' over F in
  // [residual -+ residual_error] and f' in [1 - e, 1 + e], then room for the
  // roundings of these few operations (the reciprocals, rounded twice, and
  // the products: under 4u in all). The reciprocals depend on e alone, so
  // they are ready long before the residual.
  const double below_inverse = 1 / (1 - e);  // 1/(1 - e), 1/(1 + e) within 2u
  const double above_inverse = 1 / (1 + e);
  const double f_low = residual - residual_error;
  const double f_high = residual + residual_error;
  const double step_room =
      8 * u * (std::fabs(residual) + residual_error) * below_inverse + UNDERFLOW_ALLOWANCE;
  // (The least of -F/f' is -F/(1 - e) for F > 0 and -F/(1 + e) otherwise,
  // the smaller of the two either way: no branch on the residual's sign.)
  const double step_low = std::min(-f_high * below_inverse, -f_high * above_inverse) - step_room;
  const double step_high = std::max(-f_low * below_inverse, -f_low * above_inverse) + step_room;
  // r in [x0 + step_low, x0 + step_high].

  // (4), (5) The global bound and the band the iteration settles in.
  const double global_rounding =
      1.0001 * u * (mean_anomaly + 6.01 * e) + UNDERFLOW_ALLOWANCE;       // A_G
  const double global_radius = 1.0001 * global_rounding * below_inverse;  // R_G
  const double settled_radius = global_radius + SETTLED_DISTANCE;
  const double band_low = x0 + lowered(step_low - settled_radius);
  const double band_high = x0 + raised(step_high + settled_radius);
  if (!(band_low > 0) || doubles_between(band_low, band_high) > BAND_DOUBLES) {
    path = kepler_path::band_too_wide;
    return nan;
  }

  // (4) The tight bound on where cycles lie: their points x are within R_G
  // of r, so |g(x)| <= band_high and |sin(x)| <= |sin(x0)| + |x - x0| <=
  // |S(x0)|(1 + 4u) + root_offset + R_G. Each rounding is then at most half
  // an ulp of the binade of the largest value it can take, the sine's error
  // two ulps.
  const double root_offset = std::max(-step_low, step_high);
  const double sine_bound =
      std::min(1.0, 1.0001 * (std::fabs(s0) + root_offset + global_radius) + UNDERFLOW_ALLOWANCE);
  const double rounding = 1.0001 * (half_ulp_of_binade(band_high) +                 // the sum
                                    half_ulp_of_binade(e * sine_bound * (1 + u)) +  // e*S
                                    e * 4 * half_ulp_of_binade(sine_bound)) +       // S
                          UNDERFLOW_ALLOWANCE;
  const double radius = 1.0001 * rounding * below_inverse;  // R

  // (6) J lies in [x0 + lower, x0 + upper]. Most often that holds x0 alone,
  // or x0 and one neighbour, and the answer follows from g at those.
  const double lower = lowered(step_low - radius);
  const double upper = raised(step_high + radius);
  const auto x0_bits = portable::bit_cast<std::uint64_t>(x0);
  const std::uint64_t neighbour = near_pair(x0, lower, upper);
  if (neighbour == x0_bits) {
    if (g0 == x0) {
      path = kepler_path::shortcut;
      return x0;
    }
  }
  double g1 = 0;  // g at the neighbour, once evaluated
  if (neighbour != x0_bits && neighbour != 0) {
    const auto x1 = portable::bit_cast<double>(neighbour);
    g1 = e * sine(x1) + mean_anomaly;
    // A point whose image is another fixed point, or lies outside J, is not periodic.
    if (g0 == x0 && g1 != x1) {
      path = kepler_path::shortcut;
      return x0;
    }
    if (g1 == x1 && g0 != x0) {
      path = kepler_path::shortcut;
      return x1;
    }
  }

  // (6) Every double within R of [r_lo, r_hi].
  const double low_end = inner_end(x0, lower, +1);
  const double high_end = inner_end(x0, upper, -1);
  if (!(high_end >= low_end)) {
    path = kepler_path::band_too_wide;  // cannot happen: a cycle exists
    return nan;
  }
  const std::uint64_t count = doubles_between(low_end, high_end);
  if (count > EXAMINED_DOUBLES) {
    path = kepler_path::band_too_wide;
    return nan;
  }
  const auto first = portable::bit_cast<std::uint64_t>(low_end);
  std::uint64_t image[EXAMINED_DOUBLES];  // g(x) - first, as bits; large if outside J
  for (std::uint64_t j = 0; j < count; ++j) {
    const auto x = portable::bit_cast<double>(first + j);
    double gx = 0;
    if (first + j == x0_bits) {
      gx = g0;
    } else if (first + j == neighbour && neighbour != x0_bits) {
      gx = g1;
    } else {
      gx = e * sine(x) + mean_anomaly;
    }
    image[j] = portable::bit_cast<std::uint64_t>(gx) - first;  // wraps round below J
  }
  // The periodic points of g on J: those to which following g inside J
  // comes back within `count` steps.
  if (count == 1 && image[0] == 0) {  // the common case: one double, fixed
    path = kepler_path::shortcut;
    return portable::bit_cast<double>(first);
  }
  bool periodic[EXAMINED_DOUBLES] = {};
  int periodic_count = 0;
  std::uint64_t fixed = count;
  for (std::uint64_t j = 0; j < count; ++j) {
    std::uint64_t k = j;
    for (std::uint64_t step = 0; step < count; ++step) {
      k = image[k];
      if (k >= count || k == j) break;
    }
    if (k == j) {
      periodic[j] = true;
      ++periodic_count;
      if (image[j] == j) fixed = j;
    }
  }
  if (periodic_count == 1 && fixed != count) {
    path = kepler_path::shortcut;
    return portable::bit_cast<double>(first + fixed);
  }
  if (periodic_count == 0) {  // cannot happen: a cycle exists
    path = kepler_path::not_one_fixed_point;
    return nan;
  }

  // (8) Several periodic points: the one on M's side.
  const examined_doubles examined{first, count, image, periodic};
  const double sine_at_root =
      (std::fabs(distance.high) + std::fabs(distance.low) + root_offset) / e;
  const double answer = attractor_on_side(e, mean_anomaly, sine, examined, sine_at_root);
  path = std::isnan(answer) ? kepler_path::not_one_fixed_point : kepler_path::two_attractors;
  return answer;
}

template <class Sine>
double solve(double e, double mean_anomaly, Sine& sine, kepler_trace& trace, kepler_track* track) {
  assert((std::isnan(e) || (e >= 0 && e < 1)) && "an elliptic orbit's eccentricity");
  assert((!std::isfinite(mean_anomaly) ||
          (mean_anomaly >= 0 && mean_anomaly <= 2 * std::numbers::pi)) &&
         "a reduced mean anomaly");
  if constexpr (SHORTCUT_BUILT) {
    const double answer = shortcut(e, mean_anomaly, sine, trace, track);
    if (!std::isnan(answer)) return answer;
  } else {
    trace.path = kepler_path::shortcut_not_built;
  }
  return iterate(e, mean_anomaly, sine);
}

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
