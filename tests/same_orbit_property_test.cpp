// A property of the run's checks over random orbits: one orbit written in
// other words (its mean anomaly a whole number of turns on, a circle beside an
// orbit a hair off it, the same orbit given at another epoch) is refused as
// the same orbit twice, and the same pair moved apart by a few kilometres is
// not.
//
// SAME_ORBIT_PAIRS sets the number of pairs (default 20000) and
// SAME_ORBIT_SEED the seed (default 20260422).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <optional>
#include <random>
#include <string>

#include "datafiles/element_table.h"
#include "orbit/orbit.h"
#include "test_support.h"

namespace {

using orbit::orbital_elements;

// The Gaussian gravitational constant, rad/day, as published.
constexpr double gauss_k = 0.01720209895;

// Draws orbits of the ordinary kind: planets, asteroids and comets up to
// e = 0.9, runs within a century of their epoch.
class pair_generator {
 public:
  explicit pair_generator(std::uint64_t seed) : random_(seed) {}

  double uniform(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random_);
  }
  double log_uniform(double low, double high) {
    return std::exp(uniform(std::log(low), std::log(high)));
  }
  bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
  int whole(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  orbital_elements orbit() {
    orbital_elements body{};
    body.a = log_uniform(0.3, 100);
    body.e = chance(0.1) ? 0 : uniform(0, 0.9);
    body.i = uniform(-180, 180);
    body.w = uniform(-360, 360);
    body.node = uniform(-360, 360);
    body.m0 = uniform(-360, 360);
    body.t0 = 0.5 * whole(4'800'000, 5'000'000);  // at 0 h or 12 h, as published
    body.mass = chance(0.3) ? 0 : log_uniform(1e-12, 1e-3);
    return body;
  }

  // `body` and `other` made one orbit in other words; says which words.
  std::string rewrite(orbital_elements& body, orbital_elements& other) {
    other = body;
    const int turns = whole(1, 10) * (chance(0.5) ? 1 : -1);
    switch (whole(0, 3)) {
      case 0:
        other.m0 = body.m0 + 360.0 * turns;
        return "the mean anomaly " + std::to_string(turns) + " turns on";
      case 1:
        other.w = body.w + 360.0 * turns;
        other.node = body.node - 360.0 * (turns % 3);
        return "the perihelion and the node turns on";
      case 2: {
        const double hair = log_uniform(1e-300, 0x1p-36);
        const bool circle_first = chance(0.5);
        body.e = circle_first ? 0 : hair;
        other.e = circle_first ? hair : 0;
        return "a circle beside an orbit a hair off it";
      }
      default: {
        // The mean motion in degrees a day, from the published constant.
        const double n =
            gauss_k / std::pow(body.a, 1.5) * std::sqrt(1 + body.mass) * 180 / std::numbers::pi;
        const int days = whole(-18262, 18262);
        other.t0 = body.t0 + days;
        other.m0 = body.m0 + n * days;
        return "another epoch";
      }
    }
  }

 private:
  std::mt19937_64 random_;
};

// The run check of a run from `start` of `count` days, with the elements in
// degrees converted as a run converts them.
std::optional<orbit::run_fault> fault_of(orbital_elements target, orbital_elements observer,
                                         double start, std::int32_t count) {
  static const orbit::frame_constants frame = orbit::make_frame_constants();
  orbit::angles_to_radians(target, frame.pi);
  orbit::angles_to_radians(observer, frame.pi);
  return orbit::find_run_fault(orbit::make_body_state(target), orbit::make_body_state(observer),
                               start, count, frame);
}

TEST(SameOrbitProperty, OneOrbitInOtherWordsIsRefusedAndAFewKilometresApartIsNot) {
  const long pairs = testing_support::environment_number("SAME_ORBIT_PAIRS", 20000);
  pair_generator generate(
      static_cast<std::uint64_t>(testing_support::environment_number("SAME_ORBIT_SEED", 20260422)));
  long refused = 0;
  for (long pair = 0; pair < pairs; ++pair) {
    orbital_elements target = generate.orbit();
    orbital_elements observer{};
    const std::string change = generate.rewrite(target, observer);
    const bool target_first = generate.chance(0.5);
    const double start = target.t0 + generate.uniform(-18262, 0);
    const std::int32_t count = generate.whole(1, 18262);
    const auto fault = target_first ? fault_of(target, observer, start, count)
                                    : fault_of(observer, target, start, count);
    const auto describe = [&] {
      char text[400];
      std::snprintf(text, sizeof text,
                    "%s: %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g / e %.17g w %.17g node "
                    "%.17g m0 %.17g t0 %.17g; start %.17g, %d days",
                    change.c_str(), target.a, target.e, target.i, target.w, target.node, target.m0,
                    target.t0, target.mass, observer.e, observer.w, observer.node, observer.m0,
                    observer.t0, start, count);
      return std::string(text);
    };
    ASSERT_TRUE(fault && fault->kind == orbit::run_fault::same_orbit) << describe();
    ++refused;

    // A hundred-thousandth of a degree of mean anomaly is more than 2e-8 of
    // the distance from the Sun everywhere on an orbit with e <= 0.9 (the
    // least, at aphelion), far above SAME_PLACE_FRACTION.
    orbital_elements moved = observer;
    moved.m0 += 1e-5;
    EXPECT_FALSE(fault_of(target, moved, start, count)) << "moved apart: " << describe();
  }
  std::printf("%ld pairs of one orbit in other words: %ld refused\n", pairs, refused);
}

}  // namespace
