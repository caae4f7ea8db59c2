#include "datafiles/element_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "grammar_cases.h"
#include "platform.h"
#include "test_support.h"

namespace datafiles {
namespace {

namespace fs = std::filesystem;

const std::string TARGET_LINE = "1.523679 0.0934 1.8497 286.537 49.558 19.373 2451545.0 3.2e-7\n";
const std::string OBSERVER_LINE = "1.000001 0.016709 0 102.937 0 357.529 2451545.0 3.0e-6\n";
const std::string START_LINE = "2451545.5\n";
const std::string COUNT_LINE = "30\n";
const std::string GOOD_FILE = TARGET_LINE + OBSERVER_LINE + START_LINE + COUNT_LINE;

// Writes `content` to DATOS.DAT in a scratch directory and reads it through
// open_elements, read_elements and close_elements.
outcome<element_data> read_file(const std::string& content) {
  testing_support::temporary_directory dir;
  const fs::path file = dir / ELEMENT_FILE_NAME;
  testing_support::write_file(file, content);
  auto opened = open_elements(file.string().c_str());
  if (!opened) return opened.failure();
  auto data = read_elements(opened.value());
  close_elements(opened.value());
  EXPECT_EQ(opened.value().stream(), nullptr);
  return data;
}

// The same bytes through a memory source, one byte per call.
outcome<element_data> read_text(const std::string& content) {
  memory_source source(content, 1);
  return read_element_data(source, 2);
}

void expect_failure(const outcome<element_data>& result, failure_step step,
                    const std::string& reason) {
  ASSERT_FALSE(result) << "read succeeded";
  const io_failure& failed = result.failure();
  EXPECT_EQ(failed.step, step);
  EXPECT_EQ(failed.reason_text(), reason);
  EXPECT_EQ(failed.unit, io_unit::element);
  EXPECT_TRUE(failed.transfer_begun);
}

// Both the file and the memory path fail the same way.
void expect_fails(const std::string& content, failure_step step, const std::string& reason) {
  SCOPED_TRACE("file: \"" + content.substr(0, 80) + "\"");
  expect_failure(read_file(content), step, reason);
  expect_failure(read_text(content), step, reason);
}

using testing_support::bits;

// The eight elements, in file order, bit for bit.
void expect_elements(const orbit::orbital_elements& el, const std::array<double, 8>& expected) {
  for (std::size_t k = 0; k < ELEMENTS.size(); ++k) {
    EXPECT_EQ(bits(el.*ELEMENTS[k].member), bits(expected[k])) << ELEMENTS[k].name;
  }
}

TEST(ElementFile, ReadsTheFourLinesBitForBit) {
  for (const std::string& content :
       {GOOD_FILE,
        std::string(
            "1.523679,0.0934,1.8497,286.537,49.558,19.373,2451545.0,3.2e-7\r\n"
            "1.000001\t0.016709\t0\t102.937\t0\t357.529\n2451545.0 3.0D-6 extra text\r\n\r\n"
            "\n  2451545.5 , 1\n30"),
        std::string(
            "1.523679 0.0934 1.8497 286.537 49.558 19.373 2451545.0 3.2e-7abc\n1.000001 0.016709 "
            "0 102.937 0 357.529 2451545.0 .3e-5\n24515455-1\n+30\n")}) {
    SCOPED_TRACE(content);
    for (const auto& result : {read_file(content), read_text(content)}) {
      ASSERT_TRUE(result) << result.failure().step << ": " << result.failure().reason_text();
      const element_data& data = result.value();
      expect_elements(data.target,
                      {1.523679, 0.0934, 1.8497, 286.537, 49.558, 19.373, 2451545.0, 3.2e-7});
      expect_elements(data.observer,
                      {1.000001, 0.016709, 0.0, 102.937, 0.0, 357.529, 2451545.0, 3.0e-6});
      EXPECT_EQ(bits(data.request.start), bits(2451545.5));
      EXPECT_EQ(data.request.count, 30);
    }
  }
}

TEST(ElementFile, AcceptsTheDayCountsLimits) {
  const std::string head = TARGET_LINE + OBSERVER_LINE + START_LINE;
  for (const auto& [text, count] :
       {std::pair{"2147483647", 2147483647}, std::pair{"-2147483648", -2147483647 - 1},
        std::pair{"0", 0}, std::pair{"-5", -5}}) {
    auto result = read_text(head + text);
    ASSERT_TRUE(result) << text;
    EXPECT_EQ(result.value().request.count, count);
  }
}

TEST(ElementFile, FailsWhenTheFileEndsEarly) {
  const std::string three = TARGET_LINE + OBSERVER_LINE + START_LINE;
  expect_fails(three, failure_step::list_in, REASON_END_OF_FILE);
  expect_fails(three.substr(0, three.size() - 1), failure_step::read_start, REASON_END_OF_FILE);
  expect_fails(TARGET_LINE.substr(0, TARGET_LINE.size() - 1) + " " + OBSERVER_LINE + START_LINE,
               failure_step::list_in, REASON_END_OF_FILE);  // all on one line, then the second read
  std::string one_line = GOOD_FILE;
  std::replace(one_line.begin(), one_line.end(), '\n', ' ');
  expect_fails(one_line, failure_step::read_start, REASON_END_OF_FILE);
  expect_fails(one_line + "\n", failure_step::list_in, REASON_END_OF_FILE);
  expect_fails("", failure_step::list_in, REASON_END_OF_FILE);
}

TEST(ElementFile, RejectsSyntaxErrorsWithTheirSteps) {
  const struct {
    std::string content;
    failure_step step;
    const char* reason;
  } cases[] = {
      {"\xEF\xBB\xBF" + GOOD_FILE, failure_step::invalid_number, REASON_INCOMPREHENSIBLE},
      {"1.5Q0 " + GOOD_FILE, failure_step::invalid_number, REASON_INCOMPREHENSIBLE},
      {"1.5E " + GOOD_FILE, failure_step::exponent_field, REASON_INCOMPREHENSIBLE},
      {"1.5E+ " + GOOD_FILE, failure_step::exponent_field, REASON_INCOMPREHENSIBLE},
      {"0*1.5 " + GOOD_FILE, failure_step::bad_repeat, REASON_INCOMPREHENSIBLE},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "10.0\n", failure_step::invalid_integer,
       REASON_UNEXPECTED_CHARACTER},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "1E1\n", failure_step::invalid_integer,
       REASON_UNEXPECTED_CHARACTER},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "1+1\n", failure_step::invalid_integer,
       REASON_UNEXPECTED_CHARACTER},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "2147483648\n", failure_step::invalid_integer,
       REASON_INTEGER_OVERFLOW},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "-2147483649", failure_step::invalid_integer,
       REASON_INTEGER_OVERFLOW},
      // The syntax error in the second read comes before any range check.
      {"-1 " + TARGET_LINE + "x\n", failure_step::invalid_number, REASON_INCOMPREHENSIBLE},
  };
  for (const auto& c : cases) expect_fails(c.content, c.step, c.reason);
}

