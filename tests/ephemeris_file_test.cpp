#include "datafiles/ephemeris_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "datafiles/list_output.h"
#include "platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using datafiles::ephemeris_file;
using datafiles::io_failure;
using testing_support::read_file;
using testing_support::run_in_child;
using testing_support::write_file;

// A record for day n, with items of varying lengths.
orbit::ephemeris_record day(int n) {
  return {2460000.5 + n, n % 24 + 0.123456789, -45 + n % 90 / 3.0, 1.5 + n * 1e-7,
          1.0 / (n + 1), 180.0 * n / (n + 7),  1e-6 * n,           n % 2 == 0 ? 0.0 : 0.5};
}

// The text of days [0, count), each record formatted on its own.
std::string days_text(int count) {
  std::string text;
  char buffer[datafiles::MAX_RECORD_SIZE];
  for (int n = 0; n < count; ++n) text.append(buffer, datafiles::format_record(day(n), buffer));
  return text;
}

// Enough records (each is over 64 bytes) to fill the buffer four times.
constexpr int SEVERAL_BUFFERS = static_cast<int>(4 * datafiles::EPHEMERIS_BUFFER_SIZE / 64);

// "step: reason", after checking what every ephemeris failure carries.
std::string describe(const std::optional<io_failure>& failure) {
  if (!failure) return "no failure";
  EXPECT_EQ(failure->unit, datafiles::io_unit::ephemeris);
  EXPECT_TRUE(failure->transfer_begun);
  return std::string(step_text(failure->step)) + ": " + std::string(failure->reason_text());
}

class EphemerisFile : public testing::Test {
 protected:
  void SetUp() override {
    directory_ = scratch_.path();
    path_ = directory_ / "VESK.DAT";
  }

  // Opens `path`, failing the test if it does not open.
  static ephemeris_file open(const fs::path& path) {
    auto opened = datafiles::open_ephemeris(path.string().c_str());
    if (!opened) {
      throw std::runtime_error("open failed: " + std::string(step_text(opened.failure().step)) +
                               ": " + std::string(opened.failure().reason_text()));
    }
    return std::move(opened).value();
  }

  // Writes days [0, count) to `path` and closes it; returns the first failure.
  static std::string write_days(const fs::path& path, int count) {
    ephemeris_file file = open(path);
    for (int n = 0; n < count; ++n) {
      if (auto failure = file.write_record(day(n))) return describe(failure);
    }
    return describe(datafiles::close_ephemeris(file));
  }

  testing_support::temporary_directory scratch_;
  fs::path directory_;
  fs::path path_;
};

TEST_F(EphemerisFile, WithNoRecordAnAbsentFileIsCreatedEmptyAndAnOldOneKept) {
  EXPECT_EQ(write_days(path_, 0), "no failure");
  ASSERT_TRUE(fs::exists(path_));
  EXPECT_EQ(fs::file_size(path_), 0u);

  const std::string old_text = std::string("old\r\ncontents\0\xff without a line end", 31);
  write_file(path_, old_text);
  EXPECT_EQ(write_days(path_, 0), "no failure");
  EXPECT_EQ(read_file(path_), old_text);
}

TEST_F(EphemerisFile, RecordsReplaceALongerOldFile) {
  for (const int count : {1, 3}) {
    SCOPED_TRACE(count);
    write_file(path_, days_text(50));
    ephemeris_file file = open(path_);
    EXPECT_EQ(read_file(path_), days_text(50)) << "opening emptied the file";
    ASSERT_EQ(file.write_record(day(0)), std::nullopt);
    EXPECT_EQ(read_file(path_), "") << "the old contents outlived the first record";
    for (int n = 1; n < count; ++n) ASSERT_EQ(file.write_record(day(n)), std::nullopt);
    EXPECT_EQ(describe(file.close()), "no failure");
    EXPECT_EQ(read_file(path_), days_text(count));
    EXPECT_EQ(describe(file.close()), "no failure") << "a second close";
  }
}

TEST_F(EphemerisFile, WritesOnlyWholeRecordsAsTheBufferFills) {
  const std::string expected = days_text(SEVERAL_BUFFERS);
  ASSERT_GT(expected.size(), 3 * datafiles::EPHEMERIS_BUFFER_SIZE);

  ephemeris_file file = open(path_);
  std::uintmax_t size_on_disk = 0;
  int flushes = 0;
  for (int n = 0; n < SEVERAL_BUFFERS; ++n) {
    ASSERT_EQ(file.write_record(day(n)), std::nullopt);
    if (fs::file_size(path_) != size_on_disk) {
      ++flushes;
      const std::string text = read_file(path_);
      size_on_disk = text.size();
      // Everything up to day n - 1 is out; day n is the first record queued.
      ASSERT_EQ(text, days_text(n)) << "after flush " << flushes;
    }
  }
  EXPECT_GE(flushes, 3);
  EXPECT_EQ(describe(file.close()), "no failure");
  EXPECT_EQ(read_file(path_), expected);
}

TEST_F(EphemerisFile, AbandonWritesTheQueuedRecordsAndCloses) {
  write_file(path_, days_text(20));
  {
    ephemeris_file file = open(path_);
    for (int n = 0; n < 3; ++n) ASSERT_EQ(file.write_record(day(n)), std::nullopt);
    file.abandon();
    EXPECT_EQ(read_file(path_), days_text(3));
    EXPECT_EQ(describe(file.close()), "no failure");
  }
  {
    ephemeris_file file = open(path_);
    ASSERT_EQ(file.write_record(day(0)), std::nullopt);
  }  // the destructor abandons the file
  EXPECT_EQ(read_file(path_), days_text(1));
}

