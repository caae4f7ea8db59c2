// The fallbacks of orbit/portable.h against the standard library items
// they stand in for, where both exist: the same bytes for every value.
//
// EPHEMERIS_PORTABLE_VALUES sets how many random values each property draws
// (default 100000).
#include "orbit/portable.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform.h"
#include "test_support.h"

namespace {

using testing_support::bits;
using testing_support::environment_number;
using testing_support::PLATFORM;

long random_values() {
  return environment_number("EPHEMERIS_PORTABLE_VALUES", 100000);
}

// Values where the shortest text is decided near its edges: powers of two
// and ten and their neighbours, the ends of the subnormals and of the
// doubles, whole numbers beyond 2^53, halves and signed zeros.
std::vector<double> edge_values() {
  std::vector<double> values = {0.0,
                                -0.0,
                                std::numeric_limits<double>::denorm_min(),
                                DBL_MIN,
                                DBL_MAX,
                                1e22,
                                1e23,
                                9007199254740993.0,
                                5e-324,
                                2.5,
                                0.1,
                                1.0 / 3,
                                2461041.5,
                                0.999813455,
                                123456789012345680.0,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity()};
  for (int k = -1074; k <= 1023; ++k) values.push_back(std::ldexp(1.0, k));
  for (int k = -323; k <= 308; ++k) values.push_back(std::pow(10.0, k));
  const std::size_t plain = values.size();
  for (std::size_t n = 0; n < plain; ++n) {
    values.push_back(std::nextafter(values[n], 0.0));
    values.push_back(std::nextafter(values[n], DBL_MAX));
    values.push_back(-values[n]);
  }
  return values;
}

// Random doubles of every kind (any bit pattern: every binade, subnormals,
// NaNs) and of the table's own magnitudes (10^-6 to 10^10).
std::vector<double> random_doubles(std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> decade(-6, 10);
  std::vector<double> values;
  for (long n = 0; n < random_values(); ++n) {
    if (n % 2 == 0) {
      values.push_back(portable::bit_cast<double>(random()));
    } else {
      values.push_back(std::pow(10.0, decade(random)) * (random() % 2 == 0 ? 1 : -1));
    }
  }
  return values;
}

std::string standard_shortest(double value) {
  char text[64];
  return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

std::string fallback_shortest(double value) {
  char text[64];
  const std::to_chars_result result = portable::fallback::to_chars(text, text + sizeof text, value);
  EXPECT_EQ(result.ec, std::errc{});
  return {text, result.ptr};
}

TEST(PortableFallback, BitCastKeepsEveryBit) {
  std::mt19937_64 random(25);
  for (int n = 0; n < 10000; ++n) {
    const std::uint64_t word = random();
    const auto value = portable::fallback::bit_cast<double>(word);
    ASSERT_EQ(bits(value), bits(std::bit_cast<double>(word)));
    ASSERT_EQ(portable::fallback::bit_cast<std::uint64_t>(value), word);
  }
  const std::array<double, 2> pair = {-0.0, 1.5};
  EXPECT_EQ((portable::fallback::bit_cast<std::array<std::uint64_t, 2>>(pair)),
            (std::bit_cast<std::array<std::uint64_t, 2>>(pair)));
}

TEST(PortableFallback, ShortestTextIsTheStandardOne) {
  if (PLATFORM.inexact_c_library != nullptr) GTEST_SKIP() << PLATFORM.inexact_c_library;
  for (const double value : edge_values()) {
    ASSERT_EQ(fallback_shortest(value), standard_shortest(value)) << std::hexfloat << value;
  }
  for (const double value : random_doubles(2501)) {
    if (std::isnan(value)) continue;  // below
    ASSERT_EQ(fallback_shortest(value), standard_shortest(value)) << std::hexfloat << value;
  }
  // A NaN's text follows its sign alone, whatever its payload.
  EXPECT_EQ(fallback_shortest(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(fallback_shortest(-std::numeric_limits<double>::quiet_NaN()), "-nan");
}

TEST(PortableFallback, GeneralTextWithAPrecisionIsTheStandardOne) {
  if (PLATFORM.inexact_c_library != nullptr) GTEST_SKIP() << PLATFORM.inexact_c_library;
  std::vector<double> values = edge_values();
  const std::vector<double> drawn = random_doubles(2502);
  values.insert(values.end(), drawn.begin(), drawn.end());
  for (const int precision : {9, 17}) {
    for (const double value : values) {
      char standard[64];
      char fallback[64];
      const auto expected = std::to_chars(standard, standard + sizeof standard, value,
                                          std::chars_format::general, precision);
      const auto actual = portable::fallback::to_chars(fallback, fallback + sizeof fallback, value,
                                                       std::chars_format::general, precision);
      ASSERT_EQ(std::string(fallback, actual.ptr), std::string(standard, expected.ptr))
          << std::hexfloat << value << " to " << precision << " digits";
    }
  }
}

#if PORTABLE_HAS_FAST_FLOAT

// Reads `text` with both, from a value of 42 that an out-of-range text must
// leave alone.
void expect_same_reading(const std::string& text) {
  double standard = 42;
  double fallback = 42;
  const char* end = text.data() + text.size();
  const auto expected = std::from_chars(text.data(), end, standard, std::chars_format::general);
  const auto actual =
      portable::fallback::from_chars(text.data(), end, fallback, std::chars_format::general);
  ASSERT_EQ(actual.ec, expected.ec) << text;
  ASSERT_EQ(actual.ptr - text.data(), expected.ptr - text.data()) << text;
  ASSERT_EQ(bits(fallback), bits(standard)) << text;
}

TEST(PortableFallback, ReadsEveryTextAsTheStandardDoes) {
  // The texts the element reader builds ("-0.<digits>e<exponent>") at and
  // beyond the ends of the doubles, and other spellings.
  const char* const texts[] = {"0.1e-322",
                               "0.5e-323",
                               "0.24703282292062327e-323",
                               "0.24703282292062328e-323",
                               "0.4e-323",
                               "0.1e-309",
                               "0.17976931348623157e309",
                               "0.17976931348623158e309",
                               "0.17976931348623159e309",
                               "0.1e310",
                               "-0.1e400",
                               "-0.1e-400",
                               "0.0e5",
                               "0.e-400",
                               "1",
                               "1.5abc",
                               "-",
                               "e5",
                               ".",
                               "0.000000000000000000000000000001e-300"};
  for (const char* text : texts) expect_same_reading(text);

  // Random digits and exponents over the whole range the reader forms.
  std::mt19937_64 random(2503);
  for (long n = 0; n < random_values(); ++n) {
    std::string text = random() % 2 == 0 ? "-0." : "0.";
    const auto digits = 1 + random() % 40;
    for (std::uint64_t k = 0; k < digits; ++k) {
      text += static_cast<char>('0' + (k == 0 && random() % 8 == 0 ? 0 : random() % 10));
    }
    text += 'e';
    text += std::to_string(static_cast<int>(random() % 801) - 400);
    expect_same_reading(text);
  }
  // Shortest texts of random doubles read back.
  for (const double value : random_doubles(2504)) {
    if (!std::isnan(value)) expect_same_reading(standard_shortest(value));
  }
}

#else

TEST(PortableFallback, ReadsEveryTextAsTheStandardDoes) {
  GTEST_SKIP() << "fast_float's header is not on this build's include path (libfast-float-dev)";
}

#endif

}  // namespace
