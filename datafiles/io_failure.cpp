#include "datafiles/io_failure.h"

#include <unistd.h>

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace datafiles {

std::string report_number(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

io_failure system_failure(std::string step, int error_number, int unit, bool transfer_begun) {
  return io_failure{std::move(step), std::strerror(error_number), unit, transfer_begun};
}

std::string report_text(const io_failure& failure) {
  const bool ephemeris = failure.unit == EPHEMERIS_UNIT;
  std::string text = failure.step + ": " + failure.reason + "\n";
  text += "apparent state: unit " + std::to_string(failure.unit) + " named " +
          (ephemeris ? EPHEMERIS_FILE_NAME : ELEMENT_FILE_NAME) + "\n";
  if (failure.transfer_begun) text += "last format: list io\n";
  text += ephemeris ? "lately writing sequential formatted external IO\n"
                    : "lately reading sequential formatted external IO\n";
  return text;
}

void terminate_with_report(const io_failure& failure) {
  const std::string text = report_text(failure);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  // The abort below is this program's own: it must not also print the abort
  // signal's message.
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

}  // namespace datafiles