TEST(ElementFile, TakesARepeatCountOnlyAtTheStartOfAnItem) {
  // The start date's line: once it has its value the rest is discarded.
  const struct {
    const char* line;
    double start;
  } start_cases[] = {
      {"2460000.5*", 2460000.5}, {"2460000.5*7", 2460000.5},  {"2460000.*", 2460000.0},
      {"1.5*2460000.5", 1.5},    {"+1*2460000.5", 2460000.5},
  };
  for (const auto& c : start_cases) {
    std::string content = TARGET_LINE + OBSERVER_LINE;
    content += c.line;
    content += "\n" + COUNT_LINE;
    SCOPED_TRACE(content);
    for (const auto& result : {read_file(content), read_text(content)}) {
      ASSERT_TRUE(result) << result.failure().step;
      EXPECT_EQ(bits(result.value().request.start), bits(c.start));
      EXPECT_EQ(result.value().request.count, 30);
    }
  }

  // The target's line with a signed count, and a real ending at '*' last.
  const std::string tail = OBSERVER_LINE + START_LINE + COUNT_LINE;
  for (const char* line : {"1 +2*0.5 3 4 5 6 7", "1 0.5 0.5 +1*3 4 5 6 7.*9"}) {
    SCOPED_TRACE(line);
    const auto result = read_text(std::string(line) + "\n" + tail);
    ASSERT_TRUE(result) << result.failure().step;
    expect_elements(result.value().target, {1, 0.5, 0.5, 3, 4, 5, 6, 7});
  }

  // Where the read still needs values: each case before a whole file.
  for (const grammar_cases::real_failure& c : grammar_cases::REPEAT_FAILURES) {
    SCOPED_TRACE(c.name);
    expect_fails(std::string(c.text) + " " + GOOD_FILE, c.step, REASON_INCOMPREHENSIBLE);
  }
  // A real ending at '*' as the line's last item.
  expect_fails("1 2 3 4 5 6 7.*8\n" + tail, failure_step::bad_repeat, REASON_INCOMPREHENSIBLE);
}

