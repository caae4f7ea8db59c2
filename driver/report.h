// Ending the run on a failure.
#pragma once

#include "datafiles/io_failure.h"

namespace driver {

// Writes datafiles::report_text(failure) to standard error in one piece and
// ends the process with abnormal_end(). The caller closes any open file first.
[[noreturn]] void terminate_with_report(const datafiles::io_failure& failure);

}  // namespace driver
