#include "datafiles/list_output.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "c_library_items.h"
#include "platform.h"
#include "test_support.h"

namespace {

using datafiles::format_item;
using datafiles::format_record;
using datafiles::LIST_LINE_LIMIT;
using datafiles::MAX_ITEM_SIZE;
using datafiles::MAX_RECORD_SIZE;
using testing_support::platform_text;

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

std::string item(double value) {
  char buffer[MAX_ITEM_SIZE];
  return std::string(buffer, format_item(value, buffer));
}

std::string record_text(const orbit::ephemeris_record& record) {
  char buffer[MAX_RECORD_SIZE];
  return std::string(buffer, format_record(record, buffer));
}

orbit::ephemeris_record record_of(const std::vector<double>& v) {
  return orbit::ephemeris_record{v.at(0), v.at(1), v.at(2), v.at(3),
                                 v.at(4), v.at(5), v.at(6), v.at(7)};
}

// The item as the C library would give it, with the platform's exponent
// digits.
std::string item_from_c_library(double value) {
  return platform_text(c_library_reference::item(value));
}

void expect_same_as_c_library(double value) {
  SCOPED_TRACE(testing::Message() << "value bits 0x" << std::hex
                                  << std::bit_cast<std::uint64_t>(value));
  const std::string ours = item(value);
  EXPECT_EQ(ours, item_from_c_library(value));
  EXPECT_LE(ours.size(), MAX_ITEM_SIZE);
}

TEST(FormatItem, WritesTheDocumentedTexts) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1, "  1."},
      {-23.5, " -23.5"},
      {2.25, "  2.25"},
      {0.0, "  0."},
      {-0.0, "  0."},
      {1e-5, "  1.E-05"},
      {1.5e-7, "  1.5E-07"},
      {-1.5e-7, " -1.5E-07"},
      {0.0001, "  0.0001"},
      {0.000123456789, "  0.000123456789"},
      {123456789, "  123456789."},
      {1234567890, "  1.23456789E+09"},
      {1e9, "  1.E+09"},
      {999999999.5, "  1.E+09"},  // rounding carries into the next decade
      {1e100, "  1.E+100"},
      {1.7976931348623157e308, "  1.79769313E+308"},
      {5e-324, "  4.94065646E-324"},
      {2451545.0, "  2451545."},
      {2460000.123456, "  2460000.12"},  // a Julian date keeps two decimals
      {-90, " -90."},
      {122.0703125, "  122.070312"},  // ties go to the even digit
      {366.2109375, "  366.210938"},
      {12345678.25, "  12345678.2"},
      {99.99999996, "  100."},
      {0.0009999999999, "  0.001"},
      {infinity, "  INF"},
      {-infinity, " -INF"},
      {quiet_nan, "  NAN"},
      {-quiet_nan, "  -NAN."},  // a sign bit but not less than zero
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(item(c.value), platform_text(c.text));
  }
}

TEST(FormatItem, MatchesTheCLibrary) {
  std::vector<double> values = {DBL_MIN,
                                std::nextafter(DBL_MIN, 0.0),
                                DBL_TRUE_MIN,
                                DBL_MAX,
                                0.1,
                                2.0 / 3,
                                9.999999995e-5,
                                99999999.95,
                                999999999.4};
  for (int power = -330; power <= 310; ++power) {
    const double p = std::pow(10.0, power);
    values.insert(values.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, DBL_MAX), 5 * p});
  }
  // Halfway in decimal: ten digits ending in 5.
  for (double base : {1.000000005, 1.234567885, 9.999999995}) {
    for (int power = -8; power <= 12; ++power) values.push_back(base * std::pow(10.0, power));
  }
  for (std::int64_t n = 1; n < (std::int64_t{1} << 53); n = n * 3 + 1) {
    values.push_back(static_cast<double>(n));
  }
  for (int power = -16; power <= 32; ++power) {  // binade edges
    const double p = std::ldexp(1.0, power);
    values.insert(values.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, DBL_MAX)});
  }
  std::mt19937_64 random(20240611);
  // Exact ties at the tenth digit, o * 5^k / 2^(k+1) for odd o: 122.0703125
  // rounds down to 122.070312, 366.2109375 up to 366.210938.
  for (int k = 0; k <= 6; ++k) {
    const auto power_of_five = static_cast<std::uint64_t>(std::pow(5.0, k));
    for (int n = 0; n < 2000; ++n) {
      const std::uint64_t odd = ((random() >> (20 + random() % 30)) | 1) * power_of_five;
      values.push_back(std::ldexp(static_cast<double>(odd), -(k + 1)));
    }
  }
  std::uniform_real_distribution<double> unit(0, 1);
  const auto small = std::bit_cast<std::uint64_t>(1e-6);
  const auto large = std::bit_cast<std::uint64_t>(1e10);
  for (int n = 0; n < 100000; ++n) {
    values.push_back(std::bit_cast<double>(random()));  // any magnitude, subnormals, NaNs
    values.push_back(std::bit_cast<double>(small + random() % (large - small)));
    values.push_back(2400000 + 200000 * unit(random));  // Julian dates
  }
  for (const double v : values) {
    expect_same_as_c_library(v);
    expect_same_as_c_library(-v);
  }
}

