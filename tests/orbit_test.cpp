#include "orbit/orbit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include "test_support.h"

namespace {

using orbit::vector3;
using std::numbers::pi;

constexpr double au_tol = 1e-12;      // AU, against an independent computation
constexpr double unit_tol = 1e-15;    // components of unit vectors
constexpr double degree_tol = 1e-12;  // degrees
constexpr double hour_tol = 1e-12;    // hours of right ascension
constexpr double residual_ulps = 6;   // Kepler residual, in DBL_EPSILON * max(|M|, 1)
const double nan = std::numeric_limits<double>::quiet_NaN();

const orbit::frame_constants& frame() {
  static const orbit::frame_constants k = orbit::make_frame_constants();
  return k;
}

orbit::body_state body(double a, double e, double i, double w, double node, double m0) {
  return orbit::make_body_state({a, e, i, w, node, m0, 2451545.0, 0.0});
}

double length(const vector3& v) {
  return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// A body at P whose solar distance is |P|.
orbit::helio_place at(double x, double y, double z) {
  return {{x, y, z}, length({x, y, z})};
}

double kepler_residual(double e, double m, double anomaly) {
  return std::fabs((anomaly - e * std::sin(anomaly)) - m) /
         (DBL_EPSILON * std::max(std::fabs(m), 1.0));
}

// Newton's method from E = pi, which converges monotonically for M in [0, 2*pi].
double newton_kepler(double e, double m) {
  double anomaly = pi;
  for (int step = 0; step < 100; ++step) {
    const double next =
        anomaly - (anomaly - e * std::sin(anomaly) - m) / (1 - e * std::cos(anomaly));
    if (next == anomaly) break;
    anomaly = next;
  }
  return anomaly;
}

void expect_near(const vector3& got, const vector3& want, double tol) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}

TEST(Rotations, QuarterTurnsMoveTheOtherAxesAndCopyTheirOwn) {
  const double quarter = pi / 2;
  struct turn_case {
    bool about_x;
    vector3 in, out;
  };
  const turn_case cases[] = {{true, {0, 1, 0}, {0, 0, -1}}, {true, {0, 0, 1}, {0, 1, 0}},
                             {true, {3, 0, 0}, {3, 0, 0}},  {false, {1, 0, 0}, {0, -1, 0}},
                             {false, {0, 1, 0}, {1, 0, 0}}, {false, {0, 0, -2}, {0, 0, -2}}};
  for (const turn_case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.about_x ? "rotax " : "rotaz ") << c.in.x << ' ' << c.in.y << ' ' << c.in.z);
    const orbit::rotation turn = orbit::make_rotation(quarter);
    const vector3 by_turn = c.about_x ? orbit::rotax(c.in, turn) : orbit::rotaz(c.in, turn);
    expect_near(by_turn, c.out, unit_tol);
    EXPECT_EQ(c.about_x ? by_turn.x : by_turn.z, c.about_x ? c.in.x : c.in.z);
  }
}

TEST(Kepler, ExactSpecialValues) {
  for (double m : {0.0, 1e-300, 0.5, 3.0, pi, 6.0, 2 * pi}) EXPECT_EQ(orbit::kepler(0, m), m);
  for (double e : {0.0, 0.3, 0.9, 0.999}) EXPECT_EQ(orbit::kepler(e, 0), 0.0);
  const double root = orbit::kepler(0.5, 1);
  EXPECT_NEAR(root, newton_kepler(0.5, 1), 2 * DBL_EPSILON);
  EXPECT_LE(kepler_residual(0.5, 1, root), 1);
}

TEST(Kepler, ResidualIsAFewUlpsForEveryEccentricity) {
  for (int ie = 0; ie <= 333; ++ie) {
    const double e = ie * 0.003;
    for (int j = 0; j <= 1000; ++j) {
      const double m = 2 * pi * j / 1000;
      ASSERT_LE(kepler_residual(e, m, orbit::kepler(e, m)), residual_ulps) << e << ' ' << m;
    }
  }
  // Just past pi the fixed-point iteration falls into two-value cycles up to
  // 1/(1 - e) ulps wide at once; those must be refined, not returned.
  for (double e : {0.9, 0.99, 0.999}) {
    double m = pi;
    for (int ulps = 1; ulps <= 3000; ++ulps) {
      m = std::nextafter(m, 4.0);
      ASSERT_LE(kepler_residual(e, m, orbit::kepler(e, m)), residual_ulps) << e << ' ' << ulps;
    }
  }
}

TEST(Kepler, IsBitIdenticalToTheHundredthIterateForOrdinaryOrbits) {
  int two_cycles_by_parity[2] = {0, 0};
  for (int ie = 0; ie <= 60; ++ie) {
    const double e = ie * 0.01;
    for (int j = 0; j <= 2000; ++j) {
      const double m = 2 * pi * j / 2000;
      double iterates[orbit::KEPLER_ITERATIONS + 1] = {m};
      for (int k = 1; k <= orbit::KEPLER_ITERATIONS; ++k) {
        iterates[k] = e * std::sin(iterates[k - 1]) + m;
      }
      const double last = iterates[orbit::KEPLER_ITERATIONS];
      ASSERT_EQ(orbit::kepler(e, m), last) << e << ' ' << m;
      for (int k = 2; k <= orbit::KEPLER_ITERATIONS; ++k) {
        if (iterates[k] == iterates[k - 1]) break;
        if (iterates[k] == iterates[k - 2]) {
          ++two_cycles_by_parity[k % 2];
          break;
        }
      }
    }
  }
  // The grid reaches two-value cycles entered at both parities of the step.
  EXPECT_GT(two_cycles_by_parity[0], 0);
  EXPECT_GT(two_cycles_by_parity[1], 0);
}

