#include "driver/report.h"

#include <unistd.h>

#include <string>

#include "driver/signals.h"

namespace driver {

void terminate_with_report(const datafiles::io_failure& failure) {
  const std::string text = datafiles::report_text(failure);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  abnormal_end();
}

}  // namespace driver
