#include "datafiles/list_input.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "grammar_cases.h"
#include "platform.h"
#include "test_support.h"

namespace datafiles {
namespace {

using reals = std::vector<std::optional<double>>;
constexpr double inf = std::numeric_limits<double>::infinity();

// The ways of feeding a text to the reader: whole, and one byte per call
// through the smallest window, so that every byte sits on a chunk boundary.
struct feed {
  std::size_t piece;
  std::size_t chunk_size;
};
constexpr feed FEEDS[] = {{SIZE_MAX, DEFAULT_CHUNK_SIZE}, {1, 2}, {3, 5}};

std::string describe(const std::optional<double>& v) {
  if (!v) return "(empty)";
  char text[40];
  return std::string(text, std::to_chars(text, text + sizeof text, *v).ptr);
}

// Compares bit for bit, so that -0 and 0 differ.
void expect_same(const reals& actual, const reals& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t k = 0; k < actual.size(); ++k) {
    SCOPED_TRACE("value " + std::to_string(k + 1));
    ASSERT_EQ(actual[k].has_value(), expected[k].has_value()) << describe(actual[k]);
    if (actual[k]) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(*actual[k]),
                std::bit_cast<std::uint64_t>(*expected[k]))
          << describe(actual[k]) << " vs " << describe(expected[k]);
    }
  }
}

void expect_failure(const io_failure& failure, failure_step step, const std::string& reason) {
  EXPECT_EQ(failure.step, step);
  EXPECT_EQ(failure.reason_text(), reason);
  EXPECT_EQ(failure.unit, io_unit::element);
  EXPECT_TRUE(failure.transfer_begun);
}

// One read of `count` reals from `text`, fed as `f` says.
outcome<reals> read_reals_from(const std::string& text, std::size_t count, const feed& f) {
  memory_source source(text, f.piece);
  list_reader reader(source, io_unit::element, f.chunk_size);
  return reader.read_reals(count);
}

outcome<std::optional<std::int64_t>> read_integer_from(const std::string& text, const feed& f) {
  memory_source source(text, f.piece);
  list_reader reader(source, io_unit::element, f.chunk_size);
  return reader.read_integer();
}

// One read of `count` reals from `text`, checked with every feed.
void expect_reals(const std::string& text, std::size_t count, const reals& expected) {
  SCOPED_TRACE("input: \"" + text.substr(0, 60) + "\"");
  for (const feed& f : FEEDS) {
    SCOPED_TRACE("piece " + std::to_string(f.piece));
    const auto result = read_reals_from(text, count, f);
    if (!result) {
      ADD_FAILURE() << "failed: " << result.failure().step << ": "
                    << result.failure().reason_text();
      continue;
    }
    expect_same(result.value(), expected);
  }
}

void expect_real(const std::string& text, double expected) {
  expect_reals(text, 1, {expected});
}

// One read of `count` reals from `text` fails with `step` and `reason`.
void expect_reals_fail(const std::string& text, std::size_t count, failure_step step,
                       const std::string& reason) {
  SCOPED_TRACE("input: \"" + text.substr(0, 60) + "\"");
  for (const feed& f : FEEDS) {
    SCOPED_TRACE("piece " + std::to_string(f.piece));
    const auto result = read_reals_from(text, count, f);
    ASSERT_FALSE(result) << "read succeeded";
    expect_failure(result.failure(), step, reason);
  }
}

TEST(ListInputReal, AcceptsEveryWayOfWritingOnePointFive) {
  const std::string fifty_digits = "1.5000000000000000000000000000000000000000000000001";
  ASSERT_EQ(fifty_digits.size(), 51u);
  for (const char* text :
       {"1.5D0", "1.5d0", "1.5e0", "1.5E0", "15-1", "15d-1", "+1.5", "0.15E+1", "0.15+1", ".15e1",
        "150E-2", "1.5e+000000", "00001.5", "1.5\r\n", "3*1.5", fifty_digits.c_str()}) {
    expect_real(text, 1.5);
  }
}

