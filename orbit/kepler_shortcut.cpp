// The shortcut to the answer of Kepler's iteration: for e <= 0.5 the same
// bits as the iteration with one or two sines instead of ten or more, or a
// refusal that leaves the solve to it. Built only with a C library whose sine
// is faithful (the GNU C library): the proof below rests on it.
#include "orbit/kepler_shortcut.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>

#include "orbit/orbit.h"
#include "orbit/portable.h"

// Notes: why the shortcut's answer is the iteration's
//
// Let g(x) = fl(fl(e*S(x)) + M) be one step of the iteration on doubles (S
// the C library's sine, fl rounding to nearest), h(x) = e*sin(x) + M the
// exact step, r the exact root (r = h(r)), u = 2^-53. The stages below are
// named after these notes.
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

namespace orbit::kepler_detail {
namespace {

constexpr double UNIT_ROUNDOFF = 0x1p-53;  // u
// Room for the roundings of the bounds' own computation: a bound computed
// in a handful of rounded operations, each within u of its result, is off by
// far less than 10^-4 of itself, so ROUNDING_ROOM_UP times it lies above the
// exact bound (ROUNDING_ROOM_DOWN times a lower bound, below it).
constexpr double ROUNDING_ROOM_UP = 1.0001;
constexpr double ROUNDING_ROOM_DOWN = 0.9999;
// (8) Room on `near` for its division and product, and to spare: a larger
// `near` only checks more doubles.
constexpr double NEAR_ROOM = 1.001;
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
[[gnu::always_inline]] inline sine_cosine small_sine_cosine(double t) {
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
small_angle tiny_sine_cosine(double t) {
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
sine_cosine cheap_sine_cosine(double x) {
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
start_point start_near_root(double e, double mean_anomaly) {
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
exact_sum two_sum(double a, double b) {
  const double s = a + b;
  const double b_part = s - a;
  return {s, (a - (s - b_part)) + (b - b_part)};
}

// a * b exactly as high + low (Dekker's product), for |a|, |b| <= 1 and a
// product far from underflow.
exact_sum two_product(double a, double b) {
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
double half_ulp_of_binade(double y) {
  const std::uint64_t exponent = portable::bit_cast<std::uint64_t>(y) & 0x7FF0000000000000;
  return portable::bit_cast<double>(exponent) * UNIT_ROUNDOFF;
}

// An offset from x0, computed with an error of at most u times its size,
// moved outward past that error. Adding it to x0 then rounds to a double on
// the far side of every double the exact offset reaches, as rounding is
// monotone.
double lowered(double offset) {
  return offset - 4 * UNIT_ROUNDOFF * std::fabs(offset);
}
double raised(double offset) {
  return offset + 4 * UNIT_ROUNDOFF * std::fabs(offset);
}

// The end, x0 + offset rounded, of the doubles within an offset of x0
// (offset below an eighth of x0): the rounded sum if it is within the offset,
// else the next double toward x0 (`inward` +1 for a lower end, -1 for an
// upper one). The difference from x0 is exact there (Sterbenz).
double inner_end(double x0, double offset, int inward) {
  const double end = x0 + offset;
  const double beyond = end - x0;
  if (inward > 0 ? beyond >= offset : beyond <= offset) return end;
  return portable::bit_cast<double>(portable::bit_cast<std::uint64_t>(end) +
                                    static_cast<std::uint64_t>(inward));
}

// The number of doubles in [low, high], 0 < low <= high finite.
std::uint64_t doubles_between(double low, double high) {
  return portable::bit_cast<std::uint64_t>(high) - portable::bit_cast<std::uint64_t>(low) + 1;
}

// (6) Which doubles [x0 + lower, x0 + upper] may hold, lower <= 0 <= upper:
// x0's bits if x0 alone, a neighbour's bits if x0 and that neighbour, 0 if
// more. (x0 > 0 and finite; the gaps to the neighbours are exact.)
std::uint64_t near_pair(double x0, double lower, double upper) {
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
// - first as bits (large if outside J), periodic[j] whether x_j is a
// periodic point of g.
struct examined_doubles {
  std::uint64_t first;
  std::uint64_t count;
  std::uint64_t image[EXAMINED_DOUBLES];
  bool periodic[EXAMINED_DOUBLES];
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
  const double sine_near = std::min(1.0, ROUNDING_ROOM_UP * (sine_at_root + span + 2 * NEAR_LIMIT));
  const double cosine_squared = (1 - sine_near) * (1 + sine_near);
  if (!(cosine_squared > 0)) return nan;
  const double cosine_near = ROUNDING_ROOM_DOWN * std::sqrt(cosine_squared);
  const double sine_error = 4 * half_ulp_of_binade(std::min(1.0, sine_near + 0x1p-50));
  const double near = NEAR_ROOM * (2 * sine_error) / cosine_near + 4 * u * span;
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

// ---------------------------------------------------------------------------
// The stages, each named after its note.

// A stage's decision: the answer with the path that gave it; a NaN answer
// leaves the solve to the iteration.
struct verdict {
  double answer;
  kepler_path path;
};

verdict found(double x) {
  return {x, kepler_path::shortcut};
}

verdict refused(kepler_path why) {
  return {std::numeric_limits<double>::quiet_NaN(), why};
}

// (7) Whether the shortcut may try e and M; the negated tests also send NaNs
// to the iteration.
bool within_range(double e, double mean_anomaly) {
  return e >= SHORTCUT_MIN_ECCENTRICITY && e <= SHORTCUT_MAX_ECCENTRICITY &&
         mean_anomaly >= SHORTCUT_MIN_MEAN_ANOMALY && mean_anomaly <= 8;
}

// (2) The root's bracket: x0 with its sine and g(x0), and the offsets from
// x0 between which the root r lies.
struct root_bracket {
  double x0;
  double s0;             // S(x0)
  double g0;             // g(x0)
  exact_sum distance;    // x0 - M, exactly
  double step_low;       // r >= x0 + step_low
  double step_high;      // r <= x0 + step_high
  double below_inverse;  // 1/(1 - e)

  // The farthest r may be from x0.
  [[nodiscard]] double root_offset() const { return std::max(-step_low, step_high); }
};

// (2) The residual at x0, exactly but for the sine's error and a few
// roundings of small quantities, each at most u times its result, and the
// root's bracket from it.
template <class Sine>
root_bracket bracket_root(double e, double mean_anomaly, double x0, Sine& sine) {
  constexpr double u = UNIT_ROUNDOFF;
  const double s0 = sine(x0);
  const double g0 = e * s0 + mean_anomaly;
  const exact_sum distance = two_sum(x0, -mean_anomaly);  // x0 - M
  const exact_sum product = two_product(e, s0);           // e*S(x0)
  const double high = distance.high - product.high;
  const double low = distance.low - product.low;
  const double residual = high + low;
  const double residual_error =
      ROUNDING_ROOM_UP * (u * (std::fabs(high) + std::fabs(low) + std::fabs(residual)) +
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
  return {x0, s0, g0, distance, step_low, step_high, below_inverse};
}

// (1) What the next date's solve starts from: x0 with its sine, and its
// cosine from that sine (whose error, near cos = 0, only makes that start
// poorer).
kepler_track next_track(double mean_anomaly, const root_bracket& root, double cosine_sign) {
  const double s0 = root.s0;
  return {mean_anomaly, root.x0, s0, std::copysign(std::sqrt((1 - s0) * (1 + s0)), cosine_sign)};
}

// (4), (5) The band the iteration settles in by step SETTLED_STEP: R_G, the
// global bound on where cycles lie, and the band's upper end.
struct settled_band {
  double global_radius;  // R_G
  double high;           // the band's upper end
};

// (5) The band, or nothing where it holds more than BAND_DOUBLES doubles.
std::optional<settled_band> band_of(const root_bracket& root, double e, double mean_anomaly) {
  constexpr double u = UNIT_ROUNDOFF;
  const double global_rounding =
      ROUNDING_ROOM_UP * u * (mean_anomaly + 6.01 * e) + UNDERFLOW_ALLOWANCE;            // A_G
  const double global_radius = ROUNDING_ROOM_UP * global_rounding * root.below_inverse;  // R_G
  const double settled_radius = global_radius + SETTLED_DISTANCE;
  const double band_low = root.x0 + lowered(root.step_low - settled_radius);
  const double band_high = root.x0 + raised(root.step_high + settled_radius);
  if (!(band_low > 0) || doubles_between(band_low, band_high) > BAND_DOUBLES) return std::nullopt;
  return settled_band{global_radius, band_high};
}

// (6) J lies in [x0 + lower, x0 + upper].
struct examined_span {
  double lower;
  double upper;
};

// (4) The cycle radius R: every cycle's points lie within R_G of r, so
// |g(x)| <= the band's upper end and |sin(x)| <= |sin(x0)| + |x - x0| <=
// |S(x0)|(1 + 4u) + root_offset + R_G. Each rounding is then at most half
// an ulp of the binade of the largest value it can take, the sine's error
// two ulps. J is every double within R of the root's bracket.
[[gnu::always_inline]] inline examined_span cycle_radius(const root_bracket& root,
                                                         const settled_band& band, double e) {
  constexpr double u = UNIT_ROUNDOFF;
  const double sine_bound = std::min(
      1.0, ROUNDING_ROOM_UP * (std::fabs(root.s0) + root.root_offset() + band.global_radius) +
               UNDERFLOW_ALLOWANCE);
  const double rounding = ROUNDING_ROOM_UP * (half_ulp_of_binade(band.high) +  // the sum
                                              half_ulp_of_binade(e * sine_bound * (1 + u)) +  // e*S
                                              e * 4 * half_ulp_of_binade(sine_bound)) +       // S
                          UNDERFLOW_ALLOWANCE;
  const double radius = ROUNDING_ROOM_UP * rounding * root.below_inverse;  // R
  return {lowered(root.step_low - radius), raised(root.step_high + radius)};
}

// (6) The decision by a pair: where J can hold only x0, or x0 and one
// neighbour x1, g at those decides without listing J.
struct pair_decision {
  std::optional<verdict> decided;
  std::uint64_t neighbour;  // x0's bits for x0 alone, x1's for a pair, 0 for more
  double g1;                // g(x1), once evaluated
};

template <class Sine>
pair_decision decide_by_pair(const root_bracket& root, const examined_span& span, double e,
                             double mean_anomaly, Sine& sine) {
  const double x0 = root.x0;
  const auto x0_bits = portable::bit_cast<std::uint64_t>(x0);
  const std::uint64_t neighbour = near_pair(x0, span.lower, span.upper);
  if (neighbour == x0_bits) {
    if (root.g0 == x0) return {found(x0), neighbour, 0};
    return {std::nullopt, neighbour, 0};
  }
  if (neighbour == 0) return {std::nullopt, neighbour, 0};
  const auto x1 = portable::bit_cast<double>(neighbour);
  const double g1 = e * sine(x1) + mean_anomaly;
  // A point whose image is another fixed point, or lies outside J, is not periodic.
  if (root.g0 == x0 && g1 != x1) return {found(x0), neighbour, g1};
  if (g1 == x1 && root.g0 != x0) return {found(x1), neighbour, g1};
  return {std::nullopt, neighbour, g1};
}

// (6) The periodic points: g on every double of J (the values at x0 and at
// the pair's neighbour reused) and which of them g comes back to within J.
// Decides where J holds one fixed point and no other periodic point; leaves
// `examined` filled for the attractor rule otherwise.
template <class Sine>
std::optional<verdict> find_periodic_points(const root_bracket& root, const examined_span& span,
                                            const pair_decision& pair, double e,
                                            double mean_anomaly, Sine& sine,
                                            examined_doubles& examined) {
  const double x0 = root.x0;
  const auto x0_bits = portable::bit_cast<std::uint64_t>(x0);
  const double low_end = inner_end(x0, span.lower, +1);
  const double high_end = inner_end(x0, span.upper, -1);
  if (!(high_end >= low_end))
    return refused(kepler_path::band_too_wide);  // cannot happen: a cycle exists
  const std::uint64_t count = doubles_between(low_end, high_end);
  if (count > EXAMINED_DOUBLES) return refused(kepler_path::band_too_wide);
  const auto first = portable::bit_cast<std::uint64_t>(low_end);
  examined.first = first;
  examined.count = count;
  for (std::uint64_t j = 0; j < count; ++j) {
    const auto x = portable::bit_cast<double>(first + j);
    double gx = 0;
    if (first + j == x0_bits) {
      gx = root.g0;
    } else if (first + j == pair.neighbour && pair.neighbour != x0_bits) {
      gx = pair.g1;
    } else {
      gx = e * sine(x) + mean_anomaly;
    }
    examined.image[j] = portable::bit_cast<std::uint64_t>(gx) - first;  // wraps round below J
  }
  // The periodic points of g on J: those to which following g inside J
  // comes back within `count` steps.
  if (count == 1 && examined.image[0] == 0) return found(portable::bit_cast<double>(first));
  int periodic_count = 0;
  std::uint64_t fixed = count;
  for (std::uint64_t j = 0; j < count; ++j) {
    std::uint64_t k = j;
    for (std::uint64_t step = 0; step < count; ++step) {
      k = examined.image[k];
      if (k >= count || k == j) break;
    }
    examined.periodic[j] = k == j;
    if (k == j) {
      ++periodic_count;
      if (examined.image[j] == j) fixed = j;
    }
  }
  if (periodic_count == 1 && fixed != count)
    return found(portable::bit_cast<double>(first + fixed));
  if (periodic_count == 0) return refused(kepler_path::not_one_fixed_point);  // cannot happen
  return std::nullopt;
}

// (8) The attractor on M's side, as a verdict.
template <class Sine>
verdict decide_by_attractor(const root_bracket& root, double e, double mean_anomaly, Sine& sine,
                            const examined_doubles& examined) {
  const double sine_at_root =
      (std::fabs(root.distance.high) + std::fabs(root.distance.low) + root.root_offset()) / e;
  const double answer = attractor_on_side(e, mean_anomaly, sine, examined, sine_at_root);
  if (std::isnan(answer)) return refused(kepler_path::not_one_fixed_point);
  return {answer, kepler_path::two_attractors};
}

// The stages after the root's bracket, in the order of the notes.
template <class Sine>
verdict decide(const root_bracket& root, double e, double mean_anomaly, Sine& sine) {
  const std::optional<settled_band> band = band_of(root, e, mean_anomaly);  // (5)
  if (!band) return refused(kepler_path::band_too_wide);
  const examined_span span = cycle_radius(root, *band, e);                       // (4)
  const pair_decision pair = decide_by_pair(root, span, e, mean_anomaly, sine);  // (6)
  if (pair.decided) return *pair.decided;
  examined_doubles examined{};
  if (const std::optional<verdict> decided =
          find_periodic_points(root, span, pair, e, mean_anomaly, sine, examined)) {  // (6)
    return *decided;
  }
  return decide_by_attractor(root, e, mean_anomaly, sine, examined);  // (8)
}

}  // namespace

template <class Sine>
shortcut_answer shortcut(double e, double mean_anomaly, Sine& sine, kepler_track* track) {
  if (!within_range(e, mean_anomaly)) {  // (7)
    if (track != nullptr) track->mean_anomaly = std::numeric_limits<double>::quiet_NaN();
    return {std::numeric_limits<double>::quiet_NaN(), kepler_path::outside_range, false};
  }
  const bool from_track = track != nullptr && track_starts(*track, e, mean_anomaly);  // (1)
  const start_point start =
      from_track ? start_from_track(e, mean_anomaly, *track) : start_near_root(e, mean_anomaly);
  const root_bracket root = bracket_root(e, mean_anomaly, start.x, sine);  // (2)
  if (track != nullptr) *track = next_track(mean_anomaly, root, start.cosine_sign);
  const verdict answer = decide(root, e, mean_anomaly, sine);
  return {answer.answer, answer.path, from_track};
}

template shortcut_answer shortcut(double, double, library_sine&, kepler_track*);
template shortcut_answer shortcut(double, double, counting_sine&, kepler_track*);

}  // namespace orbit::kepler_detail
