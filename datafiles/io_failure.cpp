#include "datafiles/io_failure.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "orbit/portable.h"

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
                    .reason = {},
                    .unit = unit,
                    .transfer_begun = transfer_begun,
                    .error_number = error_number};
}

std::string_view io_failure::reason_text() const {
  if (reason.empty() && error_number != 0) return std::strerror(error_number);
  return reason;
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

std::size_t format_report(const io_failure& failure, std::span<char> out) {
  std::size_t length = 0;
  const auto put = [&](std::string_view piece) {
    if (length < out.size()) {
      std::memcpy(out.data() + length, piece.data(), std::min(piece.size(), out.size() - length));
    }
    length += piece.size();
  };
  const bool ephemeris = failure.unit == io_unit::ephemeris;
  put(step_text(failure.step));
  put(": ");
  put(failure.reason_text());
  put("\napparent state: unit ");
  const char unit = static_cast<char>('0' + static_cast<int>(failure.unit));  // 1 or 2
  put({&unit, 1});
  put(" named ");
  put(ephemeris ? EPHEMERIS_FILE_NAME : ELEMENT_FILE_NAME);
  put("\n");
  if (failure.transfer_begun) put("last format: list io\n");
  put(ephemeris ? "lately writing sequential formatted external IO"
                : "lately reading sequential formatted external IO");
  if (!failure.where.empty()) {
    put(": ");
    put(failure.where);
  }
  put("\n");
  return length;
}

std::string report_text(const io_failure& failure) {
  std::string text(format_report(failure, {}), '\0');
  format_report(failure, text);
  return text;
}

}  // namespace datafiles