TEST(ListInputReal, ConvertsWithCorrectRounding) {
  // The expected values as exact bit patterns (hexadecimal literals worked
  // out apart), not from a conversion the reader itself might share.
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"0.1", 0x1.999999999999ap-4},
      {"-2.5e-3", -0x1.47ae147ae147bp-9},
      {"123456789012345678", 0x1.b69b4ba630f35p+56},
      {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},  // the largest subnormal
      {"1.7976931348623157e308", 0x1.fffffffffffffp+1023},   // the largest double
      {"4.9406564584124654e-324", 0x0.0000000000001p-1022},  // the smallest subnormal
      {"9007199254740993", 0x1p+53},                         // 2^53 + 1: a tie, to the even 2^53
      {"-7.0e+22", -0x1.da56a4b0835cp+75},
      {"0.30000000000000004", 0x1.3333333333334p-2},
      {"1", 1.0},
      {"-0", -0.0},
      {"-0.000e5", -0.0},
      {"0", 0.0},
  };
  for (const auto& c : cases) expect_real(c.text, c.expected);
}

TEST(ListInputReal, OverflowsToInfinityAndUnderflowsToZero) {
  expect_real("1e400", inf);
  expect_real("-1.8e308", -inf);
  expect_real("1E99999999", inf);
  expect_real("1e-400", 0.0);
  expect_real("-2e-324", -0.0);
  expect_real("-1D-99999999", -0.0);
  // Subnormals come out exactly, not flushed.
  expect_real("3e-324", std::numeric_limits<double>::denorm_min());
  // Either side of half the smallest subnormal, in forty digits.
  expect_real("2.470328229206232720882843964341106861825e-324", 0.0);
  expect_real("2.470328229206232720882843964341106861826e-324",
              std::numeric_limits<double>::denorm_min());
}

TEST(ListInputReal, UsesFortySignificantDigitsTruncated) {
  // Exactly 1 + 2^-53 (halfway between 1 and the next double) cut to 40
  // digits lies below the halfway point; with a 41st digit 9 used, the text
  // would round up to 1 + 2^-52.
  const std::string cut = "1.000000000000000111022302462515654042363";
  expect_real(cut + "9", 1.0);
  expect_real(cut + "99999999999", 1.0);
  // Leading zeros are not significant; dropped digits still place the point.
  expect_real("0.000" + cut.substr(2) + "9", 0x1.0624dd2f1a9fcp-63);
  expect_real("1234567890123456789012345678901234567890999", 0x1.c58234d97f2b6p+139);
}

TEST(ListInputReal, HandlesAMillionDigits) {
  const std::string zeros(1'000'000, '0');
  expect_real("15" + zeros + "e-1000001", 1.5);
  expect_real("0." + zeros + "15e1000001", 1.5);
  expect_real("1" + zeros, inf);
  expect_real("0." + zeros + "1", 0.0);
  expect_real(zeros, 0.0);
}

TEST(ListInputSyntax, AcceptsEverySeparator) {
  const reals one_two_three = {1.0, 2.0, 3.0};
  for (const char* text : {"1 2 3", "1\t2\t3", "1,2,3", "1 , 2 ,3", "1\t,\t2,\n3", "1\n2\n3",
                           "1\r\n2\r\n3\r\n", "\n\n  1\n\n\n2 3", "1\n,2\n,\n3", "1\r\n\r\n2,3",
                           "  \t1    2\n3 junk after", "1 2 3/", "1,2,3,", "1 2\n3\n4 5 6"}) {
    expect_reals(text, 3, one_two_three);
  }
}

TEST(ListInputSyntax, EndsAValueAtTheFirstCharacterThatCannotContinueIt) {
  expect_reals("1.5abc", 1, {1.5});
  expect_reals("8 7 6 5 4 3 2 1.5abc", 8, {8.0, 7.0, 6.0, 5.0, 4.0, 3.0, 2.0, 1.5});
  expect_reals("1.5.25", 2, {1.5, 0.25});
  expect_reals("1.5e2.5", 2, {150.0, 0.5});
  expect_reals("1.5-1-1", 2, {0.15, -1.0});
  expect_reals("2*3*4", 2, {3.0, 3.0});
  expect_reals("7\r", 1, {7.0});
}

