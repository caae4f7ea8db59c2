#include "datafiles/io_failure.h"

#include <cstring>
#include <ostream>

#include "datafiles/portable.h"

namespace datafiles {

const char* step_text(failure_step step) {
  switch (step) {
    case failure_step::open:
      return "open";
    case failure_step::read_start:
      return "read start";
    case failure_step::list_in:
      return "list in";
    case failure_step::invalid_number:
      return "invalid number";
    case failure_step::exponent_field:
      return "exponent field";
    case failure_step::bad_repeat:
      return "bad repetition count";
    case failure_step::invalid_integer:
      return "invalid integer";
    case failure_step::element:
      return "element";
    case failure_step::list_output_start:
      return "list output start";
    case failure_step::write:
      return "write";
    case failure_step::close:
      return "close";
    case failure_step::endfile:
      return "endfile";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, failure_step step) {
  return out << step_text(step);
}

std::string report_number(double value) {
  char text[32];
  return std::string(text, portable::to_chars(text, text + sizeof text, value).ptr);
}

io_failure system_failure(failure_step step, int error_number, io_unit unit, bool transfer_begun) {
  return io_failure{.step = step,
                    .reason = std::strerror(error_number),
                    .unit = unit,
                    .transfer_begun = transfer_begun};
}

std::string quoted_text(std::string_view text) {
  static constexpr char HEX[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += c;
    } else if (byte >= 0x20 && byte < 0x7f) {
      out += c;
    } else {
      out += "\\x";
      out += HEX[byte >> 4];
      out += HEX[byte & 0xf];
    }
  }
  return out + "\"";
}

std::string report_text(const io_failure& failure) {
  const bool ephemeris = failure.unit == EPHEMERIS_UNIT;
  std::string text = std::string(step_text(failure.step)) + ": " + failure.reason + "\n";
  text += "apparent state: unit " + std::to_string(static_cast<int>(failure.unit)) + " named " +
          (ephemeris ? EPHEMERIS_FILE_NAME : ELEMENT_FILE_NAME) + "\n";
  if (failure.transfer_begun) text += "last format: list io\n";
  text += ephemeris ? "lately writing sequential formatted external IO"
                    : "lately reading sequential formatted external IO";
  if (!failure.where.empty()) text += ": " + failure.where;
  return text + "\n";
}

}  // namespace datafiles