TEST(ElementFile, RejectsADecimalPointAnywhereInTheDayCount) {
  const std::string head = TARGET_LINE + OBSERVER_LINE + START_LINE;
  for (const grammar_cases::count_failure& c : grammar_cases::DAY_COUNT_FAILURES) {
    SCOPED_TRACE(c.name);
    expect_fails(head + c.text + "\n", c.step, c.reason);
  }
}

TEST(ElementFile, ReportsAFailedReadBeforeItsOwnChecks) {
  // Whether a value is present, in range, and the day count within 32 bits is
  // checked only once all four reads have succeeded, in that order.
  const std::string bad_target = "1 1.5 0 0 0 0 0 0\n";  // the eccentricity
  const std::string no_axis = ",1 2 3 4 5 6 7\n";
  const std::string big_count = "2147483648\n";
  const struct {
    std::string content;
    failure_step step;
    std::string reason;
  } cases[] = {
      // A read's syntax or end-of-file failure wins over an earlier empty value.
      {TARGET_LINE + OBSERVER_LINE + "2*", failure_step::read_start, REASON_END_OF_FILE},
      {TARGET_LINE + OBSERVER_LINE + "2*\n", failure_step::list_in, REASON_END_OF_FILE},
      {"/\n" + OBSERVER_LINE + "x\n" + COUNT_LINE, failure_step::invalid_number,
       REASON_INCOMPREHENSIBLE},
      {no_axis + OBSERVER_LINE + START_LINE + "10.0\n", failure_step::invalid_integer,
       REASON_UNEXPECTED_CHARACTER},
      {no_axis + "*1\n" + START_LINE + COUNT_LINE, failure_step::bad_repeat,
       REASON_INCOMPREHENSIBLE},
      // A missing value, even late in the file, wins over a value out of range.
      {bad_target + OBSERVER_LINE + START_LINE + "/\n", failure_step::list_in,
       "no value for the day count"},
      {bad_target + OBSERVER_LINE + START_LINE + "3*\n", failure_step::list_in,
       "no value for the day count"},
      {no_axis + OBSERVER_LINE + START_LINE + big_count, failure_step::list_in,
       "no value for the target's semi-major axis"},
      {no_axis + "/\n" + START_LINE + COUNT_LINE, failure_step::list_in,
       "no value for the target's semi-major axis"},
      // Values out of range in file order, the day count's range last.
      {bad_target + OBSERVER_LINE + START_LINE + big_count, failure_step::element,
       "the target's eccentricity 1.5 is outside [0, 1)"},
      {TARGET_LINE + OBSERVER_LINE + "1e999\n" + big_count, failure_step::element,
       "the start date inf is not finite"},
  };
  for (const auto& c : cases) expect_fails(c.content, c.step, c.reason);
}