TEST_F(EphemerisFile, DevicesAreNeitherEmptiedNorCut) {
#ifdef _WIN32
  GTEST_SKIP() << testing_support::PLATFORM.no_posix_processes;
#else
  EXPECT_EQ(write_days("/dev/null", SEVERAL_BUFFERS), "no failure");
  // A full device fails at the first write out: at close for a few records,
  // at a buffer's end for many.
  EXPECT_EQ(write_days("/dev/full", 3), "write: No space left on device");
  EXPECT_EQ(write_days("/dev/full", SEVERAL_BUFFERS), "write: No space left on device");
#endif
}

TEST_F(EphemerisFile, OpenFailuresNameTheSystemError) {
  const struct {
    fs::path path;
    const char* expected;
  } cases[] = {
      {directory_ / "missing" / "VESK.DAT", "open: No such file or directory"},
      {directory_, testing_support::PLATFORM.table_directory_report},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto opened = datafiles::open_ephemeris(c.path.string().c_str());
    ASSERT_FALSE(opened);
    EXPECT_EQ(describe(opened.failure()), c.expected);
  }
  EXPECT_FALSE(fs::exists(directory_ / "missing"));
}

TEST_F(EphemerisFile, OneWriterAtATimeForAFileButNotForADevice) {
  struct one_writer_case {
    fs::path path;
    const char* second;  // the second open while the first is held
  };
  std::vector<one_writer_case> cases = {{path_, "open: another run is writing the file"}};
  if (testing_support::PLATFORM.no_posix_processes == nullptr) {
    cases.push_back({"/dev/null", "no failure"});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto first = datafiles::open_ephemeris(c.path.string().c_str());
    ASSERT_TRUE(first);
    auto second = datafiles::open_ephemeris(c.path.string().c_str());
    EXPECT_EQ(second ? "no failure" : describe(second.failure()), std::string(c.second));
    EXPECT_FALSE(first.value().close());
    // Once the first is closed the file is free again.
    auto third = datafiles::open_ephemeris(c.path.string().c_str());
    EXPECT_TRUE(third);
  }
}

TEST_F(EphemerisFile, AReadOnlyFileOpensButRefusesTheFirstRecord) {
#ifdef _WIN32
  GTEST_SKIP() << testing_support::PLATFORM.no_posix_processes;
#else
  const std::string old_text = days_text(5);
  write_file(path_, old_text);
  ::chmod(path_.c_str(), 0444);
  ::chmod(directory_.c_str(), 0755);
  const std::string outcome = run_in_child([&]() -> std::string {
    // Root ignores file permissions: run this as nobody.
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return "skip";
    if (::access(path_.c_str(), W_OK) == 0) return "skip";
    auto opened = datafiles::open_ephemeris(path_.c_str());
    if (!opened) return "open failed: " + std::string(opened.failure().reason_text());
    auto& file = opened.value();
    std::string text = describe(file.write_record(day(0)));
    text += " / close: " + describe(file.close());
    return text;
  });
  if (outcome == "skip") GTEST_SKIP() << "cannot take away write permission from this user";
  EXPECT_EQ(outcome, "list output start: can't write file / close: no failure");
  EXPECT_EQ(read_file(path_), old_text);
#endif
}

TEST_F(EphemerisFile, AFailedWriteLeavesNoPartialRecord) {
#ifdef _WIN32
  GTEST_SKIP() << testing_support::PLATFORM.no_posix_processes;
#else
  // A file size limit half-way through the second buffer makes its write
  // partial and then fail: the whole records that went out are kept, and
  // counted.
  const rlim_t limit = datafiles::EPHEMERIS_BUFFER_SIZE + datafiles::EPHEMERIS_BUFFER_SIZE / 2;
  const std::string outcome = run_in_child([&]() -> std::string {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit size_limit{limit, limit};
    if (::setrlimit(RLIMIT_FSIZE, &size_limit) != 0) return "setrlimit failed";
    ephemeris_file file = open(path_);
    for (int n = 0; n < SEVERAL_BUFFERS; ++n) {
      if (auto failure = file.write_record(day(n))) {
        file.abandon();  // tries again, and fails again
        return describe(failure) + "; " + std::to_string(file.records_written());
      }
    }
    return "no failure";
  });
  const std::string text = read_file(path_);
  ASSERT_GT(text.size(), limit - datafiles::MAX_RECORD_SIZE) << "every record that fitted is kept";
  ASSERT_LE(text.size(), limit);
  // The file is days [0, k) for some k.
  std::size_t whole = 0;
  int records = 0;
  char buffer[datafiles::MAX_RECORD_SIZE];
  for (; whole < text.size(); ++records) whole += datafiles::format_record(day(records), buffer);
  EXPECT_EQ(whole, text.size()) << "the file ends inside a record";
  EXPECT_EQ(text, days_text(SEVERAL_BUFFERS).substr(0, text.size()));
  EXPECT_EQ(outcome, "write: File too large; " + std::to_string(records));
#endif
}

}  // namespace
