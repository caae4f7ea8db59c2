// A property of the whole program over random element files drawn from very
// wide ranges: each is either refused, with a report and no table, or gives a
// table in which every value is a finite number.
//
// EPHEMERIS_PROPERTY_FILES sets the number of files (default 300) and
// EPHEMERIS_PROPERTY_SEED the seed (default 20261208).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::environment_number;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::temporary_directory;
using testing_support::write_file;

// Draws the values of element files.
class element_generator {
 public:
  explicit element_generator(std::uint64_t seed) : random_(seed) {}

  // A magnitude spread evenly in its exponent between `low` and `high`.
  double log_uniform(double low, double high) {
    return std::exp(std::uniform_real_distribution<double>(std::log(low), std::log(high))(random_));
  }
  bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
  double sign() { return chance(0.5) ? 1.0 : -1.0; }

  // Anything from the smallest to the largest positive double.
  double any_magnitude() {
    return chance(0.1) ? DBL_TRUE_MIN : chance(0.1) ? DBL_MAX : log_uniform(DBL_TRUE_MIN, DBL_MAX);
  }
  double semi_major_axis() { return chance(0.6) ? any_magnitude() : log_uniform(1e-3, 1e3); }
  double eccentricity() {
    if (chance(0.1)) return 0;
    if (chance(0.1)) return std::nextafter(1.0, 0.0);
    if (chance(0.3)) return 1 - log_uniform(DBL_EPSILON / 2, 1);
    if (chance(0.2)) return log_uniform(DBL_TRUE_MIN, 1e-3);
    return std::uniform_real_distribution<double>(0, 1)(random_);
  }
  double angle() {
    return chance(0.4) ? sign() * any_magnitude()
                       : std::uniform_real_distribution<double>(-720, 720)(random_);
  }
  double date() {
    return chance(0.4) ? sign() * any_magnitude()
                       : std::uniform_real_distribution<double>(2.4e6, 2.5e6)(random_);
  }
  double mass() {
    return chance(0.2) ? 0 : chance(0.5) ? any_magnitude() : log_uniform(1e-12, 1e-3);
  }
  int count() { return chance(0.05) ? 0 : std::uniform_int_distribution<int>(1, 40)(random_); }

  // One body's line: the eight values, each written so that it reads back exactly.
  std::string body_line() {
    const double values[] = {semi_major_axis(), eccentricity(), angle(), angle(),
                             angle(),           angle(),        date(),  mass()};
    std::string line;
    for (const double v : values) line += shortest(v) + " ";
    return line + "\n";
  }

  static std::string shortest(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
  }

 private:
  std::mt19937_64 random_;
};

TEST(FiniteRunProperty, EveryFileIsRefusedOrGivesOnlyFiniteNumbers) {
  const long files = environment_number("EPHEMERIS_PROPERTY_FILES", 300);
  element_generator generate(
      static_cast<std::uint64_t>(environment_number("EPHEMERIS_PROPERTY_SEED", 20261208)));
  long refused = 0, accepted = 0, records = 0;
  for (long file = 0; file < files; ++file) {
    const std::string target = generate.body_line();
    const std::string observer = generate.chance(0.1) ? target : generate.body_line();
    const int count = generate.count();
    const std::string contents = target + observer + element_generator::shortest(generate.date()) +
                                 "\n" + std::to_string(count) + "\n";
    SCOPED_TRACE(contents);
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", contents);
    const auto result = run_program(dir.path());
    if (testing_support::ended_abnormally(result)) {
      ++refused;
      ASSERT_EQ(result.err.rfind("element: ", 0), 0U) << result.err;
      ASSERT_FALSE(fs::exists(dir / "VESK.DAT"));
      continue;
    }
    ASSERT_EQ(result.exit_status, 0) << result.err;
    ASSERT_EQ(result.err, "");
    ++accepted;
    std::istringstream table(read_file(dir / "VESK.DAT"));
    long items = 0;
    for (std::string word; table >> word; ++items) {
      ASSERT_TRUE(std::isfinite(std::strtod(word.c_str(), nullptr))) << word;
    }
    ASSERT_EQ(items, 8L * count);
    records += count;
  }
  std::printf("%ld files: %ld refused, %ld accepted with %ld records, every value finite\n", files,
              refused, accepted, records);
  // Both outcomes must be well represented for the property to mean anything.
  EXPECT_GE(refused, files / 10);
  EXPECT_GE(accepted, files / 10);
}

}  // namespace