// Every place the point can take in fixed form (decimal exponents -4..8),
// with every number of zeros at the end of the nine digits, zeros inside
// them, and values that round up to the next power of ten.
TEST(FormatItem, MatchesTheCLibraryInEveryFixedFormLayout) {
  const char* const digit_patterns[] = {"123456789", "987654321", "100000001", "909090909",
                                        "999999999", "100000000", "500000005"};
  std::vector<double> values;
  for (int exponent = -5; exponent <= 9; ++exponent) {
    for (const char* pattern : digit_patterns) {
      for (int kept = 1; kept <= 9; ++kept) {  // the rest of the nine digits are zeros
        const std::string text = std::string(pattern).substr(0, kept) + std::string(9 - kept, '0') +
                                 "E" + std::to_string(exponent - 8);
        const double v = std::strtod(text.c_str(), nullptr);
        values.insert(values.end(), {v, std::nextafter(v, 0.0), std::nextafter(v, DBL_MAX)});
      }
    }
    // Just below, at and just above the tie that rounds up to 10^exponent.
    const double tie =
        std::strtod(("9999999995E" + std::to_string(exponent - 10)).c_str(), nullptr);
    values.insert(values.end(), {tie, std::nextafter(tie, 0.0), std::nextafter(tie, DBL_MAX)});
  }
  for (const double v : values) {
    expect_same_as_c_library(v);
    expect_same_as_c_library(-v);
  }
}

