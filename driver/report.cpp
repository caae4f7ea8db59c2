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

void write_message(std::string_view head, std::string_view tail) {
  char text[REPORT_ROOM];
  const std::size_t head_size = std::min(head.size(), sizeof text - 1);
  const std::size_t tail_size = std::min(tail.size(), sizeof text - 1 - head_size);
  // An empty view may hold no pointer at all, which memcpy must not be given.
  if (head_size > 0) std::memcpy(text, head.data(), head_size);
  if (tail_size > 0) std::memcpy(text + head_size, tail.data(), tail_size);
  text[head_size + tail_size] = '\n';
  say(text, head_size + tail_size + 1);
}

void write_output_failure(int error_number) {
  write_message("ephemeris: cannot write standard output: ", std::strerror(error_number));
}

}  // namespace driver
