// The Kepler solver's shortcut against the iteration it stands in for.
#include "orbit/kepler.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

#include "orbit/orbit.h"
#include "tests/test_support.h"

namespace {

using orbit::kepler_detail::kepler_path;
using std::numbers::pi;

using testing_support::bits;

// One step of the iteration, as the solver takes it.
double step(double e, double m, double x) {
  return e * std::sin(x) + m;
}

struct path_case {
  const char* what;
  double e;
  double m;
  kepler_path path;
};

// Each way a solve can go, with the iteration's answer as the expected value.
TEST(KeplerShortcut, EachPathGivesTheIterationsBits) {
  if (!orbit::kepler_detail::SHORTCUT_BUILT) GTEST_SKIP() << "the shortcut is not built here";
  const path_case cases[] = {
      {"unique fixed point, Mars", 0.0934, 2.9, kepler_path::shortcut},
      {"unique fixed point, Earth", 0.0167, 5.9, kepler_path::shortcut},
      {"unique fixed point, e = 0.5", 0.5, 3.0, kepler_path::shortcut},
      {"two fixed points, M below", 0.093399999999999997, 0.73773568544913903,
       kepler_path::two_attractors},
      {"two fixed points, M above", 0.093399999999999997, 6.2534144868124182,
       kepler_path::two_attractors},
      {"two-value cycle, M below", 0.093399999999999997, 2.6645522668584483,
       kepler_path::two_attractors},
      {"two-value cycle, M above", 0.093399999999999997, 4.1038206223563707,
       kepler_path::two_attractors},
      {"e = 0.5, two fixed points, M below", 0.5, 0.60533733420091995, kepler_path::two_attractors},
      {"e = 0.5, two fixed points, M above", 0.5, 6.0752734272057527, kepler_path::two_attractors},
      {"e = 0.5, two-value cycle, M below", 0.5, 2.1148354042800439, kepler_path::two_attractors},
      {"e = 0.5, two-value cycle, M above", 0.5, 3.3489007107979742, kepler_path::two_attractors},
      // M +- e reaches past pi/2 or 3pi/2, where the sine turns.
      {"two fixed points near quadrature", 0.093399999999999997, 1.3289200281792757,
       kepler_path::not_one_fixed_point},
      {"two-value cycle near quadrature", 0.093399999999999997, 1.7573535040369785,
       kepler_path::not_one_fixed_point},
      {"band too wide near perihelion", 0.093399999999999997, 0.017371061920143833,
       kepler_path::band_too_wide},
      {"e above 0.5", 0.6, 2.0, kepler_path::outside_range},
      {"tiny e", 1e-9, 2.0, kepler_path::outside_range},
      {"tiny M", 0.3, 1e-9, kepler_path::outside_range},
      {"M = 0", 0.3, 0.0, kepler_path::outside_range},
  };
  for (const path_case& c : cases) {
    SCOPED_TRACE(c.what);
    orbit::kepler_detail::kepler_trace trace{};
    const double answer = orbit::kepler_detail::kepler_traced(c.e, c.m, trace);
    EXPECT_EQ(trace.path, c.path);
    EXPECT_EQ(bits(answer), bits(orbit::kepler_detail::kepler_iteration(c.e, c.m)));
    EXPECT_EQ(bits(answer), bits(orbit::kepler(c.e, c.m)));
    if (c.path == kepler_path::shortcut) {
      EXPECT_LE(trace.sines, 3);
    }
    if (c.path == kepler_path::two_attractors) {  // cheaper than the iteration it replaces
      orbit::kepler_detail::kepler_trace iteration{};
      orbit::kepler_detail::kepler_iteration_traced(c.e, c.m, iteration);
      EXPECT_LT(trace.sines, iteration.sines);
    }
  }
}

// The attractor cases above are what they say: two neighbouring fixed points,
// or a cycle of two values, with the answer on M's side.
TEST(KeplerShortcut, AttractorCasesHaveTwoAttractors) {
  const double e = 0.093399999999999997;
  for (const double m : {0.73773568544913903, 6.2534144868124182}) {
    const double p = orbit::kepler(e, m);
    const double other = std::nextafter(p, m < p ? 8.0 : 0.0);  // away from M
    EXPECT_EQ(step(e, m, p), p);
    EXPECT_EQ(step(e, m, other), other);
  }
  for (const double m : {2.6645522668584483, 4.1038206223563707}) {
    const double a = orbit::kepler(e, m);
    const double b = step(e, m, a);
    EXPECT_NE(a, b);
    EXPECT_EQ(step(e, m, b), a);
    EXPECT_EQ(m < a, a < b);  // the hundredth iterate is the value on M's side
  }
}

// A mean anomaly near `centre`, within 10^-16 ... 10^-1 of it, in [0, 2*pi].
double near(double centre, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> exponent(-16, -1);
  std::bernoulli_distribution below(0.5);
  const double offset = std::pow(10.0, exponent(rng));
  const double m = below(rng) ? centre - offset : centre + offset;
  return std::fmin(std::fmax(m, 0.0), 2 * pi);
}

// kepler() is the iteration, bit for bit, over eccentricities log-uniform in
// [1e-12, 0.5] and uniform in [0, 0.99], and mean anomalies uniform, near 0,
// pi and 2*pi, where cos(E) = 0, and tiny. KEPLER_PAIRS sets the count.
TEST(KeplerShortcut, MatchesTheIterationOnRandomPairs) {
  const long pairs = testing_support::environment_number("KEPLER_PAIRS", 1000000);
  std::mt19937_64 rng(20261209);
  std::uniform_real_distribution<double> unit(0, 1);
  std::uniform_int_distribution<int> kind(0, 5);
  long shortcuts = 0;
  long attractors = 0;
  for (long n = 0; n < pairs; ++n) {
    const double e =
        n % 2 == 0 ? std::pow(10.0, -12 + unit(rng) * (12 + std::log10(0.5))) : 0.99 * unit(rng);
    double m = 0;
    switch (kind(rng)) {
      case 0:
        m = 2 * pi * unit(rng);
        break;
      case 1:
        m = near(0, rng);
        break;
      case 2:
        m = near(pi, rng);
        break;
      case 3:
        m = near(2 * pi, rng);
        break;
      case 4:
        m = near(unit(rng) < 0.5 ? pi / 2 - e : 3 * pi / 2 + e, rng);
        break;
      default:
        m = std::pow(10.0, -300 * unit(rng));
        break;
    }
    orbit::kepler_detail::kepler_trace trace{};
    const double answer = orbit::kepler_detail::kepler_traced(e, m, trace);
    shortcuts += trace.path == kepler_path::shortcut;
    attractors += trace.path == kepler_path::two_attractors;
    ASSERT_EQ(bits(answer), bits(orbit::kepler_detail::kepler_iteration(e, m)))
        << std::hexfloat << "e = " << e << ", M = " << m;
  }
  // The shortcut did the work in most cases, and the attractor rule in some,
  // so the comparison tested both.
  if (orbit::kepler_detail::SHORTCUT_BUILT) {
    EXPECT_GT(shortcuts, pairs / 3);
    EXPECT_GT(attractors, pairs / 1000);
  }
}

// A run's consecutive solves with a track: the iteration, bit for bit,
// whether the start came from the track or not, over eccentricities up to
// 0.125 (where the track is used) and beyond, mean anomalies moving on by
// steps within and beyond the track's reach, wrapping at 2*pi, and tracks
// left by another orbit. KEPLER_TRACKED_SOLVES sets the count.
TEST(KeplerShortcut, TrackedSolvesMatchTheIteration) {
  const long solves = testing_support::environment_number("KEPLER_TRACKED_SOLVES", 300000);
  std::mt19937_64 rng(20261210);
  std::uniform_real_distribution<double> unit(0, 1);
  orbit::kepler_track track;
  double e = 0;
  double m = 2 * pi * unit(rng);
  long from_track = 0;
  for (long n = 0; n < solves; ++n) {
    if (n % 500 == 0) {  // another orbit; the old track stays
      e = n % 1500 == 0 ? 0.5 * unit(rng)
                        : std::pow(10.0, -12 + unit(rng) * (12 + std::log10(0.125)));
    }
    const double move = unit(rng);
    m += move < 0.9 ? 0.04 * unit(rng) : (move < 0.95 ? -0.01 * unit(rng) : 2 * pi * unit(rng));
    if (m > 2 * pi) m -= 2 * pi;
    if (m < 0) m += 2 * pi;
    orbit::kepler_track twin = track;
    orbit::kepler_detail::kepler_trace trace{};
    const double answer = orbit::kepler_detail::kepler_traced(e, m, trace, &track);
    from_track += trace.from_track;
    ASSERT_EQ(bits(answer), bits(orbit::kepler_detail::kepler_iteration(e, m)))
        << std::hexfloat << "e = " << e << ", M = " << m
        << ", from the track: " << trace.from_track;
    ASSERT_EQ(bits(orbit::kepler(e, m, twin)), bits(answer));
  }
  if (orbit::kepler_detail::SHORTCUT_BUILT) {
    EXPECT_GT(from_track, solves / 3);
  }
}

// On the example's orbits the track's starts are as good as those from the
// mean anomaly alone: the same sines a day, give or take a few in a
// thousand. (A poor start costs sines, not answers: this is what catches it.)
TEST(KeplerShortcut, TrackStartsAsWellAsTheMeanAnomaly) {
  if (!orbit::kepler_detail::SHORTCUT_BUILT) GTEST_SKIP() << "the shortcut is not built here";
  struct orbit_case {
    const char* what;
    double e;
    double n;  // rad/day
  };
  for (const orbit_case& c :
       {orbit_case{"Mars", 0.0933941, 0.0091402}, orbit_case{"Earth", 0.0167112, 0.0172020},
        orbit_case{"e = 1/8", 0.125, 0.03}}) {
    SCOPED_TRACE(c.what);
    orbit::kepler_track track;
    long tracked_sines = 0;
    long cold_sines = 0;
    long from_track = 0;
    const int days = 20000;
    for (int day = 0; day < days; ++day) {
      const double m = std::fmod(0.5 + c.n * day, 2 * pi);
      orbit::kepler_detail::kepler_trace trace{};
      orbit::kepler_detail::kepler_traced(c.e, m, trace, &track);
      tracked_sines += trace.sines;
      from_track += trace.from_track;
      orbit::kepler_detail::kepler_traced(c.e, m, trace);
      cold_sines += trace.sines;
    }
    EXPECT_GT(from_track, days * 99 / 100);
    EXPECT_LE(tracked_sines, cold_sines + days / 200);
  }
}

}  // namespace
