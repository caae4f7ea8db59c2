// Runs the real program in temporary directories with real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "grammar_cases.h"
#include "process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ended_abnormally;
using testing_support::PLATFORM;
using testing_support::platform_text;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::run_result;
using testing_support::running_program;
using testing_support::temporary_directory;
using testing_support::write_file;

const fs::path data_directory = fs::path(EPHEMERIS_SOURCE_DIR) / "tests" / "data";

std::string data_file(const std::string& name) {
  return read_file(data_directory / name);
}

// The Mars-from-Earth elements of the example with another start and count.
std::string mars_elements(const std::string& start, const std::string& count) {
  std::istringstream lines(data_file("mars_from_earth.dat"));
  std::string target, observer;
  std::getline(lines, target);
  std::getline(lines, observer);
  return target + "\n" + observer + "\n" + start + "\n" + count + "\n";
}

// The first `count` records of a file in which every record takes two lines.
std::string first_records(const std::string& table, int count) {
  std::size_t end = 0;
  for (int line = 0; line < 2 * count; ++line) end = table.find('\n', end) + 1;
  return table.substr(0, end);
}

std::vector<double> items_of(const std::string& table) {
  std::istringstream in(table);
  std::vector<double> items;
  for (std::string word; in >> word;) items.push_back(std::stod(word));
  return items;
}

// A file cut short by a stop holds whole records with consecutive dates.
void expect_whole_records(const std::string& table, double start) {
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table.back(), '\n');
  const std::vector<double> items = items_of(table);
  ASSERT_EQ(items.size() % 8, 0U);
  for (std::size_t record = 0; record < items.size() / 8; ++record) {
    ASSERT_EQ(items[8 * record], start + static_cast<double>(record)) << "record " << record;
  }
}

// As the Linux build writes them.
const std::string mars_expected_head = first_records(data_file("mars_from_earth.expected"), 3);
const std::string old_table = "old contents of the table\nthat a run must not keep\n";

// The failure reports, with the platform's line ends; `where` ends the last
// line.
std::string element_report(const std::string& first_line, const std::string& where,
                           bool transfer_begun = true) {
  return platform_text(first_line + "\napparent state: unit 1 named DATOS.DAT\n" +
                       (transfer_begun ? "last format: list io\n" : "") +
                       "lately reading sequential formatted external IO" +
                       (where.empty() ? "" : ": " + where) + "\n");
}

std::string ephemeris_report(const std::string& first_line, const std::string& where = "") {
  return platform_text(first_line +
                       "\napparent state: unit 2 named VESK.DAT\nlast format: list io\n"
                       "lately writing sequential formatted external IO" +
                       (where.empty() ? "" : ": " + where) + "\n");
}

// `text` with the platform's line ends, nothing else changed: what the program
// prints on standard output.
std::string with_line_ends(const std::string& text) {
  std::string result;
  for (const char c : text) {
    if (c == '\n') {
      result += PLATFORM.line_end;
    } else {
      result += c;
    }
  }
  return result;
}

// The table is `expected`, as the Linux build writes it, within what the
// platform allows.
void expect_table(const std::string& table, const std::string& expected) {
  EXPECT_EQ(testing_support::table_difference(table, expected), "");
}

void expect_clean_success(const run_result& result) {
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

TEST(EndToEnd, WritesTheTableAnIndependentComputationGives) {
  // The expected files come from tests/reference/reference_ephemeris.py, a
  // separate Python evaluation of the same formulas with Python's own "%.9G"
  // formatting. The Mars run was also compared with the published position
  // of Mars in February 2026 (RA about 21 h, declination about -18 degrees,
  // a month after conjunction with the Sun); the inner-body run passes an
  // exact inferior conjunction at date 0, so it writes zero, negative and
  // exponent-form items, and the Mars run has records whose seventh item
  // would end exactly on column 80 and so starts the second line.
  for (const std::string name : {"mars_from_earth", "inferior_conjunction"}) {
    SCOPED_TRACE(name);
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", data_file(name + ".dat"));
    expect_clean_success(run_program(dir.path()));
    std::size_t last_digit_differences = 0;
    EXPECT_EQ(
        testing_support::table_difference(read_file(dir / "VESK.DAT"),
                                          data_file(name + ".expected"), &last_digit_differences),
        "");
    std::cout << name << ": " << last_digit_differences
              << " items differ from the expected table in their ninth digit\n";
  }
}

TEST(EndToEnd, IgnoresArgumentsThatAreNoOptionAndReadsOnlyDatosDat) {
  temporary_directory dir;
  write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "3"));
  // A file named as an argument is not read, valid or not.
  write_file(dir / "comet.dat", "17.867 0.96714 162.262 111.332 58.420 0 2446470.96 0\n");
  expect_clean_success(run_program(dir.path(), {{"comet.dat", "-", "other.dat"}}));
  expect_table(read_file(dir / "VESK.DAT"), mars_expected_head);
}

TEST(EndToEnd, AMistypedOptionReadsAndWritesNothing) {
  const std::string see_help = "; ephemeris --help lists the options";
  // (arguments, the one line on standard error)
  const struct {
    std::vector<std::string> arguments;
    std::string err;
  } cases[] = {
      {{"--chek"}, "ephemeris: unknown option '--chek'" + see_help},
      {{"-c"}, "ephemeris: unknown option '-c'" + see_help},
      {{"-V"}, "ephemeris: unknown option '-V'" + see_help},
      {{"-x", "check"}, "ephemeris: unknown option '-x'" + see_help},
      {{"check", "--verison"}, "ephemeris: unknown option '--verison'" + see_help},
      {{"--check", "DATOS.DAT"}, "ephemeris: '--check' must be the only argument" + see_help},
      {{"--version", "--check"}, "ephemeris: '--version' must be the only argument" + see_help},
      {{"x", "--check"}, "ephemeris: '--check' must be the only argument" + see_help},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[0]);
    // No DATOS.DAT at all: a program that tried to read it would report the
    // failed open instead.
    temporary_directory dir;
    write_file(dir / "VESK.DAT", old_table);
    const auto before = fs::last_write_time(dir / "VESK.DAT");
    const run_result result = run_program(dir.path(), {c.arguments});
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, platform_text(c.err + "\n"));
    EXPECT_EQ(read_file(dir / "VESK.DAT"), old_table);
    EXPECT_EQ(fs::last_write_time(dir / "VESK.DAT"), before);
    // Nothing created either.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  }
  // "check" alone is no option: an ordinary run, which needs DATOS.DAT.
  temporary_directory dir;
  write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "3"));
  write_file(dir / "VESK.DAT", old_table);
  expect_clean_success(run_program(dir.path(), {{"check"}}));
  expect_table(read_file(dir / "VESK.DAT"), mars_expected_head);
}

TEST(EndToEnd, SlashQuestionMarkAloneIsHelpOnlyOnWindows) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"/?"}, std::vector<std::string>{"/?", "/?"}}) {
    SCOPED_TRACE(arguments.size());
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "3"));
    const run_result result = run_program(dir.path(), {arguments});
    if (arguments.size() == 1 && PLATFORM.slash_question_mark_is_help) {
      EXPECT_EQ(result.exit_status, 0);
      EXPECT_EQ(result.out.rfind("Usage: ephemeris", 0), 0U) << result.out;
      EXPECT_EQ(result.err, "");
      EXPECT_FALSE(fs::exists(dir / "VESK.DAT"));
    } else if (PLATFORM.slash_question_mark_is_help) {
      // An option beside another argument is a usage error, "/?" too.
      EXPECT_EQ(result.exit_status, 2);
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err,
                with_line_ends("ephemeris: '/?' must be the only argument; ephemeris --help "
                               "lists the options\n"));
      EXPECT_FALSE(fs::exists(dir / "VESK.DAT"));
    } else {
      expect_clean_success(result);
      expect_table(read_file(dir / "VESK.DAT"), mars_expected_head);
    }
  }
}