TEST(ListInputSyntax, LeavesVariablesUnsetForEmptyValuesAndSlash) {
  const std::optional<double> none;
  const struct {
    const char* text;
    reals expected;
  } cases[] = {
      {",2,3", {none, 2.0, 3.0}},   {"1,,3", {1.0, none, 3.0}},       {"1, ,3", {1.0, none, 3.0}},
      {"1,\n,3", {1.0, none, 3.0}}, {",,,", {none, none, none}},      {"1 2,,", {1.0, 2.0, none}},
      {"1/", {1.0, none, none}},    {"/1 2 3", {none, none, none}},   {"1,/", {1.0, none, none}},
      {"1,,/", {1.0, none, none}},  {"1\n2\n/\n3", {1.0, 2.0, none}}, {"+,2,3", {none, 2.0, 3.0}},
      {"1,-,3", {1.0, none, 3.0}},  {"1 ./", {1.0, none, none}},      {"+.,2 3", {none, 2.0, 3.0}},
      {"2*,3", {none, none, 3.0}},  {"2* 3", {none, none, 3.0}},      {"1 2*", {1.0, none, none}},
      {"2*/", {none, none, none}},  {"3*+,", {none, none, none}},     {"2*1.5/", {1.5, 1.5, none}},
  };
  for (const auto& c : cases) expect_reals(c.text, 3, c.expected);
}