TEST(Kepler, NotANumberComesBackWithoutHanging) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(std::isnan(orbit::kepler(nan, 1)));
  EXPECT_TRUE(std::isnan(orbit::kepler(0.5, nan)));
  EXPECT_TRUE(std::isnan(orbit::kepler(0.5, inf)));
}

TEST(MeanAnomaly, NearTheEpochTheSubtractAndAddLoopsAreKeptBitForBit) {
  const double two_pi = frame().two_pi;
  for (double m : {0.0, two_pi, 1.0, two_pi + 1e-9, -1e-300, -two_pi, 123.456, -4000.5 * two_pi,
                   4095.7 * two_pi, -4096 * two_pi}) {
    double expected = m;
    while (expected > two_pi) expected -= two_pi;
    while (expected < 0) expected += two_pi;
    EXPECT_EQ(orbit::reduce_mean_anomaly(m, frame()), expected) << m;
  }
}

TEST(MeanAnomaly, TheLoopsResultIsKeptBitForBitOverTheirWholeRange) {
  // Random values up to 4096 revolutions either way, and runs of neighbours
  // around the binade edges, where the rounding of each step changes.
  const double two_pi = frame().two_pi;
  auto plain_loops = [two_pi](double m) {
    while (m > two_pi) m -= two_pi;
    while (m < 0) m += two_pi;
    return m;
  };
  std::vector<double> values;
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> within(-4096 * two_pi, 4096 * two_pi);
  std::uniform_real_distribution<double> near_zero(-3 * two_pi, 3 * two_pi);
  values.reserve(50000);
  for (int j = 0; j < 50000; ++j) values.push_back(within(random));
  for (int j = 0; j < 20000; ++j) values.push_back(near_zero(random));
  for (double tiny : {1e-300, -1e-300, 4.9e-324, -4.9e-324, 1e-20, -1e-20}) values.push_back(tiny);
  for (int power = 3; power <= 14; ++power) {
    for (double edge : {std::ldexp(1.0, power), -std::ldexp(1.0, power)}) {
      double below = edge;
      double above = edge;
      for (int j = 0; j < 300; ++j) {
        values.push_back(below = std::nextafter(below, 0.0));
        values.push_back(above = std::nextafter(above, 2 * edge));
      }
    }
  }
  for (double m : values) {
    const double expected = plain_loops(m);
    const double reduced = orbit::reduce_mean_anomaly(m, frame());
    ASSERT_EQ(std::bit_cast<std::uint64_t>(reduced), std::bit_cast<std::uint64_t>(expected))
        << std::setprecision(17) << m << " gives " << reduced << ", not " << expected;
  }
}

TEST(MeanAnomaly, FarFromTheEpochTheRemainderIsTakenAtOnce) {
  const double two_pi = frame().two_pi;
  for (double m : {6.3e7, -6.3e7, 4097 * two_pi + 0.25, 1e298, -1e300}) {
    const double reduced = orbit::reduce_mean_anomaly(m, frame());
    EXPECT_GE(reduced, 0) << m;
    EXPECT_LE(reduced, two_pi) << m;
  }
  EXPECT_NEAR(orbit::reduce_mean_anomaly(4097 * two_pi + 0.25, frame()), 0.25, 1e-11);
  EXPECT_NEAR(orbit::reduce_mean_anomaly(-4097 * two_pi - 0.25, frame()), two_pi - 0.25, 1e-11);
  for (double m : {nan, std::numeric_limits<double>::infinity()}) {
    EXPECT_TRUE(std::isnan(orbit::reduce_mean_anomaly(m, frame())));
  }
}

// The reduction's table for another value of 2*pi, to check the tables'
// construction where the steps, ties and exact region fall differently.
orbit::frame_constants frame_for(double two_pi) {
  orbit::frame_constants k = frame();
  k.two_pi = two_pi;
  k.revolutions = orbit::make_revolution_steps(two_pi);
  return k;
}

// Values to reduce: magnitudes of both signs up to `top`, and
// values a few ulps from each stretch's edge, from the lowest value whose step
// stays in the stretch and from each piece's start, as themselves and moved up
// by whole steps of the stretch.
std::vector<double> reduction_inputs(const orbit::frame_constants& k, double top, long count,
                                     std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<double> values;
  for (long n = 0; n < count; ++n) {
    // Log-uniform from the tiny and from 1, and uniform: most in the loops' range.
    const double low = n % 3 == 0 ? 1e-300 : 1;
    const double magnitude =
        n % 3 == 2 ? top * unit(rng) : std::exp(std::log(low) + unit(rng) * std::log(top / low));
    values.push_back(n % 2 == 0 ? magnitude : -magnitude);
  }
  for (const auto& b : k.revolutions.binades) {
    if (b.step == 0) continue;
    std::vector<double> starts{b.edge, b.edge + b.width};
    for (const double start : b.breaks) {
      if (std::isfinite(start)) starts.push_back(b.edge + start);
    }
    for (const double start : starts) {
      std::uniform_real_distribution<double> steps(0, std::fmax(0, (top - start) / b.step));
      for (int ulps = -3; ulps <= 3; ++ulps) {
        double v = start;
        for (int u = 0; u < std::abs(ulps); ++u) v = std::nextafter(v, ulps * v);
        for (const double x : {v, v + std::floor(steps(rng)) * b.step}) {
          if (x <= top) values.insert(values.end(), {x, -x});
        }
      }
    }
  }
  return values;
}