TEST(ElementFile, NamesTheFirstValueLeftWithoutOne) {
  const struct {
    std::string content;
    const char* missing;
  } cases[] = {
      {"," + TARGET_LINE + OBSERVER_LINE + START_LINE + COUNT_LINE, "the target's semi-major axis"},
      {"1 0.1 2*,3 4 5 6\n" + OBSERVER_LINE + START_LINE + COUNT_LINE, "the target's inclination"},
      {"1 0.1 2 3/\n" + OBSERVER_LINE + START_LINE + COUNT_LINE,
       "the target's longitude of the ascending node"},
      {TARGET_LINE + "1 0.1 2 3 4 5 6/\n" + START_LINE + COUNT_LINE, "the observer's mass"},
      {TARGET_LINE + "1 0.1 2 3 4 5 +,7\n" + START_LINE + COUNT_LINE, "the observer's epoch"},
      {TARGET_LINE + "1 0.1 2 3 4 5 6 7*\n" + START_LINE + COUNT_LINE, "the observer's mass"},
      {TARGET_LINE + "1 0.1 2 3 4,,6 7\n" + START_LINE + COUNT_LINE, "the observer's mean anomaly"},
      {TARGET_LINE + OBSERVER_LINE + "/\n" + COUNT_LINE, "the start date"},
      {TARGET_LINE + OBSERVER_LINE + ",\n" + COUNT_LINE, "the start date"},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "/\n", "the day count"},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "+,", "the day count"},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "3*\n", "the day count"},
      {TARGET_LINE + OBSERVER_LINE + "2*\n" + COUNT_LINE, "the start date"},
  };
  for (const auto& c : cases) {
    expect_fails(c.content, failure_step::list_in, std::string("no value for ") + c.missing);
  }
}

TEST(ElementFile, RejectsElementsTheOrbitCannotUse) {
  // The eight values of a body in file order, as text.
  const auto body = [](const char* a, const char* e, const char* angle, const char* mass) {
    return std::string(a) + " " + e + " " + angle + " 1 2 3 2451545 " + mass + "\n";
  };
  const std::string good = body("1", "0.5", "10", "0");
  const struct {
    std::string content;
    const char* reason;
  } cases[] = {
      {body("0", "0.5", "1", "0") + good + START_LINE + COUNT_LINE,
       "the target's semi-major axis 0 is not above 0"},
      {good + body("-1", "0.5", "1", "0") + START_LINE + COUNT_LINE,
       "the observer's semi-major axis -1 is not above 0"},
      {body("-0", "0.5", "1", "0") + good + START_LINE + COUNT_LINE,
       "the target's semi-major axis -0 is not above 0"},
      {body("1", "1.5", "1", "0") + good + START_LINE + COUNT_LINE,
       "the target's eccentricity 1.5 is outside [0, 1)"},
      {body("1", "1", "1", "0") + good + START_LINE + COUNT_LINE,
       "the target's eccentricity 1 is outside [0, 1)"},
      {good + body("1", "-1e-9", "1", "0") + START_LINE + COUNT_LINE,
       "the observer's eccentricity -1e-09 is outside [0, 1)"},
      {good + body("1", "0", "1", "-0.001") + START_LINE + COUNT_LINE,
       "the observer's mass -0.001 is negative"},
      {body("1E400", "0.5", "1", "0") + good + START_LINE + COUNT_LINE,
       "the target's semi-major axis inf is not finite"},
      {body("1", "0.5", "-1d999", "0") + good + START_LINE + COUNT_LINE,
       "the target's inclination -inf is not finite"},
      {good + good + "1" + std::string(400, '0') + "\n" + COUNT_LINE,
       "the start date inf is not finite"},
      // The first bad value in file order is the one named.
      {body("-1", "2", "1e999", "-1") + body("-1", "2", "1", "-1") + "1e999\n" + COUNT_LINE,
       "the target's semi-major axis -1 is not above 0"},
      {body("1", "2", "1e999", "-1") + good + START_LINE + COUNT_LINE,
       "the target's eccentricity 2 is outside [0, 1)"},
      {good + body("1", "0", "1", "-1") + "1e999\n" + COUNT_LINE,
       "the observer's mass -1 is negative"},
      // Beyond the axes whose distances and their squares stay finite and
      // normal, and the angles whose radians stay finite.
      {body("9.9e-138", "0.5", "1", "0") + good + START_LINE + COUNT_LINE,
       "the target's semi-major axis 9.9e-138 is outside [1e-137, 1e153]"},
      {good + body("1.1e153", "0.5", "1", "0") + START_LINE + COUNT_LINE,
       "the observer's semi-major axis 1.1e+153 is outside [1e-137, 1e153]"},
      {body("1", "0.5", "5.000001e307", "0") + good + START_LINE + COUNT_LINE,
       "the target's inclination 5.000001e+307 is outside [-5e307, 5e307]"},
      {good + "1 0.5 10 1 2 -6e307 2451545 0\n" + START_LINE + COUNT_LINE,
       "the observer's mean anomaly -6e+307 is outside [-5e307, 5e307]"},
  };
  for (const auto& c : cases) expect_fails(c.content, failure_step::element, c.reason);

  // Edges that are allowed: both ends of the axes, e = 0, e just below 1,
  // zero and negative-zero mass, both ends of the angles.
  const std::string content = body("1e-137", "0", "5e307", "-0") +
                              body("1e153", "0.99999999999999994", "-5e307", "0") + START_LINE +
                              COUNT_LINE;
  EXPECT_TRUE(read_text(content)) << content;
}