TEST(EndToEnd, HelpVersionAndCheckLeaveTheTableAlone) {
  // (arguments, DATOS.DAT, exit status, text standard output must hold,
  // standard error)
  const std::string mars = mars_elements("2461041.5", "365");
  const struct {
    std::vector<std::string> arguments;
    std::string elements;
    int exit_status;
    std::string out_holds;
    std::string err;
  } cases[] = {
      {{"--help"}, mars, 0, "Usage: ephemeris [--help | --version | --check]\n", ""},
      {{"-h"}, "", 0, "--check     read DATOS.DAT as a run would", ""},
      {{"--version"}, "", 0, "ephemeris 1.0\n", ""},
      {{"--check"},
       mars,
       0,
       "  start date                      2461041.5 (2026-01-01 00:00)\n"
       "  day count                       365\n"
       "  first record                    2461041.5 (2026-01-01 00:00)\n"
       "  last record                     2461405.5 (2026-12-31 00:00)\n"
       "notes: none\n",
       ""},
      {{"--check"}, "", 2, "", element_report("open: No such file or directory", "", false)},
      {{"--check"},
       mars_elements("2461041.5", "3.0"),
       2,
       "",
       element_report("invalid integer: read unexpected character",
                      "line 4, column 1, the day count, at \"3.0\"")},
      {{"--check"},
       mars.substr(0, mars.find('\n') + 1) + mars.substr(0, mars.find('\n') + 1) +
           "2461041.5\n365\n",
       2,
       "",
       element_report("element: the observer's orbit is the target's: the two bodies must "
                      "differ",
                      "line 2")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[0] + " " + c.elements.substr(0, 20));
    temporary_directory dir;
    if (!c.elements.empty()) write_file(dir / "DATOS.DAT", c.elements);
    write_file(dir / "VESK.DAT", old_table);
    const auto before = fs::last_write_time(dir / "VESK.DAT");
    const run_result result = run_program(dir.path(), {c.arguments});
    EXPECT_EQ(result.exit_status, c.exit_status);
    EXPECT_NE(result.out.find(with_line_ends(c.out_holds)), std::string::npos) << result.out;
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(read_file(dir / "VESK.DAT"), old_table);
    EXPECT_EQ(fs::last_write_time(dir / "VESK.DAT"), before);
  }
}

// Runs --check on `elements`, in a directory of its own; a check never
// creates VESK.DAT.
run_result run_check(const std::string& elements) {
  temporary_directory dir;
  write_file(dir / "DATOS.DAT", elements);
  const run_result result = run_program(dir.path(), {{"--check"}});
  EXPECT_FALSE(fs::exists(dir / "VESK.DAT"));
  return result;
}