// reduce_mean_anomaly gives `expected`'s bits for every value; the first few
// misses are reported.
template <class Expected>
void expect_reduction(const std::vector<double>& values, const orbit::frame_constants& k,
                      Expected expected) {
  long mismatches = 0;
  for (const double m : values) {
    const double want = expected(m);
    const double reduced = orbit::reduce_mean_anomaly(m, k);
    if (std::bit_cast<std::uint64_t>(reduced) != std::bit_cast<std::uint64_t>(want) &&
        ++mismatches <= 5) {
      ADD_FAILURE() << std::setprecision(17) << m << " gives " << reduced << ", not " << want;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The reduction is the plain loops for every input they handle, for the
// program's 2*pi and its neighbours and for values of 2*pi whose last bits
// differ. REDUCTION_VALUES sets the random values per 2*pi.
TEST(MeanAnomaly, TheLoopsResultIsKeptForEveryInputAndEveryTwoPi) {
  // The pieces answer the runs' values: every binade of the walk above the
  // tie at 64 has them.
  for (int j = 7; j <= 14; ++j) EXPECT_TRUE(frame().revolutions.binades[j].tabulated) << j;
  const long count = testing_support::environment_number("REDUCTION_VALUES", 50000);
  const double t = frame().two_pi;
  std::mt19937_64 rng(20261210);
  for (const double two_pi : {t, std::nextafter(t, 0.0), std::nextafter(t, 8.0), 6.25,
                              6.283185307179586, 6.2831853, 2 * 3.14159265}) {
    SCOPED_TRACE(two_pi);
    const orbit::frame_constants k = frame_for(two_pi);
    const double top = orbit::revolution_steps::MAX_LOOP_REVOLUTIONS * two_pi;
    expect_reduction(reduction_inputs(k, top, count, rng), k, [two_pi](double m) {
      while (m > two_pi) m -= two_pi;
      while (m < 0) m += two_pi;
      return m;
    });
  }
}

// Beyond the loops the reduction is fmod's exact remainder, plus 2*pi if
// negative, bit for bit: log-uniform magnitudes up to far beyond the halves'
// range, and values a few ulps from whole multiples of 2*pi.
TEST(MeanAnomaly, FarFromTheEpochTheRemainderIsFmodsBitForBit) {
  const long count = testing_support::environment_number("REDUCTION_VALUES", 100000);
  std::mt19937_64 rng(20261211);
  std::uniform_real_distribution<double> unit(0, 1);
  for (const double two_pi : {frame().two_pi, 6.25, 6.2831853}) {
    SCOPED_TRACE(two_pi);
    const orbit::frame_constants k = frame_for(two_pi);
    const double bottom = orbit::revolution_steps::MAX_LOOP_REVOLUTIONS * two_pi;
    std::vector<double> values;
    for (long n = 0; n < count; ++n) {
      const double top = n % 4 == 0 ? 1e300 : 0x1p26 * two_pi;
      const double m = std::exp(std::log(bottom) + unit(rng) * (std::log(top) - std::log(bottom)));
      const double whole = std::nearbyint(m / two_pi) * two_pi;
      const double near_whole = n % 3 == 0 ? std::nextafter(whole, unit(rng) < 0.5 ? 0 : 2 * m) : m;
      // Only values beyond the loops' range (a draw can round down onto it).
      for (const double v : {m, near_whole}) {
        if (v > bottom) values.insert(values.end(), {v, -v});
      }
    }
    values.insert(values.end(),
                  {std::nextafter(4096 * two_pi, 1e300), 0x1p24 * two_pi,
                   std::nextafter(0x1p24 * two_pi, 1e300), -0x1p24 * two_pi, 6.3e7, -6.3e7});
    expect_reduction(values, k, [two_pi](double m) {
      m = std::fmod(m, two_pi);
      return m < 0 ? m + two_pi : m;
    });
  }
}

TEST(BodyState, MeanMotionAndSemiLatusRectum) {
  struct state_case {
    double a, e, mass, n, p;
  };
  const state_case cases[] = {{1, 0.0167, 0, orbit::GAUSS_K, 0.99972111},
                              {4, 0.5, 0, orbit::GAUSS_K / 8, 3},
                              {4, 0, 3, orbit::GAUSS_K / 4, 4}};
  for (const state_case& c : cases) {
    const orbit::body_state s = orbit::make_body_state({c.a, c.e, 0, 0, 0, 0, 0, c.mass});
    EXPECT_DOUBLE_EQ(s.n, c.n);
    EXPECT_DOUBLE_EQ(s.p, c.p);
  }
}

TEST(HelioPosition, ApsidesAreExact) {
  // At perihelion the true anomaly is exactly 0, whatever the eccentricity;
  // at aphelion the body is a*(1 + e) from the Sun on the far side.
  for (int ie = 0; ie < 100; ++ie) {
    SCOPED_TRACE(testing::Message() << "e " << ie * 0.01);
    const double e = ie * 0.01, a = 2.0;
    const double r_peri = (1 - e) * a;
    const auto peri = orbit::helio_position(body(a, e, 0, 0, 0, 0), 2451545.0, frame());
    EXPECT_EQ(peri.r, r_peri);
    EXPECT_EQ(peri.position.x, r_peri);
    EXPECT_EQ(peri.position.y, 0);
    EXPECT_EQ(peri.position.z, 0);
    const auto aph = orbit::helio_position(body(a, e, 0, 0, 0, frame().pi), 2451545.0, frame());
    EXPECT_NEAR(aph.r, (1 + e) * a, au_tol);
    EXPECT_NEAR(aph.position.x, -(1 + e) * a, au_tol);
    EXPECT_NEAR(aph.position.y, 0, au_tol);
  }
}

TEST(HelioPosition, TheHalfOfTheOrbitFollowsTheMeanAnomaly) {
  const orbit::helio_place after_perihelion =
      orbit::helio_position(body(1, 0.3, 0, 0, 0, 1e-3), 2451545.0, frame());
  EXPECT_GT(after_perihelion.position.y, 0);
  EXPECT_LT(after_perihelion.position.y, 1e-2);
  EXPECT_EQ(after_perihelion.position.z, 0);
  const orbit::helio_place past_aphelion =
      orbit::helio_position(body(1, 0.3, 0, 0, 0, pi + 1e-3), 2451545.0, frame());
  EXPECT_LT(past_aphelion.position.y, 0);
}

TEST(HelioPosition, DatesAPeriodApartOrFarAwayStayOnTheOrbit) {
  const orbit::body_state s = body(1.5, 0.2, 0.1, 0.5, 1.0, 0.7);
  const double date = 2451600.25;
  const orbit::helio_place now = orbit::helio_position(s, date, frame());
  expect_near(orbit::helio_position(s, date + 2 * pi / s.n, frame()).position, now.position,
              au_tol);

  // Ten million years on: the same as a body whose epoch anomaly is the reduced one.
  const double far = 2451545.0 + 3.6525e9;
  orbit::body_state reduced = s;
  reduced.m0 = orbit::reduce_mean_anomaly((far - s.t0) * s.n + s.m0, frame());
  const orbit::helio_place then = orbit::helio_position(s, far, frame());
  const orbit::helio_place same = orbit::helio_position(reduced, s.t0, frame());
  EXPECT_EQ(then.position.x, same.position.x);
  EXPECT_EQ(then.position.y, same.position.y);
  EXPECT_EQ(then.position.z, same.position.z);

  const orbit::helio_place absurd = orbit::helio_position(s, 1e300, frame());
  EXPECT_GE(absurd.r, 1.5 * 0.8);
  EXPECT_LE(absurd.r, 1.5 * 1.2);
  EXPECT_TRUE(std::isnan(orbit::helio_position(s, nan, frame()).r));
}

// A day loop's track changes no position: consecutive days, a NaN date
// between them and a date far back, each bit for bit as without a track.
TEST(HelioPosition, ATrackChangesNoBit) {
  for (const double e : {0.0, 0.0167, 0.0934, 0.125, 0.3}) {
    const orbit::body_state s = body(1.5, e, 0.03, 5.0, 0.9, 0.3);
    orbit::kepler_track track;
    std::vector<double> dates;
    for (int day = 0; day < 3000; ++day) dates.push_back(2461041.5 + day);
    dates.insert(dates.begin() + 1000, std::numeric_limits<double>::quiet_NaN());
    dates.insert(dates.begin() + 2000, 2400000.5);
    for (const double date : dates) {
      const orbit::helio_place tracked = orbit::helio_position(s, date, frame(), track);
      const orbit::helio_place alone = orbit::helio_position(s, date, frame());
      ASSERT_EQ(testing_support::bits(tracked.r), testing_support::bits(alone.r))
          << "e " << e << " date " << date;
      ASSERT_EQ(testing_support::bits(tracked.position.x), testing_support::bits(alone.position.x));
      ASSERT_EQ(testing_support::bits(tracked.position.z), testing_support::bits(alone.position.z));
    }
  }
}

TEST(HelioPosition, AgreesWithAnIndependentTwoBodySolution) {
  const double a = 1.7, incl = 0.4, w = 2.1, node = 4.0;
  for (double e : {0.0, 0.01, 0.1, 0.3, 0.5, 0.7, 0.9, 0.95, 0.99}) {
    const orbit::body_state s = body(a, e, incl, w, node, 0.3);
    // A year of dates, and the dates nearest both apsides.
    std::vector<double> dates = {s.t0 - 0.3 / s.n, s.t0 + (pi - 0.3) / s.n};
    for (int j = 0; j < 500; ++j) dates.push_back(s.t0 + (2 * pi / s.n) * j / 500);
    for (const double date : dates) {
      const double m = orbit::reduce_mean_anomaly((date - s.t0) * s.n + s.m0, frame());
      const double ecc_anomaly = newton_kepler(e, m);
      const double nu =
          std::atan2(std::sqrt(1 - e * e) * std::sin(ecc_anomaly), std::cos(ecc_anomaly) - e);
      const double r = a * (1 - e * std::cos(ecc_anomaly)), u = w + nu;
      const vector3 want{
          r * (std::cos(node) * std::cos(u) - std::sin(node) * std::sin(u) * std::cos(incl)),
          r * (std::sin(node) * std::cos(u) + std::cos(node) * std::sin(u) * std::cos(incl)),
          r * std::sin(u) * std::sin(incl)};
      SCOPED_TRACE(testing::Message() << "e " << e << " M " << m);
      const orbit::helio_place got = orbit::helio_position(s, date, frame());
      EXPECT_NEAR(got.r, r, au_tol);
      // Near the apsides the arc cosine form is kept only while its error
      // stays below orbit::TRUE_ANOMALY_TOLERANCE; elsewhere it is far smaller.
      const bool near_apsis = std::fabs(std::sin(nu)) < 0.1;
      expect_near(got.position, want,
                  near_apsis ? r * orbit::TRUE_ANOMALY_TOLERANCE + au_tol : au_tol);
    }
  }
}

// The true anomaly of eccentric anomaly E, in long double: atan2 of the
// orbit-plane coordinates, which is well conditioned everywhere, taken into
// the half of the orbit that the mean anomaly gives.
long double independent_true_anomaly(double e, double eccentric, double mean_anomaly) {
  const long double el = e, big_e = eccentric;
  long double nu =
      std::atan2(std::sqrt((1 - el) * (1 + el)) * std::fabs(std::sin(big_e)), std::cos(big_e) - el);
  if (mean_anomaly > frame().pi) nu = 2 * std::numbers::pi_v<long double> - nu;
  return nu;
}

// E - e*sin(E) in long double, rounded once to a double.
double mean_anomaly_of(double e, double eccentric) {
  const long double big_e = eccentric;
  return static_cast<double>(big_e - static_cast<long double>(e) * std::sin(big_e));
}

// A dense grid of eccentric anomalies over [0, 2*pi], with both apsides and
// their neighbours within 1e-9 rad.
std::vector<double> eccentric_anomaly_grid() {
  std::vector<double> grid;
  for (int j = 0; j <= 20000; ++j) grid.push_back(2 * pi * j / 20000);
  for (const double apsis : {0.0, pi, 2 * pi}) {
    for (const double offset : {0.0, 1e-300, 1e-15, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9}) {
      grid.push_back(apsis + offset);
      grid.push_back(apsis - offset);
    }
    double next = apsis;
    for (int ulps = 0; ulps < 8; ++ulps) grid.push_back(next = std::nextafter(next, 4.0));
  }
  return grid;
}

TEST(TrueAnomaly, IsAccurateOnEveryOrbitIncludingAtTheApsides) {
  constexpr double tolerance = 1e-9;  // rad
  const std::vector<double> grid = eccentric_anomaly_grid();
  for (const double e :
       {0.0, 1e-300, 1e-15, 1e-9, 1e-6, 1e-4, 0.0167, 0.0934, 0.5, 0.9, 0.99, 0.9999, 0.999999}) {
    SCOPED_TRACE(testing::Message() << "e " << e);
    const orbit::body_state s = body(1.3, e, 0, 0, 0, 0);
    double worst = 0;
    for (const double eccentric : grid) {
      const double m = mean_anomaly_of(e, eccentric);
      if (!(m >= 0 && m <= frame().two_pi)) continue;  // never handed over by the reduction
      const double nu = orbit::orbit_point(s, m, eccentric, frame()).nu;
      ASSERT_GE(nu, 0) << "E " << eccentric;
      ASSERT_LE(nu, frame().two_pi) << "E " << eccentric;
      const long double reference = independent_true_anomaly(e, eccentric, m);
      worst = std::max(worst, static_cast<double>(std::fabs(nu - reference)));
    }
    EXPECT_LE(worst, tolerance);
  }
}

TEST(TrueAnomaly, KeepsThePlainArcCosineWhereItIsAccurate) {
  // Away from the apsides ordinary orbits keep the arc cosine's bits.
  for (const double e : {0.0167, 0.0934, 0.25, 0.5}) {
    SCOPED_TRACE(testing::Message() << "e " << e);
    const orbit::body_state s = body(1.3, e, 0, 0, 0, 0);
    int differing = 0;
    for (int j = 0; j <= 10000; ++j) {
      const double eccentric = 2 * pi * j / 10000;
      const double m = mean_anomaly_of(e, eccentric);
      if (!(m >= 0 && m <= frame().two_pi)) continue;
      const orbit::plane_point point = orbit::orbit_point(s, m, eccentric, frame());
      double plain = std::acos(std::clamp((s.p / point.r - 1) / e, -1.0, 1.0));
      if (m > frame().pi) plain = frame().two_pi - plain;
      if (std::fabs(std::sin(plain)) > 0.01) differing += point.nu != plain;
    }
    EXPECT_EQ(differing, 0);
  }
}

TEST(TrueAnomaly, ApproachesTheCircularOrbitsContinuously) {
  // nu - M is about 2e*sin(M) for small e, down to e = 0, where nu = M.
  for (const double m : {0.0, 0.3, 1.0, pi - 1e-9, pi + 1e-9, 4.0, 6.0, 2 * pi}) {
    SCOPED_TRACE(testing::Message() << "M " << m);
    EXPECT_EQ(orbit::orbit_point(body(1, 0, 0, 0, 0, 0), m, m, frame()).nu, m);
    for (const double e : {1e-300, 1e-15, 1e-12, 1e-9}) {
      const double nu =
          orbit::orbit_point(body(1, e, 0, 0, 0, 0), m, orbit::kepler(e, m), frame()).nu;
      EXPECT_NEAR(nu, m, 2 * e + 8 * DBL_EPSILON) << "e " << e;
    }
  }
}

TEST(TrueAnomaly, TheMeanAnomalyChoosesTheHalfOfTheOrbit) {
  // Just either side of aphelion and of perihelion, on both routes.
  for (const double e : {1e-9, 0.0934, 0.9999}) {
    SCOPED_TRACE(testing::Message() << "e " << e);
    const orbit::body_state s = body(1, e, 0, 0, 0, 0);
    for (const double offset : {1e-12, 1e-6, 1e-3}) {
      const double before = pi - offset, after = pi + offset, late = 2 * pi - offset;
      EXPECT_LT(orbit::orbit_point(s, before, orbit::kepler(e, before), frame()).nu, frame().pi);
      EXPECT_GT(orbit::orbit_point(s, after, orbit::kepler(e, after), frame()).nu, frame().pi);
      EXPECT_GT(orbit::orbit_point(s, late, orbit::kepler(e, late), frame()).nu, frame().pi);
      EXPECT_GT(orbit::orbit_point(s, offset, orbit::kepler(e, offset), frame()).nu, 0);
    }
  }
}

TEST(RunFault, FindsWhatKeepsARunFromBeingFinite) {
  const auto state = [](double a, double m0, double t0, double mass) {
    return orbit::make_body_state({a, 0.1, 0.2, 0.3, 0.4, m0, t0, mass});
  };
  const orbit::body_state mars_like = state(1.52, 0.3, 2451545, 3e-7);
  const orbit::body_state earth_like = state(1.0, 6.2, 2451545, 3e-6);
  // n = 1.0e307 rad/day: the mean anomaly overflows 18 days from the epoch.
  const orbit::body_state fast = state(1e-137, 0, 2461000.5, 3.4e206);
  using kind = orbit::run_fault::kind_type;
  const struct {
    const char* name;
    orbit::body_state target, observer;
    double start;
    std::int32_t count;
    std::optional<kind> fault;
    bool observer_at_fault, at_last_date;
  } cases[] = {
      {"ordinary", mars_like, earth_like, 2461041.5, 365, std::nullopt, false, false},
      {"infinite mean motion", state(1e-137, 0, 0, 1e300), earth_like, 0, 1, kind::mean_motion,
       false, false},
      {"epoch beyond the dates", state(0.01, 0, 1e308, 0), earth_like, 2461041.5, 1,
       kind::mean_anomaly, false, false},
      {"start far before", mars_like, state(1, 0, 2451545, 1e300), -1e300, 10, kind::mean_anomaly,
       true, false},
      {"overflow late in the run", fast, earth_like, 2461000.5, 25, kind::mean_anomaly, false,
       true},
      // The span tested reaches a day past the last date and two before the
      // first: 17 records end 16 days from the epoch, tested at 18.
      {"overflow just past the last date", fast, earth_like, 2461000.5, 17, kind::mean_anomaly,
       false, true},
      {"finite up to a day past the last date", fast, earth_like, 2461000.5, 15, std::nullopt,
       false, false},
      {"no dates at all", fast, earth_like, 1e300, 0, std::nullopt, false, false},
      {"the same orbit", mars_like, mars_like, 2461041.5, 0, kind::same_orbit, true, false},
      {"masses too small to tell", state(1, 2, 3, 0), state(1, 2, 3, 1e-20), 2461041.5, 5,
       kind::same_orbit, true, false},
      // Mean motions 5e-16 apart: 2e-11 rad of mean anomaly apart 2.5e6 days from the
      // epoch, 2^-32 = 2.3e-10 is the least separation of two bodies.
      {"masses that tell too little", state(1, 2, 3, 0), state(1, 2, 3, 1e-15), 2461041.5, 5,
       kind::same_orbit, true, false},
      {"masses that tell", state(1, 2, 3, 0), state(1, 2, 3, 1e-12), 2461041.5, 5, std::nullopt,
       false, false},
      // One place on the middle date only: that record's angles are undefined.
      {"orbits that meet on one date", state(1, 2, 3, 0), state(1, 2, 3, 1e-3), 2, 3, std::nullopt,
       false, false},
      {"mean anomalies a turn apart", state(1, 2, 3, 0), state(1, 2 + 2 * pi, 3, 0), 2461041.5, 365,
       kind::same_orbit, true, false},
      {"a circle and a hair off it", orbit::make_body_state({1, 0, 0.2, 0.3, 0.4, 2, 3, 0}),
       orbit::make_body_state({1, 1e-16, 0.2, 0.3, 0.4, 2, 3, 0}), 2461041.5, 365, kind::same_orbit,
       true, false},
      {"a circle and an orbit 1e-9 off it, some 300 m apart",
       orbit::make_body_state({1, 0, 0.2, 0.3, 0.4, 2, 3, 0}),
       orbit::make_body_state({1, 1e-9, 0.2, 0.3, 0.4, 2, 3, 0}), 2461041.5, 365, std::nullopt,
       false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto fault = orbit::find_run_fault(c.target, c.observer, c.start, c.count, frame());
    ASSERT_EQ(fault.has_value(), c.fault.has_value());
    if (!fault) continue;
    EXPECT_EQ(fault->kind, *c.fault);
    EXPECT_EQ(fault->which == orbit::body::observer, c.observer_at_fault);
    EXPECT_EQ(fault->at_last_date, c.at_last_date);
    if (fault->kind != kind::same_orbit) {
      EXPECT_FALSE(std::isfinite(fault->value));
    }
  }
}

TEST(RunDate, IsTheDayLoopsSumBitForBit) {
  // Starts in every regime of the sums: exact ones, the edges of binades,
  // spacings of 1, 2 and more, negative dates running up through 0.
  std::vector<double> starts = {2461081.5,     2461081.25, 0.3,        -0.7,       -100000.1,
                                0x1p52 - 3.5,  0x1p53 - 5, 0x1p53 + 2, 0x1p54 + 6, -0x1p53 - 4,
                                -0x1p53 + 0.5, 1e300,      -1e300,     1e-300,     0.1,
                                -3.3e15,       5e15 + 0.25};
  std::mt19937_64 random(14);
  const long random_starts = testing_support::environment_number("RUN_DATE_STARTS", 60);
  for (long n = 0; n < random_starts; ++n) {
    const double magnitude = std::ldexp(1.0, static_cast<int>(random() % 70) - 10);
    const double fraction = std::uniform_real_distribution<double>(-1, 1)(random);
    starts.push_back(magnitude * fraction);
  }
  constexpr std::int32_t count = 3000;
  for (const double start : starts) {
    SCOPED_TRACE(start);
    double date = start - 1;
    for (std::int32_t index = 0; index < count; ++index) {
      date = date + 1;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(orbit::run_date(start, index)),
                std::bit_cast<std::uint64_t>(date))
          << "record " << index;
    }
  }
}

TEST(RunDate, TheLastDateOfTheLongestRunInAFewSteps) {
  constexpr std::int32_t last = 2147483646;
  // From 2^52 - 0.5 the second sum, 2^52 + 0.5, is a tie at a spacing of 1
  // and goes to the even 2^52; the rest are exact.
  EXPECT_EQ(orbit::run_date(0x1p52 - 0.5, last), 0x1p52 + (last - 1));
  EXPECT_EQ(orbit::run_date(2461081.5, last), 2461081.5 + last);
  // At 2^54 a day is below half the spacing: the date stands still.
  EXPECT_EQ(orbit::run_date(0x1p54 + 4, last), 0x1p54 + 4);
}

TEST(ApparentPlace, SeparationsWhoseSquaresUnderflowGiveTheAnglesOfALargerOne) {
  // The observer at (1, 0, 0) and the target off it across the ecliptic's x
  // axis, by a vector near 1 and by the same one scaled down by 2^-k exactly:
  // the direction's angles are the same bits and the distance is scaled. The
  // separation is square to the observer's place (elongation 90 degrees) and,
  // when tiny, to the target's (phase angle 90 degrees).
  std::mt19937_64 random(4);
  std::uniform_real_distribution<double> magnitude(0.25, 1);
  const auto component = [&] { return random() % 2 == 0 ? magnitude(random) : -magnitude(random); };
  const double right_angle = std::acos(0.0) * 180 / frame().pi;
  for (int n = 0; n < 300; ++n) {
    const double y = component(), z = component();
    const int k = 520 + static_cast<int>(random() % 480);
    const double scale = std::ldexp(1.0, -k);
    SCOPED_TRACE(k);
    const orbit::helio_place observer{{1, 0, 0}, 1};
    const auto large = orbit::apparent_place(at(1, y, z), observer, 0, frame());
    const auto tiny = orbit::apparent_place(at(1, y * scale, z * scale), observer, 0, frame());
    EXPECT_EQ(tiny.right_ascension, large.right_ascension);
    EXPECT_EQ(tiny.declination, large.declination);
    EXPECT_EQ(tiny.elongation, large.elongation);
    EXPECT_EQ(tiny.observer_distance, large.observer_distance * scale);
    EXPECT_NEAR(tiny.phase_angle, right_angle, degree_tol);
    EXPECT_NEAR(tiny.illuminated_fraction, 0.5, 1e-15);
  }
}

TEST(ApparentPlace, BodiesInLineWithTheSun) {
  struct line_case {
    double target_x, elongation, phase, fraction;
  };
  const line_case cases[] = {{-1.5, 0, 0, 1}, {1.5, 180, 0, 1}, {0.7, 0, 180, 0}};
  for (const line_case& c : cases) {
    const auto rec = orbit::apparent_place(at(c.target_x, 0, 0), at(1, 0, 0), 2451545.0, frame());
    EXPECT_NEAR(rec.elongation, c.elongation, degree_tol) << c.target_x;
    EXPECT_NEAR(rec.phase_angle, c.phase, degree_tol) << c.target_x;
    EXPECT_NEAR(rec.illuminated_fraction, c.fraction, 1e-15) << c.target_x;
  }
}

TEST(ApparentPlace, ExactAlignmentInAnyDirectionStaysFinite) {
  int beyond_range = 0;
  for (int j = 0; j < 200; ++j) {
    const vector3 u{std::cos(0.37 * j) * 0.3, std::sin(0.37 * j) * 0.9, std::sin(0.11 * j) * 0.2};
    for (double factor : {-1.5, 1.5, 0.7}) {
      const orbit::helio_place target = at(u.x * factor, u.y * factor, u.z * factor);
      const orbit::helio_place observer = at(u.x, u.y, u.z);
      const vector3 d{target.position.x - u.x, target.position.y - u.y, target.position.z - u.z};
      const double dist = std::sqrt((d.x * d.x + d.y * d.y) + d.z * d.z);
      const double cos_phase =
          ((target.position.x * d.x + target.position.y * d.y) + target.position.z * d.z) /
          target.r / dist;
      if (std::fabs(cos_phase) > 1) ++beyond_range;
      const auto rec = orbit::apparent_place(target, observer, 0, frame());
      for (double v : {rec.right_ascension, rec.declination, rec.elongation, rec.phase_angle,
                       rec.illuminated_fraction}) {
        EXPECT_TRUE(std::isfinite(v)) << j << ' ' << factor;
      }
      EXPECT_GE(rec.illuminated_fraction, 0.0) << j << ' ' << factor;
      EXPECT_LE(rec.illuminated_fraction, 1.0) << j << ' ' << factor;
    }
  }
  EXPECT_GT(beyond_range, 0);  // the clamp was needed somewhere in the table
}

TEST(ApparentPlace, TowardTheCelestialPolesStaysFinite) {
  const auto& k = frame();
  int beyond_range = 0;
  for (int j = 1; j <= 50; ++j) {
    for (double sign : {1.0, -1.0}) {
      // The equatorial pole's direction in ecliptic axes, scaled.
      const double scale = 0.1 * j * sign;
      const vector3 d{0, -k.to_equator.s * scale, k.to_equator.c * scale};
      const vector3 q = orbit::rotax(d, k.to_equator);
      if (std::fabs(q.z / std::sqrt((d.x * d.x + d.y * d.y) + d.z * d.z)) > 1) ++beyond_range;
      const auto rec = orbit::apparent_place(at(1 + d.x, d.y, d.z), at(1, 0, 0), 0, k);
      EXPECT_NEAR(rec.declination, 90 * sign, 1e-6) << scale;
      EXPECT_TRUE(std::isfinite(rec.right_ascension)) << scale;
    }
  }
  EXPECT_GT(beyond_range, 0);  // the clamp was needed somewhere in the table
}

TEST(ApparentPlace, ExactlyAtAPoleTheRightAscensionIsZero) {
  // Scaled by powers of two the pole's direction gives Qx = Qy = 0 exactly.
  const auto& k = frame();
  for (const double scale : {0.25, 1.0, 8.0, -0.5, -4.0}) {
    SCOPED_TRACE(scale);
    const vector3 d{0, -k.to_equator.s * scale, k.to_equator.c * scale};
    const vector3 q = orbit::rotax(d, k.to_equator);
    ASSERT_EQ(q.x, 0);
    ASSERT_EQ(q.y, 0);
    const auto rec = orbit::apparent_place(at(1 + d.x, d.y, d.z), at(1, 0, 0), 0, k);
    EXPECT_EQ(rec.right_ascension, 0);
    EXPECT_NEAR(rec.declination, scale > 0 ? 90 : -90, 1e-12);
  }
}

TEST(ApparentPlace, BodiesInOnePlaceLeaveTheAnglesUndefined) {
  const auto rec = orbit::apparent_place(at(0.3, 0.4, 0.1), at(0.3, 0.4, 0.1), 0, frame());
  EXPECT_EQ(rec.observer_distance, 0);
  for (const double angle : {rec.right_ascension, rec.declination, rec.elongation, rec.phase_angle,
                             rec.illuminated_fraction}) {
    EXPECT_TRUE(std::isnan(angle)) << angle;
  }
}

TEST(ApparentPlace, RightAscensionAndDeclination) {
  const auto& k = frame();
  // Observer-to-target along -y of the ecliptic: 18 h, on the southern side by the obliquity.
  const auto south = orbit::apparent_place(at(0, -1, 0), at(0, 1, 0), 0, k);
  EXPECT_NEAR(south.right_ascension, 18, hour_tol);
  EXPECT_NEAR(south.declination, -orbit::OBLIQUITY_DEG, degree_tol);
  EXPECT_NEAR(orbit::apparent_place(at(-1, 0, 0), at(1, 0, 0), 0, k).right_ascension, 12, hour_tol);
  // On the +x axis 0 h; a hair below it, the top end of the range.
  EXPECT_EQ(orbit::apparent_place(at(2, 0, 0), at(1, 0, 0), 0, k).right_ascension, 0);
  EXPECT_EQ(orbit::apparent_place(at(2, -1e-20, 0), at(1, 0, 0), 0, k).right_ascension, 24);

  // A general direction against the equatorial angles taken with atan2.
  const vector3 d{-0.8, 0.35, 0.6};
  const auto rec = orbit::apparent_place(at(1 + d.x, d.y, d.z), at(1, 0, 0), 0, k);
  const double ce = std::cos(k.obliquity), se = std::sin(k.obliquity);
  const vector3 q{d.x, d.y * ce - d.z * se, d.y * se + d.z * ce};
  EXPECT_NEAR(rec.right_ascension, std::atan2(q.y, q.x) * 12 / pi, hour_tol);
  EXPECT_NEAR(rec.declination, std::atan2(q.z, std::hypot(q.x, q.y)) * 180 / pi, degree_tol);
  EXPECT_NEAR(rec.observer_distance, length(d), au_tol);
}

TEST(ApparentPlace, AnglesOfTheSunObserverTargetTriangleSumTo180) {
  const vector3 targets[] = {{0.3, 0.5, 0.1}, {-2, 1, -0.4}, {5, -3, 0.2}, {0.1, -0.7, 0}};
  const vector3 observer{0.6, 0.8, 0.01};
  for (const vector3& t : targets) {
    const auto rec = orbit::apparent_place(at(t.x, t.y, t.z),
                                           at(observer.x, observer.y, observer.z), 0, frame());
    const double at_sun = std::acos((t.x * observer.x + t.y * observer.y + t.z * observer.z) /
                                    length(t) / length(observer)) *
                          180 / pi;
    EXPECT_NEAR(rec.elongation + rec.phase_angle + at_sun, 180, degree_tol) << t.x;
    EXPECT_NEAR(rec.illuminated_fraction, (1 + std::cos(rec.phase_angle * pi / 180)) / 2, 1e-14);
  }
}

}  // namespace
