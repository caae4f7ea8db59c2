#include "driver/report.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "datafiles/descriptor_output.h"
#include "driver/platform.h"

namespace driver {
namespace {

// Writes `text` to standard error in one piece, as far as it will go.
void say(const char* text, std::size_t size) {
  std::size_t written = 0;
  // Nothing more can be done if standard error cannot take it.
  [[maybe_unused]] const int error = datafiles::write_fully(STDERR_FILENO, text, size, written);
}

}  // namespace

void write_report(const datafiles::io_failure& failure) {
  char text[REPORT_ROOM];
  say(text, std::min(datafiles::format_report(failure, text), sizeof text));
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

void write_output_failure(int error_number) {
  constexpr std::string_view head = "ephemeris: cannot write standard output: ";
  const std::string_view reason = std::strerror(error_number);
  char text[REPORT_ROOM];
  const std::size_t reason_size = std::min(reason.size(), sizeof text - head.size() - 1);
  std::memcpy(text, head.data(), head.size());
  std::memcpy(text + head.size(), reason.data(), reason_size);
  text[head.size() + reason_size] = '\n';
  say(text, head.size() + reason_size + 1);
}

}  // namespace driver
