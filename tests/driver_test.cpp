// The driver's own pieces: calendar dates, the command line, and what --check
// notes and prints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "datafiles/element_file.h"
#include "driver/calendar.h"
#include "driver/check.h"
#include "driver/command_line.h"
#include "driver/console.h"
#include "platform.h"
#include "test_support.h"

namespace {

using driver::calendar_text;
using driver::to_calendar;

TEST(Calendar, GivesTheProlepticGregorianDateToTheMinute) {
  // Checked with Python's datetime: datetime(2000, 1, 1, 12) + timedelta(days=jd - 2451545).
  const struct {
    double jd;
    const char* text;
  } cases[] = {
      {2461041.5, "2026-01-01 00:00"},
      {2451545.0, "2000-01-01 12:00"},
      {2299160.5, "1582-10-15 00:00"},
      {2451603.5, "2000-02-29 00:00"},  // a leap day of a 400th year
      {2415079.5, "1900-03-01 00:00"},  // 1900 has no leap day
      {1721425.5, "0001-01-01 00:00"},
      {2488069.5, "2100-01-01 00:00"},
      {2461405.5, "2026-12-31 00:00"},
      {2461041.9999999, "2026-01-01 12:00"},  // 11:59:59.99 rounds up
      {2461042.4999999, "2026-01-02 00:00"},  // and into the next day
      {5373484.499, "9999-12-31 23:59"},      // 23:58:33.6
      {0.0, "-4713-11-24 12:00"},             // Julian date 0: 4714 BC
      {202.6, "-4712-06-14 02:24"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jd);
    EXPECT_EQ(calendar_text(to_calendar(c.jd)), c.text);
  }
  EXPECT_EQ(calendar_text(to_calendar(INFINITY)), "no calendar date");
  EXPECT_EQ(calendar_text(to_calendar(NAN)), "no calendar date");
  EXPECT_EQ(calendar_text(to_calendar(-2e11)), "no calendar date");
}

TEST(Calendar, ConsecutiveDaysAreConsecutiveDates) {
  // Over wide random spans: each day's date follows the day before's by the
  // Gregorian rules, so no cycle boundary loses or repeats a day.
  std::mt19937_64 random(20260101);
  std::uniform_real_distribution<double> start(-1e10, 1e10);
  const long spans = testing_support::environment_number("EPHEMERIS_CALENDAR_SPANS", 200);
  for (long span = 0; span < spans; ++span) {
    double jd = std::floor(start(random)) + 0.5;
    auto before = *to_calendar(jd);
    for (int day = 0; day < 1000; ++day) {
      jd += 1;
      const auto date = *to_calendar(jd);
      SCOPED_TRACE(jd);
      const bool leap = before.year % 4 == 0 && (before.year % 100 != 0 || before.year % 400 == 0);
      const int month_days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
      if (before.day < month_days[before.month - 1]) {
        ASSERT_EQ(date.year, before.year);
        ASSERT_EQ(date.month, before.month);
        ASSERT_EQ(date.day, before.day + 1);
      } else if (before.month < 12) {
        ASSERT_EQ(date.year, before.year);
        ASSERT_EQ(date.month, before.month + 1);
        ASSERT_EQ(date.day, 1);
      } else {
        ASSERT_EQ(date.year, before.year + 1);
        ASSERT_EQ(date.month, 1);
        ASSERT_EQ(date.day, 1);
      }
      ASSERT_EQ(date.hour, 0);
      ASSERT_EQ(date.minute, 0);
      before = date;
    }
  }
}

TEST(CommandLine, AnOptionCountsOnlyAsTheOnlyArgumentAndAnUnknownOneIsAnError) {
  using driver::command;
  const std::string see_help = "; ephemeris --help lists the options";
  const struct {
    std::vector<const char*> words;  // after the program's name
    command expected;
    std::string complaint;  // for command::usage
  } cases[] = {
      {{}, command::run, ""},
      {{"--help"}, command::help, ""},
      {{"-h"}, command::help, ""},
      {{"--version"}, command::version, ""},
      {{"--check"}, command::check, ""},
      // Arguments that are no option are ignored, "-" alone included.
      {{"DATOS.DAT"}, command::run, ""},
      {{"comet.dat", "x", "-"}, command::run, ""},
      {{"-"}, command::run, ""},
      {{""}, command::run, ""},
      // Unknown options, alone or not, whatever follows.
      {{"--chek"}, command::usage, "ephemeris: unknown option '--chek'" + see_help},
      {{"-c"}, command::usage, "ephemeris: unknown option '-c'" + see_help},
      {{"-V"}, command::usage, "ephemeris: unknown option '-V'" + see_help},
      {{"-help"}, command::usage, "ephemeris: unknown option '-help'" + see_help},
      {{"--Check"}, command::usage, "ephemeris: unknown option '--Check'" + see_help},
      {{"--"}, command::usage, "ephemeris: unknown option '--'" + see_help},
      {{"x", "--chek", "--check"}, command::usage, "ephemeris: unknown option '--chek'" + see_help},
      // A known option beside anything else: the first option found is named.
      {{"--check", "DATOS.DAT"},
       command::usage,
       "ephemeris: '--check' must be the only argument" + see_help},
      {{"--version", "--check"},
       command::usage,
       "ephemeris: '--version' must be the only argument" + see_help},
      {{"x", "--check"},
       command::usage,
       "ephemeris: '--check' must be the only argument" + see_help},
      {{"-h", "--bogus"}, command::usage, "ephemeris: '-h' must be the only argument" + see_help},
      {{"--help", "--help"},
       command::usage,
       "ephemeris: '--help' must be the only argument" + see_help},
      // "/?" asks for help on Windows alone; elsewhere it is no option.
      {{"/?"},
       testing_support::PLATFORM.slash_question_mark_is_help ? command::help : command::run,
       ""},
      {{"/?", "--help"},
       command::usage,
       testing_support::PLATFORM.slash_question_mark_is_help
           ? "ephemeris: '/?' must be the only argument" + see_help
           : "ephemeris: '--help' must be the only argument" + see_help},
      {{"/h"}, command::run, ""},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv{"ephemeris"};
    argv.insert(argv.end(), c.words.begin(), c.words.end());
    SCOPED_TRACE(c.words.empty() ? "(none)" : c.words[0]);
    const driver::command_line line =
        driver::parse_command_line(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(line.what, c.expected);
    EXPECT_EQ(line.complaint, c.complaint);
  }
}

TEST(Console, WaitsForEnterOnlyAsItsConsolesOnlyProcessReadingFromIt) {
  const struct {
    const char* started;
    driver::console_facts facts;
    bool waits;
  } cases[] = {
      {"from Explorer", {1, true}, true},
      {"from Explorer, its input redirected", {1, false}, false},
      {"from a Command Prompt or PowerShell", {2, true}, false},
      {"from a batch file in a Command Prompt", {3, true}, false},
      {"from a Command Prompt, its input redirected", {2, false}, false},
      {"without a console", {0, false}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.started);
    EXPECT_EQ(driver::should_wait_for_enter(c.facts), c.waits);
  }
}

TEST(Check, ARunWithoutRecordsHasNoDates) {
  for (const std::int32_t count : {0, -3}) {
    const driver::record_dates dates = driver::run_dates({2461041.5, count});
    EXPECT_TRUE(std::isnan(dates.first));
    EXPECT_TRUE(std::isnan(dates.last));
  }
  const driver::record_dates dates = driver::run_dates({0.1, 3});
  EXPECT_EQ(dates.first, (0.1 - 1) + 1);  // not 0.1: the run's first sum
  EXPECT_EQ(dates.last, ((0.1 - 1) + 1 + 1) + 1);
}

}  // namespace