// An element file of four to seven lines whose items are mostly numbers that
// the checks may refuse, with a few pieces of list syntax mixed in.
std::string random_element_file(std::mt19937_64& random) {
  static const char* const numbers[] = {
      "0.5",        "0.5",         "0.5",           "0.5", "1",  "1",     "2*0.5", "+2*0.1",
      "0",          "-0",          "2451545",       "1.5", "-1", "1e999", "3*",    "2147483647",
      "2147483648", "-2147483649", "99999999999999"};
  static const char* const syntax[] = {"*",  "*1", ".", "+",  "-",   ",",  "/",  "1.5*2", "2e0*",
                                       "3.", "x",  "E", "1E", "2**", "0*", ".*", "+.",    "\r"};
  static const char* const separators[] = {" ", ",", "\t", " , ", "  "};
  std::string text;
  const std::size_t lines = 4 + random() % 4;
  for (std::size_t line = 0; line < lines; ++line) {
    const std::size_t items = 3 + random() % 8;
    for (std::size_t item = 0; item < items; ++item) {
      if (item > 0) text += separators[random() % std::size(separators)];
      text += random() % 24 == 0 ? syntax[random() % std::size(syntax)]
                                 : numbers[random() % std::size(numbers)];
    }
    if (line + 1 < lines || random() % 2 == 0) text += random() % 4 == 0 ? "\r\n" : "\n";
  }
  return text;
}

// What the four reads give when made directly on `text`.
struct four_reads {
  std::optional<io_failure> failure;  // of the first read that failed
  bool unset = false;                 // a variable was left without a value
  std::optional<std::int64_t> count;
};

four_reads read_directly(const std::string& text) {
  memory_source source(text);
  list_reader reader(source);
  four_reads read;
  for (const std::size_t count : {std::size_t{8}, std::size_t{8}, std::size_t{1}}) {
    auto values = reader.read_reals(count);
    if (!values) {
      read.failure = values.failure();
      return read;
    }
    for (const auto& v : values.value()) read.unset = read.unset || !v;
  }
  auto count = reader.read_integer();
  if (!count) {
    read.failure = count.failure();
    return read;
  }
  read.count = count.value();
  read.unset = read.unset || !read.count;
  return read;
}

