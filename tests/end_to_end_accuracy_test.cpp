// The real program's right ascension and declination where they are hard to
// get right: against an independent two-body computation in long double on
// orbits where the true anomaly's arc cosine form is ill-conditioned (a nearly
// circular orbit and a near-parabolic one, each with its perihelion on a
// record's date), and exactly toward a pole of the equator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "orbit/orbit.h"
#include "process.h"

namespace {

using testing_support::read_file;
using testing_support::run_program;
using testing_support::temporary_directory;
using testing_support::write_file;

using real = long double;
constexpr real PI = std::numbers::pi_v<real>;
constexpr real GAUSS_K = 0.01720209895L;
constexpr real OBLIQUITY = 23.439291L * PI / 180;

struct vec {
  real x, y, z;
};

// One body's elements as the program reads them (doubles), angles in radians.
struct body {
  real a, e, i, w, node, m0, t0, n;
};

body parse_body(const std::string& line) {
  std::istringstream in(line);
  double v[8];
  for (double& value : v) in >> value;
  const auto radians = [](double degrees) { return static_cast<real>(degrees) * PI / 180; };
  const real a = v[0];
  return {a,
          v[1],
          radians(v[2]),
          radians(v[3]),
          radians(v[4]),
          radians(v[5]),
          static_cast<real>(v[6]),
          GAUSS_K / std::pow(a, 1.5L) * std::sqrt(1 + static_cast<real>(v[7]))};
}

// Kepler's equation by Newton's method from E = pi, which converges
// monotonically for M in [0, 2*pi].
real eccentric_anomaly(real e, real m) {
  real big_e = PI;
  for (int step = 0; step < 200; ++step) {
    const real next = big_e - (big_e - e * std::sin(big_e) - m) / (1 - e * std::cos(big_e));
    if (next == big_e) break;
    big_e = next;
  }
  return big_e;
}

// The heliocentric ecliptic position: the orbit-plane point straight from E,
// turned by the argument of perihelion, the inclination and the node.
vec position(const body& b, real date) {
  real m = std::fmod((date - b.t0) * b.n + b.m0, 2 * PI);
  if (m < 0) m += 2 * PI;
  const real big_e = eccentric_anomaly(b.e, m);
  const real x = b.a * (std::cos(big_e) - b.e);
  const real y = b.a * std::sqrt((1 - b.e) * (1 + b.e)) * std::sin(big_e);
  const real cw = std::cos(b.w), sw = std::sin(b.w), ci = std::cos(b.i), si = std::sin(b.i);
  const real cn = std::cos(b.node), sn = std::sin(b.node);
  return {x * (cn * cw - sn * sw * ci) - y * (cn * sw + sn * cw * ci),
          x * (sn * cw + cn * sw * ci) - y * (sn * sw - cn * cw * ci), x * sw * si + y * cw * si};
}

// Right ascension (hours) and declination (degrees) of the target seen from
// the observer.
std::pair<real, real> sky_place(const body& target, const body& observer, real date) {
  const vec pt = position(target, date), po = position(observer, date);
  const vec d{pt.x - po.x, pt.y - po.y, pt.z - po.z};
  const vec q{d.x, d.y * std::cos(OBLIQUITY) - d.z * std::sin(OBLIQUITY),
              d.y * std::sin(OBLIQUITY) + d.z * std::cos(OBLIQUITY)};
  real alpha = std::atan2(q.y, q.x);
  if (alpha < 0) alpha += 2 * PI;
  return {alpha * 12 / PI, std::atan2(q.z, std::hypot(q.x, q.y)) * 180 / PI};
}

const std::string EARTH =
    "1.00000261 0.01671123 -0.00001531 102.93768193 0.0 357.52688973 2451545.0 3.04043E-6";
constexpr double START = 2461171.5;
constexpr std::size_t DAYS = 9;  // the perihelion (t0 = START + 4, M0 = 0) is the fifth record

TEST(EndToEndAccuracy, RightAscensionAndDeclinationOnIllConditionedOrbits) {
  const struct {
    const char* name;
    std::string target;
  } cases[] = {
      {"nearly circular", "1.523679 1E-9 1.85 286.5 49.56 0 2461175.5 3.2E-7"},
      {"near-parabolic", "9000 0.9999 30 60 120 0 2461175.5 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", c.target + "\n" + EARTH + "\n" + std::to_string(START) + "\n" +
                                      std::to_string(DAYS) + "\n");
    const auto result = run_program(dir.path());
    ASSERT_EQ(result.exit_status, 0) << result.err;

    std::istringstream table(read_file(dir / "VESK.DAT"));
    std::vector<double> items;
    for (std::string word; table >> word;) items.push_back(std::strtod(word.c_str(), nullptr));
    ASSERT_EQ(items.size(), 8U * DAYS);

    const body target = parse_body(c.target), observer = parse_body(EARTH);
    for (std::size_t day = 0; day < DAYS; ++day) {
      SCOPED_TRACE(testing::Message() << "record " << day + 1);
      const real date = START + static_cast<real>(day);
      ASSERT_EQ(items[8 * day], static_cast<double>(date));
      const auto [alpha, delta] = sky_place(target, observer, date);
      // Both as printed, to nine significant digits.
      const real alpha_error = std::fabs(items[8 * day + 1] - alpha) * 15 * 3600;
      const real delta_error = std::fabs(items[8 * day + 2] - delta) * 3600;
      EXPECT_LE(static_cast<double>(alpha_error), 0.003) << "arcseconds of right ascension";
      EXPECT_LE(static_cast<double>(delta_error), 0.003) << "arcseconds of declination";
    }
  }
}

// An inclination, in degrees, near -2 * obliquity for which two circular
// orbits that differ only in it (the observer's is 0) put the target exactly
// toward a pole of the equator, as the program computes it, on the epoch: the
// search runs the program's own arithmetic over the doubles nearest -2 *
// obliquity, outward, until equatorial x and y both come out exactly 0.
// Returns NaN if none is found.
double pole_inclination(double epoch) {
  const orbit::frame_constants k = orbit::make_frame_constants();
  const auto place = [&k, epoch](double inclination) {
    orbit::orbital_elements el{1, 0, inclination, 0, 0, 90, epoch, 0};
    orbit::angles_to_radians(el, k.pi);
    return orbit::helio_position(orbit::make_body_state(el), epoch, k).position;
  };
  const orbit::vector3 observer = place(0);
  double above = -2 * orbit::OBLIQUITY_DEG, below = above;
  for (int step = 0; step < 1000; ++step) {
    for (const double inclination : {above, below}) {
      const orbit::vector3 target = place(inclination);
      const orbit::vector3 q = orbit::rotax(
          {target.x - observer.x, target.y - observer.y, target.z - observer.z}, k.to_equator);
      if (q.x == 0 && q.y == 0 && q.z != 0) return inclination;
    }
    above = std::nextafter(above, 0.0);
    below = std::nextafter(below, -90.0);
  }
  return std::nan("");
}

TEST(EndToEndAccuracy, TowardAPoleOfTheEquatorTheRightAscensionIsZero) {
  const double epoch = 2461171.5;
  const double inclination = pole_inclination(epoch);
  ASSERT_FALSE(std::isnan(inclination)) << "no exact pole direction found";
  char target[128];
  std::snprintf(target, sizeof target, "1 0 %.17g 0 0 90 %.1f 0\n", inclination, epoch);
  temporary_directory dir;
  write_file(dir / "DATOS.DAT", std::string(target) + "1 0 0 0 0 90 2461171.5 0\n2461171.5\n1\n");
  const auto result = run_program(dir.path());
  ASSERT_EQ(result.exit_status, 0) << result.err;
  std::istringstream table(read_file(dir / "VESK.DAT"));
  std::vector<std::string> items;
  for (std::string word; table >> word;) items.push_back(word);
  ASSERT_EQ(items.size(), 8U);
  EXPECT_EQ(items[1], "0.") << "right ascension";
  EXPECT_NEAR(std::fabs(std::strtod(items[2].c_str(), nullptr)), 90, 1e-6) << "declination";
  for (const std::string& item : items) {
    EXPECT_TRUE(std::isfinite(std::strtod(item.c_str(), nullptr))) << item;
  }
}

}  // namespace
