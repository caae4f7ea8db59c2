// The failures of input and output and of the checks on what was read: their
// steps and fixed reasons (the one home of that vocabulary), the value type
// that carries one, and the text of the report. Ending the process is the
// driver's.
#pragma once

#include <cassert>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace datafiles {

// The unit numbers by which the reports name the two files.
enum class io_unit {
  element = 1,    // the element file, ELEMENT_FILE_NAME
  ephemeris = 2,  // the ephemeris file, EPHEMERIS_FILE_NAME
};
inline constexpr const char* ELEMENT_FILE_NAME = "DATOS.DAT";
inline constexpr const char* EPHEMERIS_FILE_NAME = "VESK.DAT";

// The step that failed, as the report's first line names it, with the rule
// that makes each fail.
enum class failure_step {
  open,               // "open": a file cannot be opened; the C library's text
  read_start,         // "read start": a read starts where the last one met the end of the file
  list_in,            // "list in": the file ends inside a read, reading fails, or a value is unset
  invalid_number,     // "invalid number": no value can start here, or a sign or point stands alone
  exponent_field,     // "exponent field": an exponent without digits, or above 99999999
  bad_repeat,         // "bad repetition count": a zero or negative r*, or a '*' without its count
  invalid_integer,    // "invalid integer": a point or exponent in the day count, or beyond 32 bits
  element,            // "element": a value, or the run as a whole, the computation cannot use
  list_output_start,  // "list output start": a record is due on a table opened read-only
  write,              // "write": writing the table fails; the C library's text
  close,              // "close": closing the table fails; the C library's text
  endfile,            // "endfile": the table cannot be cut after its records
};

// The step's name in the report: "open", "list in", "bad repetition count", ...
const char* step_text(failure_step step);
std::ostream& operator<<(std::ostream& out, failure_step step);

// The fixed reasons. The others are the C library's error text, or a sentence
// that names a value ("no value for the day count").
inline constexpr const char* REASON_END_OF_FILE = "end of file";
inline constexpr const char* REASON_INCOMPREHENSIBLE = "incomprehensible list input";
inline constexpr const char* REASON_UNEXPECTED_CHARACTER = "read unexpected character";
inline constexpr const char* REASON_INTEGER_OVERFLOW = "integer overflow";
inline constexpr const char* REASON_CANT_WRITE = "can't write file";
inline constexpr const char* REASON_TRUNCATION_FAILED = "truncation failed in endfile";
inline constexpr const char* REASON_LOCKED = "another run is writing the file";

// A failure of one step, as the report names it.
struct io_failure {
  failure_step step;
  std::string reason;    // REASON_... or a sentence naming a value; empty for a system error
  io_unit unit;          // io_unit::element or io_unit::ephemeris
  bool transfer_begun;   // a read or write had begun: the report shows the last format
  std::string where{};   // where it happened, ending the report's last line; empty for nowhere
  int error_number = 0;  // a system error's number, or 0

  // The reason as the report gives it: `reason`, or for a system error the C
  // library's text for error_number.
  [[nodiscard]] std::string_view reason_text() const;
};

// A value, or the failure that prevented it. True when it holds the value:
//   auto data = read_elements(file);
//   if (!data) return data.failure();
template <typename T>
class [[nodiscard]] outcome {
 public:
  outcome(T value) : state_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  outcome(io_failure failure)                     // NOLINT(google-explicit-constructor)
      : state_(std::move(failure)) {}

  explicit operator bool() const { return state_.index() == 0; }

  // The value; only when there is one.
  T& value() & { return *checked_value(); }
  [[nodiscard]] const T& value() const& { return *checked_value(); }
  T&& value() && { return std::move(*checked_value()); }

  // The failure; only when there is no value.
  [[nodiscard]] const io_failure& failure() const {
    const io_failure* failure = std::get_if<io_failure>(&state_);
    assert(failure != nullptr && "outcome::failure() of a value");
    return *failure;
  }

 private:
  T* checked_value() {
    T* value = std::get_if<T>(&state_);
    assert(value != nullptr && "outcome::value() of a failure");
    return value;
  }
  [[nodiscard]] const T* checked_value() const {
    const T* value = std::get_if<T>(&state_);
    assert(value != nullptr && "outcome::value() of a failure");
    return value;
  }

  std::variant<T, io_failure> state_;
};

// A number as the reports write it: its shortest round-trip form ("1.5",
// "-0.001", "1e+300", "inf").
std::string report_number(double value);

// The failure of `step` with the C library's text for `error_number` as its
// reason (reason_text). It is made, copied and moved without allocating, so
// that it survives a shortage of memory, ENOMEM's own included.
io_failure system_failure(failure_step step, int error_number, io_unit unit, bool transfer_begun);

// `text` in double quotes, each byte outside printable ASCII as \xNN and a
// quote or backslash after a backslash: "19\xc2\xb024'".
std::string quoted_text(std::string_view text);

// The whole report, each line ending in '\n':
//   "<step>: <reason>"
//   "apparent state: unit <unit> named <file name>"
//   "last format: list io"                       (only when transfer_begun)
//   "lately <reading|writing> sequential formatted external IO"
// and on the last line, where `where` is not empty, ": <where>" before the
// line end ("... external IO: line 2, column 14, the observer's eccentricity,
// at \"1,523679 0.0934 1.8\"").
std::string report_text(const io_failure& failure);

// The same report written into `out`, as much of it as fits, without
// allocating; returns the whole report's length, which may exceed out.size().
std::size_t format_report(const io_failure& failure, std::span<char> out);

}  // namespace datafiles
