// Ending the run on a failure, and the program's other messages on standard
// error.
#pragma once

#include <cstddef>
#include <string_view>

#include "datafiles/io_failure.h"

namespace driver {

// The most bytes of a report or message written; the rest would be cut.
inline constexpr std::size_t REPORT_ROOM = 4096;

// Writes the failure's report (datafiles::format_report) to standard error in
// one piece, without allocating, so that it still comes when memory has run
// out.
void write_report(const datafiles::io_failure& failure);

// Writes the report (write_report), switches core dumps off, holds the report
// on screen where the console window would close with the program
// (hold_report_on_screen) and ends the process with abnormal_end(). The
// caller closes any open file first.
[[noreturn]] void terminate_with_report(const datafiles::io_failure& failure);

// Writes `head`, `tail` and a line end to standard error in one piece (cut
// at REPORT_ROOM bytes), without allocating: a message of the program's own.
void write_message(std::string_view head, std::string_view tail = {});

// Writes "ephemeris: cannot write standard output: <the C library's text for
// error_number>" and a line end to standard error (write_message).
void write_output_failure(int error_number);

}  // namespace driver
