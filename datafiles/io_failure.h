// Input and output failures, and the one place that reports them and ends the
// process.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>
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
  const T& value() const& { return *checked_value(); }
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
  const T* checked_value() const {
    const T* value = std::get_if<T>(&state_);
    assert(value != nullptr && "outcome::value() of a failure");
    return value;
  }

  std::variant<T, io_failure> state_;
};

// Moves the value of `result` into `destination` and gives nothing, or gives
// the failure: `if (auto failed = extract(read(), into)) return *failed;`.
template <typename T, typename U>
std::optional<io_failure> extract(outcome<T>&& result, U& destination) {
  if (!result) return result.failure();
  destination = std::move(result).value();
  return std::nullopt;
}

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
