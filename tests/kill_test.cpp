// Stops runs of the real program at random moments, by SIGKILL, SIGINT and
// SIGTERM, each over an old table, and checks what the table holds afterwards
// against the complete table of the same run.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::run_result;
using testing_support::running_program;
using testing_support::temporary_directory;
using testing_support::write_file;

// About 0.1 s and 12 MB of records in a release build: long enough for kills
// to land before the first record, while records wait in the output buffer
// and in the middle of its large writes, short enough to be run many times.
constexpr int DAYS = 120000;
constexpr std::uint64_t SEED = 20260101;

// The example's two bodies from 2026 on, for DAYS days.
std::string element_file() {
  const std::string example = read_file(fs::path(EPHEMERIS_SOURCE_DIR) / "examples" / "DATOS.DAT");
  const std::size_t second_line_end = example.find('\n', example.find('\n') + 1);
  return example.substr(0, second_line_end + 1) + "2461041.5\n" + std::to_string(DAYS) + "\n";
}

// What a stopped run left in the table.
enum class leftover {
  old_table,       // the old table, untouched
  emptied,         // empty: the old contents removed, no record written yet
  cut_record,      // a prefix of the new table ending inside a record
  whole_records,   // a prefix of the new table ending at a record's end
  complete_table,  // the whole new table
  something_else,  // anything else: a fault
};

const char* leftover_name(leftover kind) {
  switch (kind) {
    case leftover::old_table:
      return "old table untouched";
    case leftover::emptied:
      return "emptied";
    case leftover::cut_record:
      return "cut inside a record";
    case leftover::whole_records:
      return "whole records";
    case leftover::complete_table:
      return "complete";
    case leftover::something_else:
      break;
  }
  return "something else";
}

// The byte offsets at which the records of `table` end (each record's eighth
// value is followed by its line end).
std::vector<std::size_t> record_ends(const std::string& table) {
  std::vector<std::size_t> ends;
  std::size_t values = 0;
  bool in_value = false;
  for (std::size_t k = 0; k < table.size(); ++k) {
    const bool blank = table[k] == ' ' || table[k] == '\r' || table[k] == '\n';
    if (!blank && !in_value) ++values;
    in_value = !blank;
    if (table[k] == '\n' && values % 8 == 0) ends.push_back(k + 1);
  }
  return ends;
}

