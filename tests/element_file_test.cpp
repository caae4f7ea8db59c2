#include "datafiles/element_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace datafiles {
namespace {

namespace fs = std::filesystem;

const std::string TARGET_LINE = "1.523679 0.0934 1.8497 286.537 49.558 19.373 2451545.0 3.2e-7\n";
const std::string OBSERVER_LINE = "1.000001 0.016709 0 102.937 0 357.529 2451545.0 3.0e-6\n";
const std::string START_LINE = "2451545.5\n";
const std::string COUNT_LINE = "30\n";
const std::string GOOD_FILE = TARGET_LINE + OBSERVER_LINE + START_LINE + COUNT_LINE;

// A scratch directory, removed with everything in it.
class scratch_dir {
 public:
  scratch_dir() {
    std::string pattern = (fs::temp_directory_path() / "element_file_test.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~scratch_dir() { fs::remove_all(path_); }
  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Writes `content` to DATOS.DAT in a scratch directory and reads it through
// open_elements, read_elements and close_elements.
outcome<element_data> read_file(const std::string& content) {
  scratch_dir dir;
  const fs::path file = dir.path() / ELEMENT_FILE_NAME;
  std::ofstream(file, std::ios::binary) << content;
  auto opened = open_elements(file.c_str());
  if (auto* failed = std::get_if<io_failure>(&opened)) return *failed;
  auto data = read_elements(std::get<0>(opened));
  close_elements(std::get<0>(opened));
  EXPECT_EQ(std::get<0>(opened).stream(), nullptr);
  return data;
}

// The same bytes through a memory source, one byte per call.
outcome<element_data> read_text(const std::string& content) {
  memory_source source(content, 1);
  return read_element_data(source, 2);
}

void expect_failure(const outcome<element_data>& result, const std::string& step,
                    const std::string& reason) {
  const auto* failed = std::get_if<io_failure>(&result);
  ASSERT_NE(failed, nullptr) << "read succeeded";
  EXPECT_EQ(failed->step, step);
  EXPECT_EQ(failed->reason, reason);
  EXPECT_EQ(failed->unit, ELEMENT_UNIT);
  EXPECT_TRUE(failed->transfer_begun);
}

// Both the file and the memory path fail the same way.
void expect_fails(const std::string& content, const std::string& step, const std::string& reason) {
  SCOPED_TRACE("file: \"" + content.substr(0, 80) + "\"");
  expect_failure(read_file(content), step, reason);
  expect_failure(read_text(content), step, reason);
}

std::uint64_t bits(double v) {
  return std::bit_cast<std::uint64_t>(v);
}

// The eight elements, in file order, bit for bit.
void expect_elements(const orbital_elements& el, const std::array<double, 8>& expected) {
  const std::array<double, 8> actual{el.a, el.e, el.i, el.w, el.node, el.m0, el.t0, el.mass};
  for (std::size_t k = 0; k < actual.size(); ++k) {
    EXPECT_EQ(bits(actual[k]), bits(expected[k])) << "element " << k + 1;
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
      ASSERT_EQ(result.index(), 0u)
          << std::get<1>(result).step << ": " << std::get<1>(result).reason;
      const element_data& data = std::get<0>(result);
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
    ASSERT_EQ(result.index(), 0u) << text;
    EXPECT_EQ(std::get<0>(result).request.count, count);
  }
}

TEST(ElementFile, FailsWhenTheFileEndsEarly) {
  const std::string three = TARGET_LINE + OBSERVER_LINE + START_LINE;
  expect_fails(three, STEP_LIST_IN, REASON_END_OF_FILE);
  expect_fails(three.substr(0, three.size() - 1), STEP_READ_START, REASON_END_OF_FILE);
  expect_fails(TARGET_LINE.substr(0, TARGET_LINE.size() - 1) + " " + OBSERVER_LINE + START_LINE,
               STEP_LIST_IN, REASON_END_OF_FILE);  // all on one line, then the second read
  std::string one_line = GOOD_FILE;
  std::replace(one_line.begin(), one_line.end(), '\n', ' ');
  expect_fails(one_line, STEP_READ_START, REASON_END_OF_FILE);
  expect_fails(one_line + "\n", STEP_LIST_IN, REASON_END_OF_FILE);
  expect_fails("", STEP_LIST_IN, REASON_END_OF_FILE);
}

TEST(ElementFile, RejectsSyntaxErrorsWithTheirSteps) {
  const struct {
    std::string content;
    const char* step;
    const char* reason;
  } cases[] = {
      {"\xEF\xBB\xBF" + GOOD_FILE, STEP_INVALID_NUMBER, REASON_INCOMPREHENSIBLE},
      {"1.5Q0 " + GOOD_FILE, STEP_INVALID_NUMBER, REASON_INCOMPREHENSIBLE},
      {"1.5E " + GOOD_FILE, STEP_EXPONENT_FIELD, REASON_INCOMPREHENSIBLE},
      {"1.5E+ " + GOOD_FILE, STEP_EXPONENT_FIELD, REASON_INCOMPREHENSIBLE},
      {"0*1.5 " + GOOD_FILE, STEP_BAD_REPEAT, REASON_INCOMPREHENSIBLE},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "10.0\n", STEP_INVALID_INTEGER,
       REASON_UNEXPECTED_CHARACTER},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "1E1\n", STEP_INVALID_INTEGER,
       REASON_UNEXPECTED_CHARACTER},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "1+1\n", STEP_INVALID_INTEGER,
       REASON_UNEXPECTED_CHARACTER},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "2147483648\n", STEP_INVALID_INTEGER,
       REASON_INTEGER_OVERFLOW},
      {TARGET_LINE + OBSERVER_LINE + START_LINE + "-2147483649", STEP_INVALID_INTEGER,
       REASON_INTEGER_OVERFLOW},
      // The syntax error in the second read comes before any range check.
      {"-1 " + TARGET_LINE + "x\n", STEP_INVALID_NUMBER, REASON_INCOMPREHENSIBLE},
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
      // A missing value is found when its read ends, before later syntax errors.
      {"/\n" + OBSERVER_LINE + "1.5Q0\n" + COUNT_LINE, "the target's semi-major axis"},
  };
  for (const auto& c : cases) {
    expect_fails(c.content, STEP_LIST_IN, std::string("no value for ") + c.missing);
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
  };
  for (const auto& c : cases) expect_fails(c.content, "element", c.reason);