TEST(EndToEnd, CheckNotesWhatIsLegalButProbablyNotMeant) {
  const std::string mars = data_file("mars_from_earth.dat");
  const std::string target = mars.substr(0, mars.find('\n') + 1);
  const std::string observer =
      mars.substr(target.size(), mars.find('\n', target.size()) + 1 - target.size());
  const std::string comma_mass = target.substr(0, target.rfind("3.2271")) + "3,2271E-7\n";
  const struct {
    const char* name;
    std::string elements;
    std::vector<std::string> notes;  // each a line of the output
  } cases[] = {
      {"decimal commas",
       comma_mass + observer + "2461041,5\n365\n",
       {"  - line 1: numbers left over after the target's elements: \"2271E-7\": a decimal "
        "comma (1,5 reads as 1 and 5) or a value too many?",
        "  - line 3: numbers left over after the start date: \"5\": a decimal comma (1,5 "
        "reads as 1 and 5) or a value too many?",
        "  - the target's mass 3 is above 0.001 solar masses, heavier than Jupiter: a mass in "
        "other units, or a decimal comma?"}},
      {"a calendar date as the start",
       target + observer + "2026-01-01\n365\n",
       {"  - line 3: numbers left over after the start date: \"-01\": a decimal comma (1,5 "
        "reads as 1 and 5) or a value too many?",
        "  - the start date 202.6 (-4712-06-14 02:24) is outside the years 1000 to 3000: a "
        "calendar date typed as a number? It is a Julian date (2026-01-01 00:00 is 2461041.5)",
        "  - the target's epoch 2451545 (2000-01-01 12:00) is more than 100 years from the run's "
        "date 202.6 (-4712-06-14 02:24): fixed two-body elements drift away from the real "
        "orbit"}},
      {"no day",
       target + observer + "2461041.5\n0\n",
       {"  - the day count 0 writes no record: an existing VESK.DAT is kept as it was"}},
      {"a value too many",
       target + observer + "2461041.5 30\n365  days\n",
       {"  - line 3: numbers left over after the start date: \"30\": a decimal comma (1,5 "
        "reads as 1 and 5) or a value too many?"}},
      {"text after the values is no number",
       target + observer + "2461041.5 start, 2026\n365\n",
       {"notes: none"}},
      {"text after the values starts with a number",
       target + observer + "2461041.5   2026 January 1\n365\n",
       {"  - line 3: the text after the start date, \"2026 January 1\", starts with a number: "
        "text after a read's values must start with a letter, or a value missing before it is "
        "read from it (or is it a decimal comma? 1,5 reads as 1 and 5)"}},
      {"a Modified Julian Date as the start",
       target + observer + "61041\n365\n",
       {"  - the start date 61041 looks like a Modified Julian Date: the Julian date is MJD + "
        "2400000.5, here 2461041.5 (2026-01-01 00:00)"}},
      {"a semi-major axis in kilometres",
       "227939200" + target.substr(target.find(' ')) + observer + "2461041.5\n365\n",
       {"  - the target's semi-major axis 227939200 AU is beyond the Sun's reach (about 100000 "
        "AU): kilometres? 1 AU is 149597870.7 km, so 227939200 km would be 1.52367944 AU"}},
      {"J2000 elements a million days on",
       target + observer + "2461041.5\n1000000\n",
       {"  - the target's epoch 2451545 (2000-01-01 12:00) is more than 100 years from the run's "
        "date 3461040.5 (4763-11-28 00:00): fixed two-body elements drift away from the real orbit",
        "  - the observer's epoch 2451545 (2000-01-01 12:00) is more than 100 years from the "
        "run's date 3461040.5 (4763-11-28 00:00): fixed two-body elements drift away from the "
        "real orbit"}},
      // Quoted as the reports quote: no byte of the file reaches a terminal as it is.
      {"control bytes left over",
       target + observer + "2461041.5 5\x1b[2J\x07" + std::string(1, '\0') + "\\\"\n365\n",
       {"  - line 3: the text after the start date, \"5\\x1b[2J\\x07\\x00\\\\\\\"\", starts with a "
        "number: text after a read's values must start with a letter, or a value missing before "
        "it is read from it (or is it a decimal comma? 1,5 reads as 1 and 5)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const run_result result = run_check(c.elements);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.find_first_of(std::string("\x1b\x07", 2) + '\0'), std::string::npos);
    for (const std::string& note : c.notes) {
      EXPECT_NE(result.out.find(with_line_ends(note + "\n")), std::string::npos) << note << "\nin\n"
                                                                                 << result.out;
    }
  }
}

TEST(EndToEnd, CheckShowsTheValuesReadBeforeAFailure) {
  const std::string mars = mars_elements("2461041.5", "365");
  const std::string observer_and_run = mars.substr(mars.find('\n') + 1);
  const struct {
    const char* name;
    std::string elements;
    std::string out;  // all of standard output
    std::string err;
  } cases[] = {
      {"a calendar date as the epoch",
       "1.52371034 0.09339410 1.84969142 286.50316850 49.55953891 19.39019754 2000-01-01.5\n" +
           observer_and_run,
       "DATOS.DAT reads as, up to the failure:\n"
       "target:\n"
       "  semi-major axis                 1.52371034 AU\n"
       "  eccentricity                    0.0933941\n"
       "  inclination                     1.84969142 degrees\n"
       "  argument of perihelion          286.5031685 degrees\n"
       "  longitude of the ascending node 49.55953891 degrees\n"
       "  mean anomaly                    19.39019754 degrees\n"
       "  epoch                           200 (-4712-06-11 12:00)\n"
       "  mass                            -1.5 solar masses\n"
       "observer:\n"
       "  semi-major axis                 1.00000261 AU\n"
       "  eccentricity                    0.01671123\n"
       "  inclination                     -1.531e-05 degrees\n"
       "  argument of perihelion          102.93768193 degrees\n"
       "  longitude of the ascending node 0 degrees\n"
       "  mean anomaly                    357.52688973 degrees\n"
       "  epoch                           2451545 (2000-01-01 12:00)\n"
       "  mass                            3.04043e-06 solar masses\n"
       "run:\n"
       "  start date                      2461041.5 (2026-01-01 00:00)\n"
       "  day count                       365\n",
       element_report("element: the target's mass -1.5 is negative", "line 1")},
      {"an empty value, then a syntax error", "1.5,,0.1 2\xC2\xB0\n" + observer_and_run,
       "DATOS.DAT reads as, up to the failure:\n"
       "target:\n"
       "  semi-major axis                 1.5 AU\n"
       "  inclination                     0.1 degrees\n"
       "  argument of perihelion          2 degrees\n",
       element_report("invalid number: incomprehensible list input",
                      "line 1, column 11, the target's longitude of the ascending node, at "
                      "\"\\xc2\\xb0\"")},
      {"nothing read", "x\n", "",
       element_report("invalid number: incomprehensible list input",
                      "line 1, column 1, the target's semi-major axis, at \"x\"")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const run_result result = run_check(c.elements);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.out, with_line_ends(c.out));
    EXPECT_EQ(result.err, c.err);
  }
}

TEST(EndToEnd, OptionsSayWhenStandardOutputCannotBeWritten) {
  if (PLATFORM.no_posix_processes != nullptr) GTEST_SKIP() << PLATFORM.no_posix_processes;
  const std::string full = "ephemeris: cannot write standard output: No space left on device\n";
  const struct {
    const char* argument;
    std::string elements;
    int exit_status;
    std::string err;
  } cases[] = {
      {"--help", "", 4, full},
      {"--version", "", 4, full},
      {"--check", mars_elements("2461041.5", "365"), 4, full},
      // A check that finds the run would fail says that the values it read
      // could not be shown, then gives the run's report and its status.
      {"--check", mars_elements("2461041.5", "3.0"), 2,
       full + element_report("invalid integer: read unexpected character",
                             "line 4, column 1, the day count, at \"3.0\"")},
      // Nothing read before the failure: nothing to show.
      {"--check", "x\n", 2,
       element_report("invalid number: incomprehensible list input",
                      "line 1, column 1, the target's semi-major axis, at \"x\"")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.argument) + " " + std::to_string(c.exit_status));
    temporary_directory dir;
    if (!c.elements.empty()) write_file(dir / "DATOS.DAT", c.elements);
    write_file(dir / "VESK.DAT", old_table);
    testing_support::run_options options;
    options.arguments = {c.argument};
    options.standard_output = "/dev/full";
    const run_result result = run_program(dir.path(), options);
    EXPECT_EQ(result.exit_status, c.exit_status);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(read_file(dir / "VESK.DAT"), old_table);
  }
}

TEST(EndToEnd, KeepsTheOldTableWhenNoDayIsRequested) {
  for (const std::string count : {"0", "-5"}) {
    SCOPED_TRACE(count);
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", mars_elements("2461081.5", count));
    expect_clean_success(run_program(dir.path()));
    ASSERT_TRUE(fs::exists(dir / "VESK.DAT"));
    EXPECT_EQ(read_file(dir / "VESK.DAT"), "") << "an absent table is created empty";

    write_file(dir / "VESK.DAT", old_table);
    expect_clean_success(run_program(dir.path()));
    EXPECT_EQ(read_file(dir / "VESK.DAT"), old_table);
  }
}

TEST(EndToEnd, ReplacesALongerOldTableWithExactlyTheNewRecords) {
  const std::string long_old_table(100000, 'x');
  for (const int count : {1, 3}) {
    SCOPED_TRACE(count);
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", mars_elements("2461081.5", std::to_string(count)));
    write_file(dir / "VESK.DAT", long_old_table);
    expect_clean_success(run_program(dir.path()));
    expect_table(read_file(dir / "VESK.DAT"), first_records(mars_expected_head, count));
  }
}

TEST(EndToEnd, KeepsAFractionalStartOnEveryDate) {
  temporary_directory dir;
  write_file(dir / "DATOS.DAT", mars_elements("2461081.25", "400"));
  expect_clean_success(run_program(dir.path()));
  const std::vector<double> items = items_of(read_file(dir / "VESK.DAT"));
  ASSERT_EQ(items.size(), 400U * 8);
  for (std::size_t record = 0; record < 400; ++record) {
    EXPECT_EQ(items[8 * record], 2461081.25 + static_cast<double>(record));
  }
}

struct element_failure_case {
  const char* name;
  std::string contents;  // of DATOS.DAT; empty for none at all
  std::string report;
  bool report_begins = false;  // `report` is only how the report begins
};

// The run fails with the case's report and leaves an old table as it was, or
// creates none.
void expect_refused(const element_failure_case& c) {
  SCOPED_TRACE(c.name);
  for (const bool old_table_present : {false, true}) {
    temporary_directory dir;
    if (!c.contents.empty()) write_file(dir / "DATOS.DAT", c.contents);
    if (old_table_present) write_file(dir / "VESK.DAT", old_table);
    const run_result result = run_program(dir.path());
    EXPECT_TRUE(ended_abnormally(result));
    EXPECT_EQ(result.out, "");
    if (c.report_begins) {
      EXPECT_EQ(result.err.substr(0, c.report.size()), c.report) << result.err;
    } else {
      EXPECT_EQ(result.err, c.report);
    }
    if (old_table_present) {
      EXPECT_EQ(read_file(dir / "VESK.DAT"), old_table);
    } else {
      EXPECT_FALSE(fs::exists(dir / "VESK.DAT"));
    }
  }
}

TEST(EndToEnd, ReportsElementFileFailuresAndLeavesTheTableAlone) {
  const std::string mars = data_file("mars_from_earth.dat");
  const std::string three_lines = mars.substr(0, mars.rfind("40\n"));
  const std::string two_lines = three_lines.substr(0, three_lines.rfind("2461081.5\n"));
  const std::string after_target = mars.substr(mars.find('\n') + 1);
  const auto with_count = [](const char* count) { return mars_elements("2461081.5", count); };
  const element_failure_case cases[] = {
      {"missing file", "", element_report("open: No such file or directory", "", false)},
      {"three lines", three_lines,
       element_report("list in: end of file", "after line 3, the day count")},
      {"three lines, the last unended", three_lines.substr(0, three_lines.size() - 1),
       element_report("read start: end of file", "after line 3, the day count")},
      {"syntax error", "1.5Q0 " + mars,
       element_report("invalid number: incomprehensible list input",
                      "line 1, column 4, the target's eccentricity, at \"Q0 1.52371034 0.0933\"")},
      {"missing value", ",1 2 3 4 5 6 7 8\n" + mars.substr(mars.find('\n') + 1),
       element_report("list in: no value for the target's semi-major axis", "line 1")},
      {"eccentricity out of range", "1 1.5 0 0 0 0 0 0\n" + mars.substr(mars.find('\n') + 1),
       element_report("element: the target's eccentricity 1.5 is outside [0, 1)", "line 1")},
      {"day count overflow", mars_elements("2461081.5", "2147483648"),
       element_report("invalid integer: integer overflow", "line 4")},
      // The reads' own failures before this program's checks.
      {"empty start at the very end", two_lines + "2*",
       element_report("read start: end of file", "after line 3, the day count")},
      {"empty day counts", with_count("3*"),
       element_report("list in: no value for the day count", "line 4")},
      {"empty value and bad eccentricity", ",1 1.5 0 0 0 0 0\n" + after_target,
       element_report("list in: no value for the target's semi-major axis", "line 1")},
      {"bad eccentricity and big day count",
       "1 1.5 0 0 0 0 0 0\n" + after_target.substr(0, after_target.rfind("40\n")) + "2147483648\n",
       element_report("element: the target's eccentricity 1.5 is outside [0, 1)", "line 1")},
  };
  for (const element_failure_case& c : cases) expect_refused(c);

  // The shared grammar cases, with the first line of the report as users see
  // it, spelled out here rather than taken from the program.
  const auto first_line = [](datafiles::failure_step step, const std::string& reason) {
    switch (step) {
      case datafiles::failure_step::bad_repeat:
        return "bad repetition count: " + reason;
      case datafiles::failure_step::invalid_number:
        return "invalid number: " + reason;
      case datafiles::failure_step::invalid_integer:
        return "invalid integer: " + reason;
      default:
        ADD_FAILURE() << "no report text for this step in the test";
        return std::string();
    }
  };
  // The place: somewhere on the target's line; the day count's whole line.
  for (const grammar_cases::real_failure& c : grammar_cases::REPEAT_FAILURES) {
    const std::string report =
        element_report(first_line(c.step, "incomprehensible list input"), "line 1, column ");
    const std::size_t line_end = std::string(PLATFORM.line_end).size();
    expect_refused(
        {c.name, c.text + (" " + mars), report.substr(0, report.size() - line_end), true});
  }
  for (const grammar_cases::count_failure& c : grammar_cases::DAY_COUNT_FAILURES) {
    expect_refused(
        {c.name, with_count(c.text),
         element_report(first_line(c.step, c.reason),
                        "line 4, column 1, the day count, at " + datafiles::quoted_text(c.text))});
  }
}

TEST(EndToEnd, SaysWhatAFileNotSavedAsPlainTextIsAndHowToSaveIt) {
  const std::string mars = mars_elements("2461081.5", "3");
  std::string utf16 = "\xFF\xFE";  // little-endian, with its mark
  for (const char c : mars) utf16 += std::string{c, '\0'};
  std::string cr_alone = mars;
  std::replace(cr_alone.begin(), cr_alone.end(), '\n', '\r');
  const std::string bom_place =
      R"(line 1, column 1, the target's semi-major axis, at "\xef\xbb\xbf1.52371034 0.0933")";
  const struct {
    const char* name;
    std::string contents;
    std::string report;
    std::string check_out;  // what --check prints above the report
  } cases[] = {
      {"a UTF-8 byte-order mark", "\xEF\xBB\xBF" + mars,
       element_report("invalid number: incomprehensible list input",
                      bom_place + "; the file is UTF-8 text with a byte-order mark: save it as "
                                  "plain text, without the mark"),
       ""},
      {"UTF-16", utf16,
       element_report("invalid number: incomprehensible list input",
                      R"(line 1, column 1, the target's semi-major axis, at "\xff\xfe1\x00.)"
                      R"(\x005\x002\x003\x007\x001\x000\x003\x00"; the file is UTF-16 text: )"
                      "save it as plain text (ASCII or UTF-8)"),
       ""},
      {"lines ending with CR alone", cr_alone,
       element_report("read start: end of file",
                      "after line 1, the observer's semi-major axis; the file is text, but its "
                      "lines end with CR alone: save it as plain text with LF or CR LF line ends"),
       "DATOS.DAT reads as, up to the failure:\ntarget:\n  semi-major axis                 "
       "1.52371034 AU\n"},
  };
  for (const auto& c : cases) {
    expect_refused({c.name, c.contents, c.report});
    // --check says the same, and shows the values read before the failure.
    const run_result result = run_check(c.contents);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.err, c.report);
    EXPECT_EQ(result.out.substr(0, with_line_ends(c.check_out).size()),
              with_line_ends(c.check_out));
  }
}

