#include "driver/report.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "driver/core_dump.h"

namespace driver {

void write_report(const datafiles::io_failure& failure) {
  const std::string text = datafiles::report_text(failure);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

void terminate_with_report(const datafiles::io_failure& failure) {
  write_report(failure);
  // The abort below is this program's own: it must not also print the abort
  // signal's message, nor leave a core file, as the failure is reported.
  std::signal(SIGABRT, SIG_DFL);
  switch_off_core_dumps();
  std::abort();
}

}  // namespace driver