// Over the magnitudes that records hold (every binade from 2^-14 to 2^30,
// one either side of those written by integer arithmetic), both signs:
// random significands, and random nine-digit decimals with any number of
// zeros at the end, at every place of the point, and their neighbours one
// ulp away, which round either way at the ninth digit. LIST_OUTPUT_VALUES
// sets how many of each (run at scale by hand).
TEST(FormatItem, MatchesTheCLibraryOverTheRecordsMagnitudes) {
  const long count = testing_support::environment_number("LIST_OUTPUT_VALUES", 100000);
  std::mt19937_64 random(20261209);
  long mismatches = 0;
  auto check = [&mismatches](double value) {
    for (const double v : {value, -value}) {
      const std::string ours = item(v);
      const std::string expected = item_from_c_library(v);
      if (ours == expected) continue;
      if (++mismatches <= 10)
        ADD_FAILURE() << std::hexfloat << v << ": " << ours << " != " << expected;
    }
  };
  constexpr std::uint64_t lowest_biased_exponent = 1023 - 14;
  constexpr std::uint64_t binades = 44;
  for (long n = 0; n < count; ++n) {
    const std::uint64_t biased_exponent = lowest_biased_exponent + random() % binades;
    check(std::bit_cast<double>(biased_exponent << 52 | random() >> 12));

    std::uint64_t digits = 100000000 + random() % 900000000;
    std::uint64_t last_kept = 1;  // the place of the last digit left as drawn
    for (auto zeros = random() % 9; zeros > 0; --zeros) last_kept *= 10;
    digits -= digits % last_kept;
    const int exponent =
        static_cast<int>(random() % 15) - 13;  // the point anywhere from 10^-5 to 10^9
    const double decimal =
        std::strtod((std::to_string(digits) + "E" + std::to_string(exponent)).c_str(), nullptr);
    check(decimal);
    check(std::nextafter(decimal, 0.0));
    check(std::nextafter(decimal, DBL_MAX));
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(FormatItem, WritesNothingAfterItsLongestSize) {
  for (const double v : {-0.000123456789, -1.23456789e-100, -123456789.0, 0.0, -quiet_nan}) {
    SCOPED_TRACE(v);
    char buffer[MAX_ITEM_SIZE + 16];
    std::memset(buffer, '#', sizeof buffer);
    const std::size_t length = format_item(v, buffer);
    EXPECT_EQ(std::string(buffer, length), item_from_c_library(v));
    EXPECT_EQ(std::string(buffer + MAX_ITEM_SIZE, 16), std::string(16, '#'));
  }
}

TEST(FormatRecord, ShortItemsShareOneLine) {
  EXPECT_EQ(record_text(record_of({0, 0, 0, 0, 0, 0, 0, 0})),
            platform_text("  0.  0.  0.  0.  0.  0.  0.  0.\n"));
  EXPECT_EQ(record_text(record_of({1, -2, 3, -4, 5, -6, 7, -8})),
            platform_text("  1. -2.  3. -4.  5. -6.  7. -8.\n"));
  EXPECT_EQ(record_text(record_of(
                {2451545.5, 1e-5, 1.5e-7, -0.0, infinity, -infinity, quiet_nan, -1e-300})),
            platform_text("  2451545.5  1.E-05  1.5E-07  0.  INF -INF  NAN -1.E-300\n"));
}

TEST(FormatRecord, BreaksWhereTheLineWouldReachEightyCharacters) {
  const struct {
    const char* name;
    std::vector<double> values;
    const char* text;
  } cases[] = {
      {"worked example: 11+12+12+11+13+12 = 71, then 12 would make 83",
       {2451545.5, 7.12345678, 25.1234567, 1.5234567, 0.123456789, 123.456789, 45.6789012,
        0.987654321},
       "  2451545.5  7.12345678  25.1234567  1.5234567  0.123456789  123.456789\n"
       "  45.6789012  0.987654321\n"},
      {"17*4 = 68, then 12 would make exactly 80",
       {1.23456789e-100, 1.23456789e-100, 1.23456789e-100, 1.23456789e-100, 45.6789012, 1, 1, 1},
       "  1.23456789E-100  1.23456789E-100  1.23456789E-100  1.23456789E-100\n"
       "  45.6789012  1.  1.  1.\n"},
      {"17*3+16 = 67, then 12 makes 79 and stays",
       {1.23456789e-100, 1.23456789e-100, 1.23456789e-100, 1.2345678e-100, 45.6789012, 1, 1, 1},
       "  1.23456789E-100  1.23456789E-100  1.23456789E-100  1.2345678E-100  45.6789012\n"
       "  1.  1.  1.\n"},
      {"every item of the longest kind: four a line", std::vector<double>(8, -1.23456789e-100),
       " -1.23456789E-100 -1.23456789E-100 -1.23456789E-100 -1.23456789E-100\n"
       " -1.23456789E-100 -1.23456789E-100 -1.23456789E-100 -1.23456789E-100\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(record_text(record_of(c.values)), platform_text(c.text));
  }
}

// The record as the items of the C library joined by the line rule, with the
// platform's line ends.
std::string record_from_c_library(const std::vector<double>& values) {
  return c_library_reference::record(values, item_from_c_library,
                                     testing_support::PLATFORM.line_end);
}

TEST(FormatRecord, MatchesTheCLibraryAndStaysInsideItsSize) {
  // Items of every length from 4 to 17, in and out of fixed form.
  const double kinds[] = {1.0,         -0.5,        25.5,       -0.0123,          123456789.0,
                          0.000123456, -98.7654321, 7.12345678, -0.000123456789,  2451545.5,
                          1e-5,        -1.5e-7,     1e9,        -1.23456789e-100, 0.0,
                          infinity,    quiet_nan,   -quiet_nan, 4.5e300};
  std::mt19937_64 random(7);
  for (int n = 0; n < 20000; ++n) {
    std::vector<double> values(datafiles::RECORD_VALUES);
    for (double& v : values) v = kinds[random() % std::size(kinds)];
    if (n == 0) values.assign(datafiles::RECORD_VALUES, -1.23456789e-100);  // the longest record
    if (n == 1) values.assign(datafiles::RECORD_VALUES, -0.000123456789);   // longest fixed items
    SCOPED_TRACE(record_from_c_library(values));
    char buffer[MAX_RECORD_SIZE + 32];
    std::memset(buffer, '#', sizeof buffer);
    const std::size_t length = format_record(record_of(values), buffer);
    ASSERT_EQ(std::string(buffer, length), record_from_c_library(values));
    ASSERT_EQ(std::string(buffer + MAX_RECORD_SIZE, 32), std::string(32, '#'));
  }
}

// A table cut at every byte: the whole records before the cut are found, and
// nothing of the record the cut falls in. Records of one line and of two,
// with items of every kind, NaN and infinity included.
TEST(WholeRecords, AreTheRecordsBeforeACutAnywhere) {
  const double kinds[] = {2461081.5, -23.7580715, 1.42888377,       0.0,      -0.0,
                          1e-5,      -1.5e-7,     -1.23456789e-100, infinity, -quiet_nan,
                          quiet_nan, 4.5e300,     0.999813455,      1e9,      -98.7654321};
  std::mt19937_64 random(20260422);
  std::string table;
  std::vector<std::size_t> ends;  // where each record ends
  for (int n = 0; n < 150; ++n) {
    std::vector<double> values(datafiles::RECORD_VALUES);
    for (double& v : values) v = kinds[random() % std::size(kinds)];
    table += record_text(record_of(values));
    ends.push_back(table.size());
  }
  std::size_t records = 0;
  for (std::size_t cut = 0; cut <= table.size(); ++cut) {
    while (records < ends.size() && ends[records] <= cut) ++records;
    const datafiles::record_prefix whole = datafiles::whole_records(table.data(), cut);
    ASSERT_EQ(whole.records, records) << "cut at " << cut;
    ASSERT_EQ(whole.size, records == 0 ? 0 : ends[records - 1]) << "cut at " << cut;
  }
}

// The integer items and the std::to_chars path write the same bytes, items
// and records, over every magnitude (random bit patterns) and over values of
// the records' own sizes (random magnitudes near 10^-5 ... 10^9, both signs).
// The portable path is what builds without 128-bit integers or on big-endian
// machines run.
TEST(FormatPaths, IntegerItemsAndToCharsWriteTheSameBytes) {
  std::mt19937_64 random(18);
  std::uniform_real_distribution<double> decade(-6, 10);
  auto any_value = [&random, &decade](int n) {
    if (n % 2 == 0) return std::bit_cast<double>(random());
    const double magnitude = std::pow(10.0, decade(random));
    return random() % 2 == 0 ? magnitude : -magnitude;
  };
  for (int n = 0; n < 200000; ++n) {
    const double value = any_value(n);
    char fast[MAX_ITEM_SIZE];
    char portable[MAX_ITEM_SIZE];
    const std::size_t length = format_item(value, fast);
    ASSERT_EQ(
        std::string(fast, length),
        std::string(portable, datafiles::list_output_detail::format_item_portable(value, portable)))
        << std::hexfloat << value;
  }
  for (int n = 0; n < 20000; ++n) {
    std::vector<double> values(datafiles::RECORD_VALUES);
    for (double& v : values) v = any_value(n);
    char portable[MAX_RECORD_SIZE];
    const orbit::ephemeris_record record = record_of(values);
    ASSERT_EQ(record_text(record),
              std::string(portable,
                          datafiles::list_output_detail::format_record_portable(record, portable)));
  }
}

}  // namespace
