// Ending the run on a failure.
#pragma once

#include "datafiles/io_failure.h"

namespace driver {

// Writes datafiles::report_text(failure) to standard error in one piece.
void write_report(const datafiles::io_failure& failure);

// Writes the report (write_report), switches core dumps off, holds the report
// on screen where the console window would close with the program
// (hold_report_on_screen) and ends the process with abnormal_end(). The
// caller closes any open file first.
[[noreturn]] void terminate_with_report(const datafiles::io_failure& failure);

}  // namespace driver
