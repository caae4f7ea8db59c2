// What the tests expect to differ between the platforms the program is built
// for, written once, as data: the tests compare against these, never against
// the program's own constants.
#pragma once

#include <csignal>
#include <string>

#ifdef _WIN32
#include <cstdint>
#ifndef SIGKILL
#define SIGKILL 9  // what running_program::send() ends a program with by TerminateProcess
#endif
// Resource limits, which Windows programs are started without.
using rlim_t = std::uint64_t;
#define RLIM_INFINITY (~rlim_t{0})
#endif

namespace testing_support {

struct platform_expectations {
  const char* name;
  const char* line_end;                  // of the table and of standard error
  int exponent_digits;                   // the fewest the table's exponents have
  int abnormal_exit_status;              // a failure's end: the exit status, or -1 for a signal
  int abnormal_signal;                   // ... or the signal, or 0
  const char* element_directory_report;  // DATOS.DAT is a directory: the first line
  bool element_directory_opens;          // ... and whether a read had begun
  const char* table_directory_report;    // VESK.DAT is a directory: the first line
  // Whether an item of a table may differ from the Linux build's by one unit
  // in its ninth digit: the C run-time's sin, cos, acos, asin, atan and pow
  // differ from glibc's in the last bit on some arguments.
  bool last_digit_may_differ;
  // Why the tests that fork, limit resources, write to /dev/full or send
  // POSIX signals cannot run here; nullptr where they can.
  const char* no_posix_processes;
  // Whether "/?" alone asks for help, as Windows programs take it.
  bool slash_question_mark_is_help;
  // Why the C library's snprintf and strtod cannot stand in for <charconv>
  // here, as the fallbacks of orbit/portable.h need them to; nullptr
  // where they can.
  const char* inexact_c_library;
};

#ifdef _WIN32
inline constexpr platform_expectations PLATFORM = {
    "Windows",
    "\r\n",
    3,
    3,
    0,
    "open: Permission denied",
    false,
    "open: Permission denied",
    true,
    "Windows has no fork, setrlimit, /dev/full or POSIX signals between processes",
    true,
    "this C run-time's strtod and printf are not exact to the last digit and write a negative "
    "NaN without its sign (this build takes <charconv>, not the fallbacks)"};
#else
inline constexpr platform_expectations PLATFORM = {"POSIX", "\n",
                                                   2,       -1,
                                                   SIGABRT, "list in: Is a directory",
                                                   true,    "open: Is a directory",
                                                   false,   nullptr,
                                                   false,   nullptr};
#endif

// `text`, written with LF line ends and two-digit exponents ("1.E-05"), as
// this platform writes it: PLATFORM.line_end and at least
// PLATFORM.exponent_digits exponent digits. Line breaks are not moved.
std::string platform_text(const std::string& text);

// How `table` differs from `expected`, the same table as the Linux build
// writes it (LF line ends, two-digit exponents), beyond what this platform
// allows: "" when it does not. Where PLATFORM.last_digit_may_differ an item
// may differ by one unit in its ninth significant digit; `allowed`, if given,
// is set to the number of such items.
std::string table_difference(const std::string& table, const std::string& expected,
                             std::size_t* allowed = nullptr);

}  // namespace testing_support
