// Ending the run on a failure.
#pragma once

#include "datafiles/io_failure.h"

namespace driver {

// Writes datafiles::report_text(failure) to standard error in one piece.
void write_report(const datafiles::io_failure& failure);

// Writes the report (write_report) and terminates the process abnormally (abort) without the abort
// signal's own message and without a core dump. The caller closes any open file first.
[[noreturn]] void terminate_with_report(const datafiles::io_failure& failure);

}  // namespace driver