TEST(ElementFile, MakesItsOwnChecksOnlyAfterFourSuccessfulReads) {
  // Against the four reads made directly: a failed read is the report; when
  // all succeed, a value left unset is named first, then come the refusals
  // of values, the day count's range last. ELEMENT_FILE_CASES sets the
  // number of files (for a longer run by hand).
  const long cases = testing_support::environment_number("ELEMENT_FILE_CASES", 20000);
  std::mt19937_64 random(8);
  long reached_checks = 0;
  for (long n = 0; n < cases; ++n) {
    const std::string text = random_element_file(random);
    SCOPED_TRACE("file: \"" + text + "\"");
    const outcome<element_data> result = read_text(text);
    const io_failure* failed = result ? nullptr : &result.failure();
    const four_reads direct = read_directly(text);
    if (direct.failure) {
      ASSERT_NE(failed, nullptr);
      ASSERT_EQ(failed->step, direct.failure->step);
      ASSERT_EQ(failed->reason, direct.failure->reason);
      continue;
    }

    ++reached_checks;
    if (direct.unset) {
      ASSERT_NE(failed, nullptr);
      ASSERT_EQ(failed->step, failure_step::list_in);
      ASSERT_EQ(failed->reason.rfind("no value for ", 0), 0u) << failed->reason;
    } else if (failed != nullptr && failed->step != failure_step::element) {
      // Only a day count beyond 32 bits may fail otherwise than "element".
      ASSERT_EQ(failed->step, failure_step::invalid_integer) << failed->reason;
      ASSERT_EQ(failed->reason, REASON_INTEGER_OVERFLOW);
      ASSERT_NE(*direct.count, static_cast<std::int32_t>(*direct.count));
    } else if (failed == nullptr) {
      ASSERT_EQ(result.value().request.count, *direct.count);
    }
  }
  // The files reach the checks often enough for the property to say something.
  EXPECT_GT(reached_checks, cases / 10);
}

TEST(ElementFile, OpensOnlyAnExistingFile) {
  testing_support::temporary_directory dir;
  const fs::path absent = dir.path() / ELEMENT_FILE_NAME;
  auto opened = open_elements(absent.string().c_str());
  ASSERT_FALSE(opened);
  const io_failure& failed = opened.failure();
  EXPECT_EQ(failed.step, failure_step::open);
  EXPECT_EQ(failed.reason_text(), std::strerror(ENOENT));
  EXPECT_EQ(failed.unit, io_unit::element);
  EXPECT_FALSE(failed.transfer_begun);
  EXPECT_FALSE(fs::exists(absent));  // not created by the attempt
}

TEST(ElementFile, ReportsAStreamErrorAsListIn) {
  // A directory opens for reading on POSIX systems, but reading it fails;
  // Windows refuses to open it.
  testing_support::temporary_directory dir;
  auto opened = open_elements(dir.path().string().c_str());
  ASSERT_EQ(static_cast<bool>(opened), testing_support::PLATFORM.element_directory_opens);
  const outcome<element_data> result =
      opened ? read_elements(opened.value()) : outcome<element_data>(opened.failure());
  ASSERT_FALSE(result);
  const io_failure& failed = result.failure();
  EXPECT_EQ(step_text(failed.step) + std::string(": ") + std::string(failed.reason_text()),
            testing_support::PLATFORM.element_directory_report);
  EXPECT_EQ(failed.transfer_begun, testing_support::PLATFORM.element_directory_opens);
}

}  // namespace
}  // namespace datafiles