TEST(ListInputSyntax, AppliesRepeatCounts) {
  expect_reals("4*0.0", 4, {0.0, 0.0, 0.0, 0.0});
  expect_reals("2*1 2*-2", 4, {1.0, 1.0, -2.0, -2.0});
  expect_reals("3*1.5,2", 4, {1.5, 1.5, 1.5, 2.0});
  expect_reals("9*7", 2, {7.0, 7.0});
  expect_reals("0003*1", 3, {1.0, 1.0, 1.0});
  expect_reals(std::string(10'000, '9') + "*2.5", 3, {2.5, 2.5, 2.5});
  expect_reals("2*1.5D0", 2, {1.5, 1.5});
}

// A read of `count` reals from `text` that fails with `step`.
struct failing_read {
  std::string text;
  std::size_t count;
  failure_step step;
};

TEST(ListInputSyntax, RejectsMalformedText) {
  const failing_read cases[] = {
      {"1.5Q0", 8, failure_step::invalid_number},
      {"1.5abc", 2, failure_step::invalid_number},
      {"abc", 1, failure_step::invalid_number},
      {"\xEF\xBB\xBF"
       "1",
       1, failure_step::invalid_number},
      {"1 \x80", 2, failure_step::invalid_number},
      {"\xFF", 1, failure_step::invalid_number},
      {"\r1", 1, failure_step::invalid_number},
      {"1\r2", 2, failure_step::invalid_number},
      {std::string("\0", 1), 1, failure_step::invalid_number},
      {"'1'", 1, failure_step::invalid_number},
      {"!1", 1, failure_step::invalid_number},
      {"\f1", 1, failure_step::invalid_number},
      {"+ 1", 1, failure_step::invalid_number},
      {"-\n1", 1, failure_step::invalid_number},
      {".", 1, failure_step::invalid_number},
      {"+.e5", 1, failure_step::invalid_number},
      {"2*x", 1, failure_step::invalid_number},
      {"2*\r", 1, failure_step::invalid_number},
      {"1.5E", 8, failure_step::exponent_field},
      {"1.5E+", 8, failure_step::exponent_field},
      {"1.5+", 1, failure_step::exponent_field},
      {"1.5d 2", 1, failure_step::exponent_field},
      {"1e+-2", 1, failure_step::exponent_field},
      {"1E100000000", 1, failure_step::exponent_field},
      {"1E-0000000123456789", 1, failure_step::exponent_field},
      {"2*1.5e", 1, failure_step::exponent_field},
      {"0*1.5", 8, failure_step::bad_repeat},
      {"000*1.5", 1, failure_step::bad_repeat},
  };
  for (const auto& c : cases) expect_reals_fail(c.text, c.count, c.step, REASON_INCOMPREHENSIBLE);
}

TEST(ListInputSyntax, TakesARepeatCountOnlyAtTheStartOfAnItem) {
  // Digits, with at most a plus sign, directly before '*' at the start of an
  // item; a real with a point or an exponent ends at a '*', and the next item
  // starts there. Once the read has its values the rest of the line is
  // discarded, '*' included.
  const std::optional<double> none;
  const struct {
    const char* text;
    std::size_t count;
    reals expected;
  } read_cases[] = {
      {"+2*0.5", 2, {0.5, 0.5}},
      {"+2*", 2, {none, none}},
      {"+02* 1", 3, {none, none, 1.0}},
      {"2460000.5*", 1, {2460000.5}},
      {"2460000.5*7", 1, {2460000.5}},
      {"2460000.*", 1, {2460000.0}},
      {"1.5*2460000.5", 1, {1.5}},
      {"2e0*0.5", 1, {2.0}},
      {"15-1*3", 1, {1.5}},
      {"1*1.5*2", 1, {1.5}},
      {"2*1.5*2", 2, {1.5, 1.5}},
  };
  for (const auto& c : read_cases) expect_reals(c.text, c.count, c.expected);

  for (const grammar_cases::real_failure& c : grammar_cases::REPEAT_FAILURES) {
    SCOPED_TRACE(c.name);
    expect_reals_fail(c.text, c.reals, c.step, REASON_INCOMPREHENSIBLE);
  }
}

TEST(ListInputSyntax, ReportsTheFirstFailureInFileOrder) {
  // A value left unset never hides a later syntax error in the same read.
  expect_reals_fail(",abc", 2, failure_step::invalid_number, REASON_INCOMPREHENSIBLE);
  expect_reals_fail("1 0*2 1E", 3, failure_step::bad_repeat, REASON_INCOMPREHENSIBLE);
  // Text after the last needed value is never looked at.
  expect_reals("1 2 0*1 \xFF 1E", 2, {1.0, 2.0});
}

TEST(ListInputSyntax, FailsAtTheEndOfTheInputWhileValuesAreWanted) {
  for (const char* text : {"", " ", "\n\n\n", "1 2", "1\n2\n", "1,2,", "2*5", "2*", "\r\n"}) {
    expect_reals_fail(text, 3, failure_step::list_in, REASON_END_OF_FILE);
  }
}

TEST(ListInputSyntax, HandlesAMillionBlanks) {
  const std::string blanks(1'000'000, ' ');
  expect_reals(blanks + "1.5" + blanks + "\n" + blanks + "2", 2, {1.5, 2.0});
  expect_reals("1" + blanks + "2", 1, {1.0});
  expect_reals_fail(blanks, 1, failure_step::list_in, REASON_END_OF_FILE);
  expect_reals(std::string(1'000'000, '\n') + "3", 1, {3.0});
}

// Bytes made as they are read: texts and long runs of one byte, so that an
// input of any length takes no memory of its own.
class generated_source final : public byte_source {
 public:
  struct piece {
    std::string text;  // written `times` times
    std::size_t times = 1;
  };
  explicit generated_source(std::vector<piece> pieces) : pieces_(std::move(pieces)) {}
  source_chunk read(std::span<char> room) override {
    std::size_t size = 0;
    while (size < room.size() && next_ < pieces_.size()) {
      const piece& p = pieces_[next_];
      room[size++] = p.text[offset_ % p.text.size()];
      if (++offset_ == p.text.size() * p.times) {
        ++next_;
        offset_ = 0;
      }
    }
    return {size, 0};
  }

 private:
  std::vector<piece> pieces_;
  std::size_t next_ = 0;
  std::size_t offset_ = 0;
};

constexpr std::size_t SIXTY_FOUR_MIB = std::size_t{64} << 20;

// One read of `count` reals from the generated input, in a child process
// whose address space may grow by no more than 16 MiB beyond what it holds
// now, far less than the input: the values as text ("1.5 2"), or what failed.
std::string read_in_bounded_memory(std::vector<generated_source::piece> pieces, std::size_t count) {
  return testing_support::run_in_child([&]() -> std::string {
    if (!testing_support::limit_address_space_growth(std::size_t{16} << 20)) return "no limit";
    generated_source source(std::move(pieces));
    list_reader reader(source);
    const auto result = reader.read_reals(count);
    if (!result) return "failed: " + std::string(step_text(result.failure().step));
    std::string text;
    for (const auto& value : result.value()) {
      if (!text.empty()) text += ' ';
      text += describe(value);
    }
    return text;
  });
}

TEST(ListInputBoundedMemory, ReadsTensOfMillionsOfDigitsAndBlanks) {
  if (testing_support::PLATFORM.no_posix_processes != nullptr) {
    GTEST_SKIP() << testing_support::PLATFORM.no_posix_processes;
  }
  if (testing_support::under_address_sanitizer()) {
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit allows";
  }
  const std::string n = std::to_string(SIXTY_FOUR_MIB);
  const std::string n_plus_one = std::to_string(SIXTY_FOUR_MIB + 1);
  const struct {
    std::vector<generated_source::piece> input;
    std::size_t count;
    const char* expected;
  } cases[] = {
      {{{"15"}, {"0", SIXTY_FOUR_MIB}, {"e-" + n_plus_one}}, 1, "1.5"},
      {{{"0."}, {"0", SIXTY_FOUR_MIB}, {"15e" + n_plus_one}}, 1, "1.5"},
      {{{"1"}, {"0", SIXTY_FOUR_MIB}}, 1, "inf"},
      {{{"0."}, {"0", SIXTY_FOUR_MIB}, {"1"}}, 1, "0"},
      {{{" ", SIXTY_FOUR_MIB}, {"1.5"}, {" ", SIXTY_FOUR_MIB}, {"\n"}, {" ", 9}, {"2"}},
       2,
       "1.5 2"},
      {{{"1"}, {" ", SIXTY_FOUR_MIB}, {"2"}}, 1, "1"},
      {{{"\n", SIXTY_FOUR_MIB}, {"3"}}, 1, "3"},
      {{{" ", SIXTY_FOUR_MIB}}, 1, "failed: list in"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(read_in_bounded_memory(c.input, c.count), c.expected);
  }
  // The limit bites: holding the input would not fit.
  EXPECT_EQ(testing_support::run_in_child([]() -> std::string {
              if (!testing_support::limit_address_space_growth(std::size_t{16} << 20)) {
                return "no limit";
              }
              try {
                std::string copy(SIXTY_FOUR_MIB, '0');
                return copy.substr(0, 1);
              } catch (const std::bad_alloc&) {
                return "out of memory";
              }
            }),
            "out of memory");
}

// The form of `text` once a cursor fed as `f` has passed all of it.
text_form form_of(const std::string& text, const feed& f) {
  memory_source source(text, f.piece);
  byte_cursor cursor(source, f.chunk_size);
  while (cursor.peek() != byte_cursor::END) cursor.advance();
  return cursor.form();
}

TEST(ListInputForm, TellsFromTheFirstLineHowTheFileWasSaved) {
  using std::string_literals::operator""s;
  const struct {
    std::string text;
    text_form form;
  } cases[] = {
      {"", text_form::plain},
      {"1.5 2\n3\n", text_form::plain},
      {"1.5 2\r\n3\r\n", text_form::plain},
      {"1.5 2", text_form::plain},
      {"1.5\n2\r3\0", text_form::plain},  // nothing past the first LF counts
      {"\xEF\xBB\xBF"
       "1.5\n",
       text_form::utf8_bom},
      {"\xEF\xBB"
       "1.5\n",
       text_form::plain},
      {"\xEF\xBB\xBF", text_form::utf8_bom},
      {"\xFF\xFE"
       "1\0\n\0"s,
       text_form::utf16},
      {"\xFE\xFF\0"
       "1"s,
       text_form::utf16},
      {"1\0.\0"
       "5\0"s,
       text_form::utf16},  // little-endian, no mark
      {"\0"
       "1\0."s,
       text_form::utf16},  // big-endian, no mark
      {"\xFF 1\n", text_form::plain},
      {"1.5 2\r3 4\r", text_form::cr_line_ends},
      {"1.5\r", text_form::cr_line_ends},
      {"1.5\r\r\n", text_form::cr_line_ends},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("input: \"" + c.text + "\"");
    for (const feed& f : FEEDS) EXPECT_EQ(form_of(c.text, f), c.form) << "piece " << f.piece;
  }
}

TEST(ListInputForm, DependsOnlyOnTheFirstLineWhateverTheChunks) {
  // Random texts of the bytes that matter, fed in every way; and plain text of
  // printable ASCII with LF or CR LF line ends, which is always plain.
  std::mt19937_64 random(20261209);
  const std::string bytes("1 \r\n\0\xEF\xBB\xBF\xFF\xFEx", 11);
  const auto random_text = [&random, &bytes](std::size_t length) {
    std::string text;
    for (std::size_t k = 0; k < length; ++k) text += bytes[random() % bytes.size()];
    return text;
  };
  const long cases = testing_support::environment_number("LIST_INPUT_FORMS", 20000);
  for (long n = 0; n < cases; ++n) {
    // Long enough that a failure's place text ends before the first LF.
    const std::string text = random_text(random() % 48);
    const text_form form = form_of(text, FEEDS[0]);
    SCOPED_TRACE("input: \"" + text + "\"");
    for (const feed& f : {FEEDS[1], FEEDS[2], feed{7, 3}}) ASSERT_EQ(form_of(text, f), form);
    if (const std::size_t lf = text.find('\n'); lf != std::string::npos) {
      ASSERT_EQ(form_of(text.substr(0, lf + 1) + random_text(random() % 8), FEEDS[0]), form);
    }
    // A failed read knows the form of the whole first line, however far the
    // bytes had come when it failed.
    for (const feed& f : {FEEDS[0], FEEDS[1], FEEDS[2], feed{7, 3}}) {
      memory_source source(text, f.piece);
      list_reader reader(source, io_unit::element, f.chunk_size);
      if (!reader.read_reals(2)) {
        ASSERT_EQ(reader.form(), form) << "piece " << f.piece;
      }
    }

    std::string plain;
    for (std::size_t line = random() % 4; line > 0; --line) {
      for (std::size_t k = random() % 30; k > 0; --k)
        plain += static_cast<char>(' ' + random() % 95);
      plain += random() % 2 == 0 ? "\n" : "\r\n";
    }
    ASSERT_EQ(form_of(plain, FEEDS[1]), text_form::plain) << plain;
  }
}

TEST(ListInputReads, KeepsTheValuesAFailedReadHadSet) {
  // (text, values to read, the values set before the failure as text)
  const struct {
    std::string text;
    std::size_t count;
    const char* set;
  } cases[] = {
      {"1.5 2 x 4", 4, "1.5 2 (empty) (empty)"},
      {"1.5,,3 1E", 4, "1.5 (empty) 3 (empty)"},
      {"2*0.5 7 .", 5, "0.5 0.5 7 (empty) (empty)"},
      {"x", 2, "(empty) (empty)"},
      {"1 2", 3, "1 2 (empty)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("input: \"" + c.text + "\"");
    for (const feed& f : FEEDS) {
      memory_source source(c.text, f.piece);
      list_reader reader(source, io_unit::element, f.chunk_size);
      ASSERT_FALSE(reader.read_reals(c.count));
      std::string set;
      for (const auto& value : reader.values_before_failure()) {
        if (!set.empty()) set += ' ';
        set += describe(value);
      }
      EXPECT_EQ(set, c.set);
    }
  }
}

TEST(ListInputInteger, ReadsSignedWholeNumbersSaturatingFarBeyond32Bits) {
  constexpr std::int64_t saturated = 100'000'000'000;
  const struct {
    const char* text;
    std::optional<std::int64_t> expected;
  } cases[] = {
      {"10", 10},
      {"+10", 10},
      {"-0", 0},
      {"0042", 42},
      {"  42 junk\n", 42},
      {"7abc", 7},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"2147483648", 2147483648},
      {"-2147483649", -2147483649},
      {"99999999999", 99'999'999'999},
      {"100000000001", saturated},
      {"99999999999999999999999999", saturated},
      {"-99999999999999999999999999", -saturated},
      {"00000000000000000000000000000000000005", 5},
      {"3*-7", -7},
      {"+3*-7", -7},
      {"99999999999999999999*1", 1},
      {",", std::nullopt},
      {"/", std::nullopt},
      {"+,", std::nullopt},
      {"5*,", std::nullopt},
      {"3*", std::nullopt},
      {"+3*\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    for (const feed& f : FEEDS) {
      auto result = read_integer_from(c.text, f);
      ASSERT_TRUE(result) << result.failure().step;
      EXPECT_EQ(result.value(), c.expected);
    }
  }
}

TEST(ListInputInteger, RejectsPointsAndExponents) {
  const auto expect_integer_fails = [](const char* text, failure_step step, const char* reason) {
    SCOPED_TRACE(text);
    for (const feed& f : FEEDS) {
      auto result = read_integer_from(text, f);
      ASSERT_FALSE(result);
      expect_failure(result.failure(), step, reason);
    }
  };
  for (const grammar_cases::count_failure& c : grammar_cases::DAY_COUNT_FAILURES) {
    expect_integer_fails(c.text, c.step, c.reason);
  }
  expect_integer_fails("", failure_step::list_in, REASON_END_OF_FILE);
}

TEST(ListInputReads, EachReadStartsOnTheLineAfterThePreviousOne) {
  for (const feed& f : FEEDS) {
    memory_source source("1 2 3 ignored\n4,5\n6 7\r\n3*8\n9\n", f.piece);
    list_reader reader(source, io_unit::element, f.chunk_size);
    expect_same(reader.read_reals(2).value(), {1.0, 2.0});
    expect_same(reader.read_reals(1).value(), {4.0});
    expect_same(reader.read_reals(1).value(), {6.0});
    expect_same(reader.read_reals(2).value(), {8.0, 8.0});  // the third 8 is dropped
    EXPECT_EQ(reader.read_integer().value(), 9);
    auto after = reader.read_reals(1);
    ASSERT_FALSE(after);
    expect_failure(after.failure(), failure_step::list_in, REASON_END_OF_FILE);
  }
}

TEST(ListInputReads, NextReadFailsAtStartWhenTheLastOneRanIntoTheEnd) {
  // Whether the last line ends decides between "read start" and "list in".
  const struct {
    const char* text;
    failure_step step;
  } cases[] = {
      {"1\n2", failure_step::read_start},     {"1\n2 junk", failure_step::read_start},
      {"1\n2/", failure_step::read_start},    {"1\n2\r\n", failure_step::list_in},
      {"1\n2\n", failure_step::list_in},      {"1\n2\n\n", failure_step::list_in},
      {"1\n2 3\r", failure_step::read_start},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    for (const feed& f : FEEDS) {
      memory_source source(c.text, f.piece);
      list_reader reader(source, io_unit::element, f.chunk_size);
      ASSERT_TRUE(reader.read_reals(1));
      ASSERT_TRUE(reader.read_reals(1));
      auto third = reader.read_integer();
      ASSERT_FALSE(third);
      expect_failure(third.failure(), c.step, REASON_END_OF_FILE);
    }
  }
}

// Hands over `good` bytes, then fails with EIO.
class failing_source final : public byte_source {
 public:
  explicit failing_source(std::string_view good) : good_(good) {}
  source_chunk read(std::span<char> room) override {
    if (good_.empty()) return {0, EIO};
    const std::size_t size = std::min(room.size(), good_.size());
    std::memcpy(room.data(), good_.data(), size);
    good_.remove_prefix(size);
    return {size, 0};
  }

 private:
  std::string_view good_;
};

TEST(ListInputReads, ReportsAStreamErrorWithTheSystemText) {
  // Even where the bytes so far would have failed otherwise, the stream error is
  // what stopped the read.
  for (const char* good : {"", "1 2", "1 2 3", "1.5E", "1 ,"}) {
    SCOPED_TRACE(good);
    failing_source source(good);
    list_reader reader(source);
    auto result = reader.read_reals(3);
    ASSERT_FALSE(result);
    expect_failure(result.failure(), failure_step::list_in, std::strerror(EIO));
  }
}

}  // namespace
}  // namespace datafiles
