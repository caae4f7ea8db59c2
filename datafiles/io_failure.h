// Input and output failures, and the one place that reports them and ends the
// process.
#pragma once

#include <string>
#include <variant>

namespace datafiles {

inline constexpr int ELEMENT_UNIT = 1;    // the element file's unit number
inline constexpr int EPHEMERIS_UNIT = 2;  // the ephemeris file's unit number
inline constexpr const char* ELEMENT_FILE_NAME = "DATOS.DAT";
inline constexpr const char* EPHEMERIS_FILE_NAME = "VESK.DAT";

// A failure of one input or output step, as the report names it.
struct io_failure {
  std::string step;    // what was being done: "open", "list in", "read start", ...
  std::string reason;  // "end of file", "incomprehensible list input", a C library error text, ...
  int unit = 0;        // ELEMENT_UNIT or EPHEMERIS_UNIT
  bool transfer_begun =
      false;  // a read or write had begun before it: the report shows the last format
};

// A value, or the failure that prevented it.
template <typename T>
using outcome = std::variant<T, io_failure>;

// A number as the reports write it: its shortest round-trip form ("1.5",
// "-0.001", "1e+300", "inf").
std::string report_number(double value);

// The failure of `step` with the C library's text for `error_number` as its reason.
io_failure system_failure(std::string step, int error_number, int unit, bool transfer_begun);

// The whole report, each line ending in '\n':
//   "<step>: <reason>"
//   "apparent state: unit <unit> named <file name>"
//   "last format: list io"                       (only when transfer_begun)
//   "lately <reading|writing> sequential formatted external IO"
std::string report_text(const io_failure& failure);

// Writes report_text(failure) to standard error in one piece and terminates
// the process abnormally (abort) without the abort signal's own message. The
// caller closes any open file first.
[[noreturn]] void terminate_with_report(const io_failure& failure);

}  // namespace datafiles
