#include "driver/report.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "datafiles/descriptor_output.h"

namespace driver {

void terminate_with_report(const datafiles::io_failure& failure) {
  const std::string text = datafiles::report_text(failure);
  std::size_t written = 0;
  // Nothing more can be done if standard error cannot take the report.
  [[maybe_unused]] const int error =
      datafiles::write_fully(STDERR_FILENO, text.data(), text.size(), written);
  // The abort below is this program's own: it must not also print the abort
  // signal's message.
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

}  // namespace driver