namespace datafiles {
namespace {

TEST(ElementFile, SaysWhereAFailureHappened) {
  // (name, file, where): the line and column from 1, the value by name and the
  // text there, quoted; an end of file after which line; a check the line.
  const std::string three_lines = TARGET_LINE + OBSERVER_LINE + START_LINE;
  const struct {
    const char* name;
    std::string text;
    std::string where;
  } cases[] = {
      {"byte-order mark", "\xEF\xBB\xBF" + GOOD_FILE,
       R"(line 1, column 1, the target's semi-major axis, at "\xef\xbb\xbf1.523679 0.0934 1")"
       "; the file is UTF-8 text with a byte-order mark: save it as plain text, without the mark"},
      {"UTF-16 with its mark",
       std::string("\xFF\xFE"
                   "1\0.\0"
                   "5\0 \0",
                   10),
       R"(line 1, column 1, the target's semi-major axis, at "\xff\xfe1\x00.\x005\x00 \x00")"
       "; the file is UTF-16 text: save it as plain text (ASCII or UTF-8)"},
      {"UTF-16 without a mark",
       std::string("1\0.\0"
                   "5\0 \0",
                   8),
       R"(line 1, column 2, the target's eccentricity, at "\x00.\x005\x00 \x00")"
       "; the file is UTF-16 text: save it as plain text (ASCII or UTF-8)"},
      {"lines that end with CR alone",
       TARGET_LINE.substr(0, TARGET_LINE.size() - 1) + "\r" +
           OBSERVER_LINE.substr(0, OBSERVER_LINE.size() - 1) + "\r2451545.5\r30\r",
       "after line 1, the observer's semi-major axis; the file is text, but its lines end with CR "
       "alone: save it as plain text with LF or CR LF line ends"},
      {"lines that end with CR alone, a value short", "1 0.1 0 0 0 0 0\r0 1 0 0\r",
       R"(line 1, column 16, the target's mass, at "\x0d0 1 0 0\x0d")"
       "; the file is text, but its lines end with CR alone: save it as plain text with LF or "
       "CR LF line ends"},
      {"degrees and minutes",
       TARGET_LINE +
           "1.000001 0.016709 0 102\xC2\xB0"
           "56' 0 357.529\n" +
           START_LINE + COUNT_LINE,
       "line 2, column 24, the observer's longitude of the ascending node, at "
       "\"\\xc2\\xb056' 0 357.529\""},
      {"header row", "a e i w node m0 t0 mass\n" + GOOD_FILE,
       "line 1, column 1, the target's semi-major axis, at \"a e i w node m0 t0 m\""},
      {"semicolons", "1.5;0.1;0;0;0;0;2451545;0\n" + GOOD_FILE.substr(TARGET_LINE.size()),
       "line 1, column 4, the target's eccentricity, at \";0.1;0;0;0;0;2451545\""},
      {"a quote and a backslash", TARGET_LINE + R"("1\")" + "\n",
       R"(line 2, column 1, the observer's semi-major axis, at "\"1\\\"")"},
      {"the file ends inside a read", three_lines, "after line 3, the day count"},
      {"the last line unended", three_lines.substr(0, three_lines.size() - 1),
       "after line 3, the day count"},
      {"blank lines at the end", TARGET_LINE + "\n\n",
       "after line 3, the observer's semi-major axis"},
      {"an empty file", "", "in an empty file, the target's semi-major axis"},
      {"an exponent without digits", TARGET_LINE + OBSERVER_LINE + "2451545E+\n" + COUNT_LINE,
       "line 3, column 1, the start date, at \"2451545E+\""},
      {"a point in the day count", TARGET_LINE + OBSERVER_LINE + START_LINE + "  30.5 days\n",
       "line 4, column 3, the day count, at \"30.5 days\""},
      {"an eccentricity out of range", "1 0.1 0 0 0 0 0 0\n\n1 1.5\n0 0 0 0 0 0\n1\n1\n", "line 3"},
      {"a value left unset", TARGET_LINE + OBSERVER_LINE + START_LINE + "\n,\n", "line 5"},
      {"a day count beyond 32 bits", TARGET_LINE + OBSERVER_LINE + START_LINE + "\n3000000000\n",
       "line 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& result : {read_file(c.text), read_text(c.text)}) {
      ASSERT_FALSE(result);
      EXPECT_EQ(result.failure().where, c.where);
    }
  }
}

TEST(ElementFile, KeepsTheNumbersLeftOverOnALine) {
  // (file, left over after each read as "line: text", "" for none)
  const struct {
    std::string text;
    std::array<std::string, READ_COUNT> left_over;
  } cases[] = {
      {GOOD_FILE, {"", "", "", ""}},
      {"1.5 0,1 0 0 0 0 0 3,2E-7\n" + OBSERVER_LINE + "2461041,5\n30 days\n",
       {"1: 3,2E-7", "", "3: 5", ""}},
      {TARGET_LINE.substr(0, TARGET_LINE.size() - 1) + "  Mars 4\n" + OBSERVER_LINE +
           "2461041.5 -1 .5\n30\t+7\n",
       {"", "", "3: -1 .5", "4: +7"}},
      {TARGET_LINE + OBSERVER_LINE + "2461041.5, 123456789012345678901234\n30 -",
       {"", "", "3: 12345678901234567890", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    for (const auto& result : {read_file(c.text), read_text(c.text)}) {
      ASSERT_TRUE(result) << result.failure().reason_text();
      for (std::size_t k = 0; k < READ_COUNT; ++k) {
        const numbers_left_over& left = result.value().left_over[k];
        EXPECT_EQ(left.line == 0 ? "" : std::to_string(left.line) + ": " + left.text,
                  c.left_over[k])
            << "read " << k;
      }
    }
  }
}

// What `read` holds: each body's values, the start date and the day count,
// "_" for an empty value and "none" for a read never begun:
// "1.5 0.1 _ _ _ _ _ _ | none | none | none".
std::string summary(const values_read& read) {
  const auto number = [](std::optional<double> value) {
    char text[40];
    return value ? std::string(text, std::to_chars(text, text + sizeof text, *value).ptr) : "_";
  };
  std::string text;
  for (const auto* body : {&read.target, &read.observer}) {
    std::string values;
    for (const auto& value : *body) {
      if (!values.empty()) values += ' ';
      values += number(value);
    }
    text += (body->empty() ? "none" : values) + " | ";
  }
  text += read.start ? number(*read.start) : "none";
  text += " | " + (read.count ? std::to_string(*read.count) : "none");
  return text;
}

TEST(ElementFile, KeepsWhatTheReadsSetUpToAFailure) {
  const std::string target = "1 0.1 2 3 4 5 2451545 0\n";
  const std::string observer = "1.5 0.2 0 0 0 0 2451545 0\n";
  const std::string all_values = "1 0.1 2 3 4 5 2451545 0 | 1.5 0.2 0 0 0 0 2451545 0 | ";
  const struct {
    const char* name;
    std::string text;
    std::string read;  // summary() of what the reads set
  } cases[] = {
      {"a calendar date as the target's epoch",
       "1 0.1 2 3 4 5 2000-01-01.5\n" + observer + "2461041.5\n30\n",
       "1 0.1 2 3 4 5 200 -1.5 | 1.5 0.2 0 0 0 0 2451545 0 | 2461041.5 | 30"},
      {"a syntax error inside the first read", "1 0.1 x\n",
       "1 0.1 _ _ _ _ _ _ | none | none | none"},
      {"empty values, then the end of the file", "1,,2\n", "1 _ 2 _ _ _ _ _ | none | none | none"},
      {"the second read starts at the end", "1 0.1 2 3 4 5 2451545 0",
       "1 0.1 2 3 4 5 2451545 0 | _ _ _ _ _ _ _ _ | none | none"},
      {"a point in the day count", target + observer + "2461041.5\n30.5\n",
       all_values + "2461041.5 | none"},
      {"a day count beyond 32 bits", target + observer + "2461041.5\n3000000000\n",
       all_values + "2461041.5 | 3000000000"},
      {"an empty file", "", "_ _ _ _ _ _ _ _ | none | none | none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    memory_source source(c.text, 1);
    values_read read;
    ASSERT_FALSE(read_element_data(source, read, 2));
    EXPECT_EQ(summary(read), c.read);
  }
}

TEST(ElementFile, TheReportsLastLineSaysWhere) {
  io_failure failure{failure_step::invalid_number, REASON_INCOMPREHENSIBLE, io_unit::element, true};
  failure.where = "line 2, column 14, the observer's eccentricity, at \"1,5\"";
  EXPECT_EQ(report_text(failure),
            "invalid number: incomprehensible list input\n"
            "apparent state: unit 1 named DATOS.DAT\n"
            "last format: list io\n"
            "lately reading sequential formatted external IO: line 2, column 14, the "
            "observer's eccentricity, at \"1,5\"\n");
  EXPECT_EQ(quoted_text(std::string("a\"b\\c\x01\x7f\xff ~", 10)),
            "\"a\\\"b\\\\c\\x01\\x7f\\xff ~\"");
}

}  // namespace
}  // namespace datafiles