class KilledRuns : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Two whole runs: the same table, and the shorter time is the run's length.
    for (int run = 0; run < 2; ++run) {
      temporary_directory dir;
      write_file(dir / "DATOS.DAT", element_file());
      const auto start = std::chrono::steady_clock::now();
      const run_result result = testing_support::run_program(dir.path());
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      ASSERT_EQ(result.exit_status, 0) << result.err;
      const std::string table = read_file(dir / "VESK.DAT");
      if (run == 0) complete = table;
      ASSERT_EQ(table, complete);
      run_seconds = run == 0 ? seconds : std::min(run_seconds, seconds);
    }
    ends = record_ends(complete);
    ASSERT_EQ(ends.size(), static_cast<std::size_t>(DAYS));
    ASSERT_EQ(ends.back(), complete.size());
    old_table = OLD_TABLE_TEXT;
    old_table.resize(complete.size() + 4096, '\0');
  }

  // Writes the old table: a recognisable text extended with zeros beyond the
  // new table's length, so that any of it left behind shows. The extension
  // is made as a hole, which costs no writing.
  static void write_old_table(const fs::path& path) {
    write_file(path, OLD_TABLE_TEXT);
    fs::resize_file(path, old_table.size());
  }

  static void TearDownTestSuite() {
    complete.clear();
    old_table.clear();
    ends.clear();
  }

  static leftover classify(const std::string& table) {
    if (table == old_table) return leftover::old_table;
    if (table == complete) return leftover::complete_table;
    if (table.empty()) return leftover::emptied;
    if (table.size() > complete.size() || complete.compare(0, table.size(), table) != 0) {
      return leftover::something_else;
    }
    return std::binary_search(ends.begin(), ends.end(), table.size()) ? leftover::whole_records
                                                                      : leftover::cut_record;
  }

  // Starts a run over the old table, sends `signal_number` after `delay`
  // seconds, waits for the end and returns the result and what the table holds.
  static std::pair<run_result, leftover> stop_run(int signal_number, double delay) {
    temporary_directory dir;
    write_file(dir / "DATOS.DAT", element_file());
    write_old_table(dir / "VESK.DAT");
    running_program program(dir.path());
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    program.send(signal_number);
    const run_result result = program.wait(60);
    return {result, classify(read_file(dir / "VESK.DAT"))};
  }

  // Random moments over the whole run, a quarter of them within its first
  // twentieth (start-up, the first records, the first write).
  static std::vector<double> random_delays(int count, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> early(0, run_seconds / 20);
    std::uniform_real_distribution<double> any(0, run_seconds);
    std::vector<double> delays;
    delays.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) delays.push_back(k % 4 == 0 ? early(random) : any(random));
    return delays;
  }

  static void print_tally(const char* signal_name, const std::vector<leftover>& seen) {
    std::cout << signal_name << " at " << seen.size() << " moments of a " << run_seconds
              << " s run:";
    for (const leftover kind :
         {leftover::old_table, leftover::emptied, leftover::whole_records, leftover::cut_record,
          leftover::complete_table, leftover::something_else}) {
      std::cout << " " << std::count(seen.begin(), seen.end(), kind) << " " << leftover_name(kind)
                << ";";
    }
    std::cout << "\n";
  }

  static inline double run_seconds = 0;
  static inline std::string complete;           // the table of the whole run
  static inline std::vector<std::size_t> ends;  // its records' end offsets
  static inline std::string old_table;          // as write_old_table() writes it
  static constexpr const char* OLD_TABLE_TEXT =
      "old contents of the table, which no stopped run may keep any part of\n";
};

TEST_F(KilledRuns, LeaveTheOldTableOrAPrefixOfTheNewOne) {
  // The kernel may stop a large write between pages, so a kill can cut a
  // record; it never leaves old bytes behind new ones.
  std::vector<leftover> seen;
  for (const double delay : random_delays(32, SEED)) {
    SCOPED_TRACE("SIGKILL after " + std::to_string(delay) + " s");
    const auto [result, kind] = stop_run(SIGKILL, delay);
    seen.push_back(kind);
    EXPECT_NE(kind, leftover::something_else);
    if (result.signal == SIGKILL) continue;
    // The run was over before the kill arrived.
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(kind, leftover::complete_table);
  }
  print_tally("SIGKILL", seen);
}

TEST_F(KilledRuns, InterruptAndTerminationLeaveWholeRecords) {
  const struct {
    int signal_number;
    const char* name;
    const char* message;
  } cases[] = {{SIGINT, "SIGINT", "Interrupt\n"}, {SIGTERM, "SIGTERM", "Killed\n"}};
  for (const auto& c : cases) {
    if (!testing_support::can_send(c.signal_number)) {
      std::cout << c.name << " cannot be sent here\n";
      continue;
    }
    std::vector<leftover> seen;
    for (const double delay : random_delays(12, SEED + static_cast<unsigned>(c.signal_number))) {
      SCOPED_TRACE(std::string(c.name) + " after " + std::to_string(delay) + " s");
      const auto [result, kind] = stop_run(c.signal_number, delay);
      seen.push_back(kind);
      if (result.signal == c.signal_number) {
        // Before the handlers were in place: nothing was written.
        EXPECT_EQ(kind, leftover::old_table);
      } else if (result.exit_status == 1) {
        EXPECT_EQ(result.err, testing_support::platform_text(c.message));
        // A run that stops once it has emptied the table writes the record
        // in hand: never an empty table, never a cut record. A request during
        // the last records finds the table complete.
        EXPECT_TRUE(kind == leftover::old_table || kind == leftover::whole_records ||
                    kind == leftover::complete_table)
            << leftover_name(kind);
      } else {
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(kind, leftover::complete_table);
      }
    }
    print_tally(c.name, seen);
  }
}

}  // namespace