  // Edges that are allowed: e = 0, e just below 1, zero and negative-zero mass.
  std::string content = body("1e-300", "0", "1", "-0");
  content += body("1", "0.99999999999999994", "1", "0");
  content += START_LINE;
  content += COUNT_LINE;
  EXPECT_EQ(read_text(content).index(), 0u) << content;
}

TEST(ElementFile, OpensOnlyAnExistingFile) {
  scratch_dir dir;
  const fs::path absent = dir.path() / ELEMENT_FILE_NAME;
  auto opened = open_elements(absent.c_str());
  ASSERT_EQ(opened.index(), 1u);
  const io_failure& failed = std::get<1>(opened);
  EXPECT_EQ(failed.step, "open");
  EXPECT_EQ(failed.reason, std::strerror(ENOENT));
  EXPECT_EQ(failed.unit, ELEMENT_UNIT);
  EXPECT_FALSE(failed.transfer_begun);
  EXPECT_FALSE(fs::exists(absent));  // not created by the attempt
}

TEST(ElementFile, ReportsAStreamErrorAsListIn) {
  // A directory opens for reading, but reading it fails.
  scratch_dir dir;
  auto opened = open_elements(dir.path().c_str());
  ASSERT_EQ(opened.index(), 0u);
  expect_failure(read_elements(std::get<0>(opened)), STEP_LIST_IN, std::strerror(EISDIR));
}

}  // namespace
}  // namespace datafiles
