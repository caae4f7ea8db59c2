#include "driver/report.h"

#include <unistd.h>

#include <string>

#include "datafiles/descriptor_output.h"
#include "driver/signals.h"

namespace driver {

void terminate_with_report(const datafiles::io_failure& failure) {
  const std::string text = datafiles::report_text(failure);
  std::size_t written = 0;
  // Nothing more can be done if standard error cannot take the report.
  [[maybe_unused]] const int error =
      datafiles::write_fully(STDERR_FILENO, text.data(), text.size(), written);
  abnormal_end();
}

}  // namespace driver
