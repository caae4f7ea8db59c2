#include "driver/report.h"

#include <unistd.h>

#include <string>

#include "datafiles/descriptor_output.h"
#include "driver/console.h"
#include "driver/core_dump.h"
#include "driver/signals.h"

namespace driver {

void write_report(const datafiles::io_failure& failure) {
  const std::string text = datafiles::report_text(failure);
  std::size_t written = 0;
  // Nothing more can be done if standard error cannot take the report.
  [[maybe_unused]] const int error =
      datafiles::write_fully(STDERR_FILENO, text.data(), text.size(), written);
}

void terminate_with_report(const datafiles::io_failure& failure) {
  write_report(failure);
  // The failure is reported: the abnormal end that follows must not leave a
  // core file either.
  switch_off_core_dumps();
  // Where the console window would close with the program, the report stays
  // until the user has read it.
  hold_report_on_screen();
  abnormal_end();
}

}  // namespace driver