TEST(EndToEnd, RefusesRunsThatCouldNotWriteOnlyFiniteNumbers) {
  const std::string mars = data_file("mars_from_earth.dat");
  const std::string target = mars.substr(0, mars.find('\n') + 1);
  const std::string after_target = mars.substr(mars.find('\n') + 1);
  const std::string observer = after_target.substr(0, after_target.find('\n') + 1);
  const std::string tail = "2461081.5\n40\n";
  const element_failure_case cases[] = {
      {"tiny axis", "1E-300 0.1 0 0 0 0 2451545 0\n" + after_target,
       element_report("element: the target's semi-major axis 1e-300 is outside [1e-137, 1e153]",
                      "line 1")},
      {"huge axis", "1E160 0.1 0 0 0 0 2451545 0\n" + after_target,
       element_report("element: the target's semi-major axis 1e+160 is outside [1e-137, 1e153]",
                      "line 1")},
      {"largest axis", target + "1E300 0.1 0 0 0 0 2451545 0\n" + tail,
       element_report("element: the observer's semi-major axis 1e+300 is outside [1e-137, 1e153]",
                      "line 2")},
      {"huge angle", "1 0.1 1E308 0 0 0 2451545 0\n" + after_target,
       element_report("element: the target's inclination 1e+308 is outside [-5e307, 5e307]",
                      "line 1")},
      {"infinite mean motion", "1e-137 0.1 0 0 0 0 2451545 1E300\n" + after_target,
       element_report("element: the target's mean motion inf (from its semi-major axis and "
                      "mass) is not a finite positive number",
                      "line 1")},
      {"far epoch", "0.01 0.1 0 0 0 0 1E308 0\n" + after_target,
       element_report("element: the target's mean anomaly -inf near the first date 2461081.5 "
                      "is not finite",
                      "line 1")},
      {"huge mass, far start", target + "1 0.1 0 0 0 0 2451545 1E300\n-1E300\n40\n",
       element_report("element: the observer's mean anomaly -inf near the first date -1e+300 "
                      "is not finite",
                      "line 2")},
      {"overflow late in the run", target + "1e-137 0 0 0 0 0 2461081.5 3.4e206\n" + tail,
       element_report("element: the observer's mean anomaly inf near the last date 2461120.5 "
                      "is not finite",
                      "line 2")},
      {"the same orbit twice", target + target + tail,
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      // The same orbit in other words: one place on the first, middle and last dates.
      {"mean anomalies a turn apart",
       "1 0.5 10 20 30 90 2451545 0\n1 0.5 10 20 30 450 2451545 0\n" + tail,
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      {"a circle and a hair off it",
       "1 0 10 20 30 40 2451545 0\n1 1e-300 10 20 30 40 2451545 0\n" + tail,
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      {"mean anomalies a turn apart, the example's bodies",
       "1 0.1 0 0 0 20 2451545 0\n1 0.1 0 0 0 380 2451545 0\n2451545\n3\n",
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      {"the example's observer with its mean anomaly a turn on",
       observer + observer.substr(0, observer.find("357.52688973")) + "717.52688973" +
           observer.substr(observer.find("357.52688973") + 12) + "2461041.5\n365\n",
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      {"a circle beside an eccentricity of 1.3e-16",
       "1 0 10 20 30 40 2451545 0\n1 1.3e-16 10 20 30 40 2451545 0\n" + tail,
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      {"the same orbit at two epochs",
       "1 0.1 5 6 7 20 2451545 0\n1 0.1 5 6 7 1005.6076686014251 2452545 0\n" + tail,
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      // Inclinations of 2^-300 and 2^-700 degrees beside 0: the bodies stay
      // within far less than 2^-32 of their distance from the Sun.
      {"an inclination of 2^-300 degrees beside 0",
       "1 0.1 0 0 0 0 2451545 0\n1 0.1 4.909093465297727e-91 0 0 0 2451545 0\n2451546\n3\n",
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      {"an inclination of 2^-700 degrees beside 0",
       "1 0.1 0 0 0 0 2451545 0\n1 0.1 1.90109156629516e-211 0 0 0 2451545 0\n2451546\n3\n",
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
      {"the same orbit, masses too small to tell",
       "1 0.5 10 20 30 40 2451545 0\n1 0.5 10 20 30 40 2451545 1e-20\n" + tail,
       element_report("element: the observer's orbit is the target's: the two bodies must differ",
                      "line 2")},
  };
  for (const element_failure_case& c : cases) expect_refused(c);
}

// Element files spelt in two ways that must give the same table.
struct equivalent_spelling_case {
  const char* name;
  std::string contents;  // of DATOS.DAT
  std::string plain;     // the same values in the plainest spelling
};

TEST(EndToEnd, ReadsRepeatCountsAndValuesEndingAtAStarAsTheirPlainSpelling) {
  const std::string observer = "1 0.0167 0 103 0 357.5 2451545 3E-6\n";
  const equivalent_spelling_case cases[] = {
      {"plus-signed count",
       "1.5 +2*0.09 49.6 286.5 19.4 2451545 3.2E-7\n" + observer + "2461081.5\n3\n",
       "1.5 0.09 0.09 49.6 286.5 19.4 2451545 3.2E-7\n" + observer + "2461081.5\n3\n"},
      {"start, star", mars_elements("2460000.5*", "3"), mars_elements("2460000.5", "3")},
      {"start, star, digit", mars_elements("2460000.5*7", "3"), mars_elements("2460000.5", "3")},
      {"start with point, star", mars_elements("2460000.*", "3"), mars_elements("2460000.0", "3")},
      {"real, star, start", mars_elements("1.5*2460000.5", "3"), mars_elements("1.5", "3")},
  };
  for (const equivalent_spelling_case& c : cases) {
    SCOPED_TRACE(c.name);
    temporary_directory plain_dir;
    write_file(plain_dir / "DATOS.DAT", c.plain);
    expect_clean_success(run_program(plain_dir.path()));
    const std::string expected = read_file(plain_dir / "VESK.DAT");
    ASSERT_EQ(items_of(expected).size(), 3U * 8);
    for (const bool old_table_present : {false, true}) {
      temporary_directory dir;
      write_file(dir / "DATOS.DAT", c.contents);
      if (old_table_present) write_file(dir / "VESK.DAT", old_table);
      expect_clean_success(run_program(dir.path()));
      EXPECT_EQ(read_file(dir / "VESK.DAT"), expected);
    }
  }
}

TEST(EndToEnd, AReportedFailureLeavesNoCoreDump) {
  // As after `ulimit -c unlimited`: a typo in the element file and a failed
  // write still end with SIGABRT, but dump no core.
  if (PLATFORM.no_posix_processes != nullptr) GTEST_SKIP() << PLATFORM.no_posix_processes;
  for (const bool write_failure : {false, true}) {
    SCOPED_TRACE(write_failure ? "write failure" : "element file failure");
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", mars_elements("2461081.5", write_failure ? "3" : "3.0"));
    if (write_failure) fs::create_symlink("/dev/full", dir / "VESK.DAT");
    testing_support::run_options options;
    options.core_dumps = true;
    const run_result result = run_program(dir.path(), options);
    EXPECT_EQ(result.signal, SIGABRT);
    EXPECT_FALSE(result.core_dumped);
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path())) {
      EXPECT_NE(entry.path().filename().string().rfind("core", 0), 0U) << entry.path();
    }
  }
}

TEST(EndToEnd, ReportsAnElementFileThatCannotBeRead) {
  temporary_directory dir;
  fs::create_directory(dir / "DATOS.DAT");
  const run_result result = run_program(dir.path());
  EXPECT_TRUE(ended_abnormally(result));
  EXPECT_EQ(result.err, element_report(PLATFORM.element_directory_report,
                                       PLATFORM.element_directory_opens
                                           ? "line 1, column 1, the target's semi-major axis"
                                           : "",
                                       PLATFORM.element_directory_opens));
  EXPECT_FALSE(fs::exists(dir / "VESK.DAT"));
}

TEST(EndToEnd, ReportsATableThatOpensOnlyForReading) {
  // Root may write any file: the program then runs as user "nobody".
  temporary_directory dir;
  write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "3"));
  write_file(dir / "VESK.DAT", old_table);
  fs::permissions(dir / "VESK.DAT",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir.path(), fs::perms::all);
  const bool as_nobody = testing_support::can_run_unprivileged();
  if (!as_nobody && std::ofstream(dir / "VESK.DAT", std::ios::app)) {
    GTEST_SKIP() << "this user may write a read-only file (Wine run as root)";
  }
  const run_result result = run_program(dir.path(), {{}, as_nobody});
  EXPECT_TRUE(ended_abnormally(result));
  EXPECT_EQ(result.err, ephemeris_report("list output start: can't write file", "record 1"));
  EXPECT_EQ(read_file(dir / "VESK.DAT"), old_table);

  // With no record to write the run succeeds and the file stays as it was.
  write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "0"));
  expect_clean_success(run_program(dir.path(), {{}, as_nobody}));
  EXPECT_EQ(read_file(dir / "VESK.DAT"), old_table);
}

TEST(EndToEnd, ReportsAFailedWriteInsteadOfSucceeding) {
  if (PLATFORM.no_posix_processes != nullptr) GTEST_SKIP() << PLATFORM.no_posix_processes;
  // Three records fail when they are written out at the close; a long run
  // fails on the record that found the buffer full.
  for (const char* count : {"3", "100000"}) {
    SCOPED_TRACE(count);
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", mars_elements("2461081.5", count));
    fs::create_symlink("/dev/full", dir / "VESK.DAT");
    const run_result result = run_program(dir.path());
    EXPECT_TRUE(ended_abnormally(result));
    EXPECT_EQ(result.out, "");
    if (std::string(count) == "3") {
      EXPECT_EQ(result.err, ephemeris_report("write: No space left on device",
                                             "at the close, after record 3; the table holds no "
                                             "record"));
    } else {
      const std::string head = ephemeris_report("write: No space left on device", "record ");
      ASSERT_EQ(result.err.substr(0, head.size() - 1), head.substr(0, head.size() - 1));
      const long record = std::stol(result.err.substr(head.size() - 1));
      EXPECT_GT(record, 1);
      EXPECT_LT(record, 100000);
      EXPECT_EQ(result.err, ephemeris_report("write: No space left on device",
                                             "record " + std::to_string(record) +
                                                 "; the table holds no record"));
    }
  }
}

// Waits until the table holds records, up to 20 seconds.
void wait_for_records(const fs::path& table) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!(fs::exists(table) && fs::is_regular_file(table) && fs::file_size(table) > 0) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Starts a run of a hundred million days and waits until records appear.
std::unique_ptr<running_program> start_long_run(const fs::path& dir,
                                                const testing_support::run_options& options = {}) {
  write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "100000000"));
  auto program = std::make_unique<running_program>(dir, options);
  wait_for_records(dir / "VESK.DAT");
  return program;
}

TEST(EndToEnd, AnswersSignalsDuringALongRun) {
  // An interrupt or termination request ends the run with status 1 after the
  // table is closed; the floating-point exception and abort signals abort.
  const struct {
    int signal;
    const char* message;
    int exit_status;
    int ending_signal;
  } cases[] = {{SIGINT, "Interrupt\n", 1, 0},
               {SIGTERM, "Killed\n", 1, 0},
               {SIGFPE, "Floating Exception\n", -1, SIGABRT},
               {SIGABRT, "IOT Trap\n", -1, SIGABRT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    temporary_directory dir;
    if (!testing_support::can_send(c.signal)) {
      std::cout << "not sent here: the signal that prints " << c.message;
      continue;
    }
    const auto program = start_long_run(dir.path());
    ASSERT_TRUE(program->send(c.signal));
    const run_result result = program->wait(30);
    const bool aborted = c.ending_signal == SIGABRT;
    EXPECT_EQ(result.exit_status, aborted ? PLATFORM.abnormal_exit_status : c.exit_status);
    EXPECT_EQ(result.signal, aborted ? PLATFORM.abnormal_signal : c.ending_signal);
    EXPECT_EQ(result.err, platform_text(c.message));
    const std::string table = read_file(dir / "VESK.DAT");
    expect_whole_records(table, 2461081.5);
    expect_table(first_records(table, 3), mars_expected_head);
  }
}

// The whole table of a clean run of the Mars elements from 2461081.5.
std::string complete_table(std::size_t count) {
  temporary_directory dir;
  write_file(dir / "DATOS.DAT", mars_elements("2461081.5", std::to_string(count)));
  expect_clean_success(run_program(dir.path()));
  return read_file(dir / "VESK.DAT");
}

// What the table must be after a run in a corner.
enum class table_after {
  untouched,     // the old table, as it was
  complete,      // every record of the run
  whole_prefix,  // the first records of the run, each whole
  prefix,        // the first bytes of the run's records
};

#ifndef _WIN32
// A file descriptor closed on destruction, as a case's held resource.
std::shared_ptr<void> hold_descriptor(int descriptor) {
  return {new int(descriptor), [](void* p) {
            const int* d = static_cast<int*>(p);
            if (*d >= 0) ::close(*d);
            delete d;
          }};
}

// Reads the FIFO held open by `reader` (non-blocking), at most `piece`
// bytes at a time with `pause` between, until `size` bytes came, its writer
// closed it after sending some, or 20 seconds passed.
std::string read_pipe(int reader, std::size_t size, std::size_t piece = 65536,
                      std::chrono::milliseconds pause = std::chrono::milliseconds(2)) {
  std::string text;
  std::vector<char> chunk(piece);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (text.size() < size && std::chrono::steady_clock::now() < deadline) {
    const ssize_t n = ::read(reader, chunk.data(), std::min(piece, size - text.size()));
    if (n > 0) text.append(chunk.data(), static_cast<std::size_t>(n));
    if (n == 0 && !text.empty()) break;
    if (n <= 0 || n == static_cast<ssize_t>(piece)) std::this_thread::sleep_for(pause);
  }
  return text;
}

// Waits until the FIFO held open by `reader` holds bytes that stay as they
// are for 200 ms, its writer waiting for room, up to 20 seconds; returns how
// many it holds.
int wait_until_pipe_full(int reader) {
  int queued = 0, before = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((queued == 0 || queued != before) && std::chrono::steady_clock::now() < deadline) {
    before = queued;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::ioctl(reader, FIONREAD, &queued);
  }
  return queued;
}

// A child process that writes blanks to the FIFO `path` without a pause, until
// its reader closes it (SIGPIPE) or a minute has passed.
pid_t feed_blanks(const fs::path& path) {
  const pid_t feeder = ::fork();
  if (feeder == 0) {
    ::alarm(60);
    const int writer = ::open(path.c_str(), O_WRONLY);
    const std::string blanks(65536, ' ');
    while (writer >= 0 && ::write(writer, blanks.data(), blanks.size()) > 0) {
    }
    ::_exit(0);
  }
  return feeder;
}

// Whether process `child` ended within `seconds`; it is killed if not.
bool ended_within(pid_t child, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (::waitpid(child, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Sets a file attribute with chattr; false where the file system (or the
// user) cannot.
bool change_attribute(const fs::path& path, const char* change) {
  const std::string command =
      std::string("chattr ") + change + " '" + path.string() + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;  // NOLINT(cert-env33-c): a fixed command in a test
}

struct corner_case {
  const char* name;
  std::string count;  // days of the Mars run from 2461081.5; empty: DATOS.DAT is a FIFO
  // Sets the directory up before the run; what it returns is held until the
  // run has ended. Returning nullptr skips the case (the machine cannot).
  std::function<std::shared_ptr<void>(const fs::path& dir)> prepare;
  testing_support::run_options options;
  // Acts on the running program; gives what it read of the table from a
  // FIFO, or nothing when the table is VESK.DAT.
  std::function<std::optional<std::string>(running_program& program, const fs::path& dir)> during;
  int exit_status;
  int signal;
  std::string err;
  table_after table;
};

#endif

TEST(EndToEnd, LosesNothingInTheCorners) {
#ifdef _WIN32
  GTEST_SKIP() << PLATFORM.no_posix_processes;
#else
  const auto nothing = [](const fs::path&) { return std::make_shared<int>(0); };
  const auto with_old_table = [](const fs::path& dir) {
    write_file(dir / "VESK.DAT", old_table);
    return std::make_shared<int>(0);
  };
  const auto interrupt_when_written = [](int signal) {
    return [signal](running_program& program, const fs::path& dir) -> std::optional<std::string> {
      wait_for_records(dir / "VESK.DAT");
      ::kill(program.pid(), signal);
      return std::nullopt;
    };
  };
  const auto fifo_table = [](const fs::path& dir) -> std::shared_ptr<void> {
    if (::mkfifo((dir / "VESK.DAT").c_str(), 0644) != 0) return nullptr;
    return std::make_shared<int>(0);
  };
  // VESK.DAT a FIFO with a reader that takes nothing until told.
  auto reader = std::make_shared<int>(-1);
  const auto fifo_table_with_reader = [reader](const fs::path& dir) {
    if (::mkfifo((dir / "VESK.DAT").c_str(), 0644) != 0) return std::shared_ptr<void>();
    *reader = ::open((dir / "VESK.DAT").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return hold_descriptor(*reader);
  };
  const auto immutable = [&with_old_table](const char* attribute) {
    return [attribute, &with_old_table](const fs::path& dir) -> std::shared_ptr<void> {
      with_old_table(dir);
      const fs::path table = dir / "VESK.DAT";
      if (!change_attribute(table, attribute)) return nullptr;
      return {new fs::path(table), [attribute](void* p) {
                const auto* path = static_cast<fs::path*>(p);
                change_attribute(*path, (std::string("-") + (attribute + 1)).c_str());
                delete path;
              }};
    };
  };
  // DATOS.DAT a FIFO, beside an old table.
  const auto fifo_elements = [](const fs::path& dir) -> std::shared_ptr<void> {
    write_file(dir / "VESK.DAT", old_table);
    if (::mkfifo((dir / "DATOS.DAT").c_str(), 0644) != 0) return nullptr;
    return std::make_shared<int>(0);
  };
  const std::string interrupt = "Interrupt\n";
  const corner_case cases[] = {
      // Descriptor 2 closed: the table must not take its number and the
      // signal's message.
      {"standard error closed",
       "100000000",
       nothing,
       {{}, false, true},
       interrupt_when_written(SIGINT),
       1,
       0,
       "",
       table_after::whole_prefix},
      // Another run (here this test) holds the table's lock.
      {"the table locked by another run",
       "3",
       [](const fs::path& dir) {
         write_file(dir / "VESK.DAT", old_table);
         const int descriptor = ::open((dir / "VESK.DAT").c_str(), O_RDWR);
         if (::flock(descriptor, LOCK_EX) != 0) ADD_FAILURE() << "no lock for the test";
         return hold_descriptor(descriptor);
       },
       {},
       nullptr,
       -1,
       SIGABRT,
       ephemeris_report("open: another run is writing the file"),
       table_after::untouched},
      // The fourth buffer's write stops at the limit: the records written
      // out before it are kept, and those of it that fitted whole.
      {"a file-size limit",
       "20000",
       with_old_table,
       {{}, false, false, rlim_t{1000} * 1024},
       nullptr,
       -1,
       SIGABRT,
       ephemeris_report("write: File too large",
                        "record 10749; the table holds records 1 to 10500"),
       table_after::whole_prefix},
      // `ulimit -f 100`: the first buffer's write stops at the limit.
      {"a file-size limit within the first buffer",
       "3000",
       with_old_table,
       {{}, false, false, rlim_t{100} * 1024},
       nullptr,
       -1,
       SIGABRT,
       ephemeris_report("write: File too large", "record 2689; the table holds records 1 to 1052"),
       table_after::whole_prefix},
      // A read that waits on a FIFO fed with blanks.
      {"a stop while the element file is read",
       "",
       fifo_elements,
       {},
       [](running_program& program, const fs::path& dir) -> std::optional<std::string> {
         // Opening the writer waits for the program's reader, which it opens
         // once its handlers are in place.
         const int writer = ::open((dir / "DATOS.DAT").c_str(), O_WRONLY);
         const std::string blanks(4096, ' ');
         EXPECT_EQ(::write(writer, blanks.data(), blanks.size()), 4096);
         std::this_thread::sleep_for(std::chrono::milliseconds(200));
         ::kill(program.pid(), SIGINT);
         std::this_thread::sleep_for(std::chrono::milliseconds(200));
         ::close(writer);
         return std::nullopt;
       },
       1,
       0,
       interrupt,
       table_after::untouched},
      // A FIFO that never stops giving blanks: no read waits, and the stop
      // request is seen between the chunks read.
      {"a stop while an element file without end is read",
       "",
       fifo_elements,
       {},
       [](running_program& program, const fs::path& dir) -> std::optional<std::string> {
         const pid_t feeder = feed_blanks(dir / "DATOS.DAT");
         std::this_thread::sleep_for(std::chrono::milliseconds(300));
         ::kill(program.pid(), SIGINT);
         // The feeder ends on its own once the program has closed the FIFO.
         EXPECT_TRUE(ended_within(feeder, 20)) << "the program still reads";
         return std::nullopt;
       },
       1,
       0,
       interrupt,
       table_after::untouched},
      // A write that waits on a full FIFO: the pipe holds whole records.
      {"a stop while a write waits",
       "20000",
       fifo_table_with_reader,
       {},
       [reader](running_program& program, const fs::path&) -> std::optional<std::string> {
         EXPECT_GT(wait_until_pipe_full(*reader), 0);
         ::kill(program.pid(), SIGTERM);
         return read_pipe(*reader, SIZE_MAX);
       },
       1,
       0,
       "Killed\n",
       table_after::whole_prefix},
      // A reader that takes 1000 bytes every 2 ms, stopped while the program
      // writes: whatever write the stop cuts short, the reader gets whole
      // records.
      {"a stop while a slow reader reads",
       "3000000",
       fifo_table_with_reader,
       {},
       [reader](running_program& program, const fs::path&) -> std::optional<std::string> {
         std::string text = read_pipe(*reader, 200000, 1000);
         ::kill(program.pid(), SIGTERM);
         return text + read_pipe(*reader, SIZE_MAX, 1000);
       },
       1,
       0,
       "Killed\n",
       table_after::whole_prefix},
      // A FIFO whose reader comes late gets every record.
      {"a FIFO read late",
       "20000",
       fifo_table,
       {},
       [](running_program& program, const fs::path& dir) -> std::optional<std::string> {
         std::this_thread::sleep_for(std::chrono::milliseconds(300));
         EXPECT_EQ(::waitpid(program.pid(), nullptr, WNOHANG), 0) << "it waits for its reader";
         const int late = ::open((dir / "VESK.DAT").c_str(), O_RDONLY | O_NONBLOCK);
         const std::string text = read_pipe(late, complete_table(20000).size());
         ::close(late);
         return text;
       },
       0,
       0,
       "",
       table_after::complete},
      {"a FIFO nobody reads, stopped",
       "3",
       fifo_table,
       {},
       [](running_program& program, const fs::path&) -> std::optional<std::string> {
         std::this_thread::sleep_for(std::chrono::milliseconds(300));
         ::kill(program.pid(), SIGINT);
         return "";
       },
       1,
       0,
       interrupt,
       table_after::prefix},
      {"an immutable table, no day",
       "0",
       immutable("+i"),
       {},
       nullptr,
       0,
       0,
       "",
       table_after::untouched},
      {"an immutable table",
       "3",
       immutable("+i"),
       {},
       nullptr,
       -1,
       SIGABRT,
       ephemeris_report("list output start: can't write file", "record 1"),
       table_after::untouched},
      {"an append-only table, no day",
       "0",
       immutable("+a"),
       {},
       nullptr,
       0,
       0,
       "",
       table_after::untouched},
      {"an append-only table",
       "3",
       immutable("+a"),
       {},
       nullptr,
       -1,
       SIGABRT,
       ephemeris_report("list output start: can't write file", "record 1"),
       table_after::untouched},
  };
  for (const corner_case& c : cases) {
    SCOPED_TRACE(c.name);
    temporary_directory dir;
    const std::shared_ptr<void> held = c.prepare(dir.path());
    if (!held) {
      std::cout << "[  SKIPPED ] " << c.name << ": not supported on this machine\n";
      continue;
    }
    if (!c.count.empty()) write_file(dir / "DATOS.DAT", mars_elements("2461081.5", c.count));
    running_program program(dir.path(), c.options);
    const std::optional<std::string> piped =
        c.during ? c.during(program, dir.path()) : std::nullopt;
    const run_result result = program.wait(60);
    EXPECT_EQ(result.exit_status, c.exit_status);
    EXPECT_EQ(result.signal, c.signal);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
    const std::string table = piped ? *piped : read_file(dir / "VESK.DAT");
    switch (c.table) {
      case table_after::untouched:
        EXPECT_EQ(table, old_table);
        break;
      case table_after::complete:
        EXPECT_EQ(table, complete_table(std::stoul(c.count)));
        break;
      case table_after::whole_prefix: {
        const std::size_t records = items_of(table).size() / 8;
        ASSERT_GT(records, 0U);
        EXPECT_EQ(table, complete_table(records));
        break;
      }
      case table_after::prefix: {
        const std::string complete = complete_table(std::stoul(c.count));
        EXPECT_EQ(table, complete.substr(0, table.size()));
        break;
      }
    }
  }
#endif
}

TEST(EndToEnd, AReaderThatClosesEarlyGetsTheWriteFailureReported) {
#ifdef _WIN32
  GTEST_SKIP() << PLATFORM.no_posix_processes;
#else
  // As `head -c 1000 VESK.DAT`, once the program waits for room in the pipe.
  temporary_directory dir;
  ASSERT_EQ(::mkfifo((dir / "VESK.DAT").c_str(), 0644), 0);
  // Close-on-exec: the program must not hold a reading end itself.
  const int reader = ::open((dir / "VESK.DAT").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "20000"));
  running_program program(dir.path());
  const auto taken = static_cast<std::size_t>(wait_until_pipe_full(reader));
  const std::string got = read_pipe(reader, 1000);
  ::close(reader);
  const run_result result = program.wait(60);
  EXPECT_TRUE(ended_abnormally(result));
  const std::string complete = complete_table(20000);
  EXPECT_EQ(got, complete.substr(0, 1000));
  // The pipe took whole records, and the report counts them.
  const std::size_t records = items_of(complete.substr(0, taken)).size() / 8;
  EXPECT_EQ(complete.substr(0, taken), complete_table(records));
  const std::string head = ephemeris_report("write: Broken pipe", "record ");
  ASSERT_EQ(result.err.substr(0, head.size() - 1), head.substr(0, head.size() - 1)) << result.err;
  const std::size_t record = std::stoul(result.err.substr(head.size() - 1));
  EXPECT_GT(record, records);
  EXPECT_EQ(result.err,
            ephemeris_report("write: Broken pipe", "record " + std::to_string(record) +
                                                       "; the table holds records 1 to " +
                                                       std::to_string(records)));
#endif
}

TEST(EndToEnd, ASecondRunLeavesTheTableToTheFirst) {
  temporary_directory dir;
  const auto first = start_long_run(dir.path());
  const run_result second = run_program(dir.path());
  EXPECT_TRUE(ended_abnormally(second));
  EXPECT_EQ(second.err, ephemeris_report("open: another run is writing the file"));
  // Where an interrupt cannot be sent (Windows under Wine) the first run is
  // killed, and its table is not checked.
  const bool interrupted = testing_support::can_send(SIGINT);
  ASSERT_TRUE(first->send(interrupted ? SIGINT : SIGKILL));
  const run_result result = first->wait(30);
  if (interrupted) {
    EXPECT_EQ(result.exit_status, 1);
    const std::string table = read_file(dir / "VESK.DAT");
    EXPECT_EQ(table, complete_table(items_of(table).size() / 8));
  }

  // Runs in other directories do not meet.
  temporary_directory other;
  write_file(other / "DATOS.DAT", mars_elements("2461081.5", "3"));
  const auto again = start_long_run(dir.path());
  expect_clean_success(run_program(other.path()));
  expect_table(read_file(other / "VESK.DAT"), mars_expected_head);
}

TEST(EndToEnd, ReportsWhenMemoryRunsOutAndLeavesTheTableAlone) {
  if (PLATFORM.no_posix_processes != nullptr) GTEST_SKIP() << PLATFORM.no_posix_processes;
  if (testing_support::under_address_sanitizer())
    GTEST_SKIP() << "no address-space limit under ASan";
  // From a limit too small to start up to one that is enough: each run either
  // cannot start, is refused before the table is touched, or writes it all.
  const std::string complete = complete_table(3);
  int refused = 0, completed = 0;
  for (rlim_t limit = 1 << 20; limit <= (rlim_t{32} << 20); limit += 64 << 10) {
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "3"));
    write_file(dir / "VESK.DAT", old_table);
    const run_result result = run_program(dir.path(), {{}, false, false, RLIM_INFINITY, limit});
    const std::string table = read_file(dir / "VESK.DAT");
    if (result.exit_status == 0) {
      ++completed;
      EXPECT_EQ(table, complete) << limit;
    } else {
      EXPECT_EQ(table, old_table) << limit;
      if (result.err == ephemeris_report("open: Cannot allocate memory")) ++refused;
    }
  }
  EXPECT_GT(refused, 0) << "no limit met the buffer's allocation";
  EXPECT_GT(completed, 0);
}

// How runs and checks short of memory ended, each a report or a normal end.
class memory_outcomes {
 public:
  // Checks and counts one run (or, with `check`, one --check) of the Mars
  // elements over 3 days that found an old table, which it left as `table`.
  void add(const run_result& result, const std::string& table, bool check) {
    if (result.exit_status == 0) {
      ++normal_ends;
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(table, check ? old_table : complete_);
      return;
    }
    EXPECT_EQ(table, old_table);
    if (check) {
      EXPECT_EQ(result.exit_status, result.err == output_memory_ ? 4 : 2);
    } else {
      EXPECT_TRUE(ended_abnormally(result));
    }
    if (result.err == element_memory_) {
      ++element_buffer;
    } else if (result.err == reading_memory_) {
      ++reading;
    } else if (!check && result.err == table_memory_) {
      ++table_buffer;
    } else if (check && result.err == output_memory_) {
      ++check_text;
    } else {
      ADD_FAILURE() << "status " << result.exit_status << ", signal " << result.signal << ":\n"
                    << result.err;
    }
  }

  [[nodiscard]] std::string counts() const {
    return std::to_string(element_buffer) + " without the read buffer, " + std::to_string(reading) +
           " short while reading, " + std::to_string(table_buffer) +
           " without the output buffer, " + std::to_string(check_text) +
           " without the check's text, " + std::to_string(normal_ends) + " normal ends";
  }

  int element_buffer = 0, reading = 0, table_buffer = 0, check_text = 0, normal_ends = 0;

 private:
  const std::string complete_ = complete_table(3);
  const std::string element_memory_ =
      element_report("open: Cannot allocate memory", "", /*transfer_begun=*/false);
  const std::string reading_memory_ = element_report("list in: Cannot allocate memory", "");
  const std::string table_memory_ = ephemeris_report("open: Cannot allocate memory");
  const std::string output_memory_ =
      "ephemeris: cannot write standard output: Cannot allocate memory\n";
};

// Runs the program, or with `check` a --check, on the Mars elements over 3
// days beside an old table, and leaves the table it leaves in `table`. "@DIR@"
// in the options' environment stands for the directory of the run; `marked`,
// if given, says whether the run left a file named "marked" there.
run_result run_beside_old_table(testing_support::run_options options, bool check,
                                std::string& table, bool* marked = nullptr) {
  temporary_directory dir;
  write_file(dir / "DATOS.DAT", mars_elements("2461081.5", "3"));
  write_file(dir / "VESK.DAT", old_table);
  if (check) options.arguments = {"--check"};
  for (std::string& setting : options.environment) {
    const std::size_t here = setting.find("@DIR@");
    if (here != std::string::npos) setting.replace(here, 5, dir.path().string());
  }
  const run_result result = run_program(dir.path(), options);
  table = read_file(dir / "VESK.DAT");
  if (marked != nullptr) *marked = fs::exists(dir / "marked");
  return result;
}

TEST(EndToEnd, AtEveryMemoryLimitARunOrACheckEndsWithAReportOrNormally) {
  if (PLATFORM.no_posix_processes != nullptr) GTEST_SKIP() << PLATFORM.no_posix_processes;
  if (testing_support::under_address_sanitizer())
    GTEST_SKIP() << "no address-space limit under ASan";
  const auto run_under = [](rlim_t limit, bool check, std::string& table) {
    testing_support::run_options options;
    options.address_space_limit = limit;
    return run_beside_old_table(options, check, table);
  };
  // The lowest limit, in steps of 64 KiB, at which the program starts at all:
  // below it the dynamic loader fails (status 127).
  std::string table;
  rlim_t lowest = rlim_t{1} << 20;
  while (lowest < (rlim_t{64} << 20) && run_under(lowest, false, table).exit_status == 127) {
    lowest += 64 << 10;
  }
  memory_outcomes outcomes;
  // From a step below it, in steps of 4 KiB, to 1 MiB above.
  for (rlim_t limit = lowest - (64 << 10); limit <= lowest + (1 << 20); limit += 4 << 10) {
    for (const bool check : {false, true}) {
      SCOPED_TRACE(testing::Message() << limit / 1024 << " KiB" << (check ? ", --check" : ""));
      const run_result result = run_under(limit, check, table);
      if (result.exit_status == 127) {
        EXPECT_LT(limit, lowest + (64 << 10)) << "the program no longer starts: " << result.err;
        continue;
      }
      outcomes.add(result, table, check);
    }
  }
  std::cout << "from " << lowest / 1024 << " KiB: " << outcomes.counts() << "\n";
  EXPECT_GT(outcomes.element_buffer, 0) << "no limit met the element file's read buffer";
  EXPECT_GT(outcomes.table_buffer, 0) << "no limit met the output buffer";
  EXPECT_GT(outcomes.normal_ends, 0);
}

TEST(EndToEnd, WhicheverAllocationFailsARunOrACheckEndsWithAReportOrNormally) {
#ifndef EPHEMERIS_FAILING_MALLOC
  GTEST_SKIP() << PLATFORM.no_posix_processes;
#else
  if (testing_support::under_address_sanitizer())
    GTEST_SKIP() << "ASan's allocator must come first; it cannot be preloaded over";
  // The k-th allocation of the process fails, for k = 1, 2, ... until one
  // beyond the last: each fails once, the C library's own and the loader's
  // included.
  memory_outcomes outcomes;
  for (const bool check : {false, true}) {
    for (long k = 1;; ++k) {
      SCOPED_TRACE(testing::Message() << "allocation " << k << (check ? ", --check" : ""));
      ASSERT_LT(k, 100000) << "allocations without end";
      testing_support::run_options options;
      options.environment = {std::string("LD_PRELOAD=") + EPHEMERIS_FAILING_MALLOC,
                             "EPHEMERIS_FAILING_MALLOC=" + std::to_string(k) + ":@DIR@/marked"};
      std::string table;
      bool failed = false;
      const run_result result = run_beside_old_table(options, check, table, &failed);
      if (result.exit_status == 127) continue;  // the loader's own allocation
      outcomes.add(result, table, check);
      if (!failed) break;  // beyond the last allocation
    }
  }
  std::cout << outcomes.counts() << "\n";
  EXPECT_GT(outcomes.reading, 0) << "no allocation while reading failed";
  EXPECT_GT(outcomes.check_text, 0) << "no allocation of the check's text failed";
#endif
}

TEST(EndToEnd, WhicheverAllocationFailsAFailingFileKeepsItsOwnReport) {
#ifndef EPHEMERIS_FAILING_MALLOC
  GTEST_SKIP() << PLATFORM.no_posix_processes;
#else
  if (testing_support::under_address_sanitizer())
    GTEST_SKIP() << "ASan's allocator must come first; it cannot be preloaded over";
  // A file the run refuses gets its own report whichever allocation fails,
  // unless memory ran out first, before the file was read: never a report of
  // memory while reading a file that was never opened, and never a --check
  // without its report.
  const std::string mars = mars_elements("2461081.5", "3");
  const struct {
    const char* name;
    std::string elements;  // "" for no element file
    std::string report;
    bool opens;
  } files[] = {
      {"no element file", "",
       element_report("open: No such file or directory", "", /*transfer_begun=*/false), false},
      {"an eccentricity of 1.5", "1 1.5 0 0 0 0 0 0\n" + mars.substr(mars.find('\n') + 1),
       element_report("element: the target's eccentricity 1.5 is outside [0, 1)", "line 1"), true},
  };
  const std::string memory_at_open =
      element_report("open: Cannot allocate memory", "", /*transfer_begun=*/false);
  const std::string memory_while_reading = element_report("list in: Cannot allocate memory", "");
  const std::string no_values = "ephemeris: cannot write standard output: Cannot allocate memory\n";
  for (const auto& file : files) {
    for (const bool check : {false, true}) {
      int own_reports = 0;
      for (long k = 1;; ++k) {
        SCOPED_TRACE(testing::Message()
                     << file.name << ", allocation " << k << (check ? ", --check" : ""));
        ASSERT_LT(k, 100000) << "allocations without end";
        temporary_directory dir;
        if (!file.elements.empty()) write_file(dir / "DATOS.DAT", file.elements);
        testing_support::run_options options;
        if (check) options.arguments = {"--check"};
        options.environment = {
            std::string("LD_PRELOAD=") + EPHEMERIS_FAILING_MALLOC,
            "EPHEMERIS_FAILING_MALLOC=" + std::to_string(k) + ":" + (dir / "marked").string()};
        const run_result result = run_program(dir.path(), options);
        if (result.exit_status == 127) continue;  // the loader's own allocation
        if (check) {
          EXPECT_EQ(result.exit_status, 2);
        } else {
          EXPECT_TRUE(ended_abnormally(result));
        }
        EXPECT_FALSE(fs::exists(dir / "VESK.DAT"));
        // A check may say first that the values it read could not be shown.
        std::string report = result.err;
        if (check && report.rfind(no_values, 0) == 0) report.erase(0, no_values.size());
        own_reports += report == file.report;
        EXPECT_TRUE(report == file.report || report == memory_at_open ||
                    (file.opens && report == memory_while_reading))
            << result.err;
        if (!fs::exists(dir / "marked")) break;  // beyond the last allocation
      }
      EXPECT_GT(own_reports, 0) << file.name;
    }
  }
#endif
}

TEST(EndToEnd, SeparationsSoSmallThatTheirSquaresUnderflowStillGiveTheAngles) {
  // Two orbits that differ in their mass, and so in their mean motion, apart
  // by more than 8e-6 AU on the first and last dates and meeting all but
  // exactly at the epoch, the middle date, where the observer's mean anomaly
  // of 2^-300 or 2^-700 degrees puts it off the target along the y axis. The
  // second run's separation there is 2^-400 times the first's and its squares
  // underflow: the angles are the same text and the distance is scaled.
  const auto table = [](const char* mean_anomaly) {
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", std::string("1 0.1 0 0 0 0 2451545 0\n1 0.1 0 0 0 ") +
                                      mean_anomaly + " 2451545 0.001\n2451544\n3\n");
    expect_clean_success(run_program(dir.path()));
    return read_file(dir / "VESK.DAT");
  };
  const std::string large = table("4.909093465297727e-91");
  const std::string tiny = table("1.90109156629516e-211");
  std::istringstream large_words(large), tiny_words(tiny);
  int items = 0;
  for (std::string l, t; large_words >> l && tiny_words >> t; ++items) {
    if (items == 8 + 4) {
      EXPECT_NEAR(std::stod(t) / std::stod(l), 0x1p-400, 1e-8 * 0x1p-400) << l << " " << t;
      EXPECT_GT(std::stod(t), 0);
    } else {
      EXPECT_EQ(t, l) << "item " << items;
    }
  }
  EXPECT_EQ(items, 3 * 8);
  EXPECT_EQ(tiny.find("NAN"), std::string::npos) << tiny;
}

}  // namespace
