// The element file, unit 1: four list-directed reads and the checks on the
// values read.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "datafiles/io_failure.h"
#include "datafiles/list_input.h"
#include "datafiles/records.h"

namespace datafiles {

// Everything the element file supplies.
struct element_data {
  orbital_elements target;
  orbital_elements observer;
  run_request request;
};

// The open element file. Closes itself if still open when destroyed.
class element_file {
 public:
  explicit element_file(std::FILE* stream) : stream_(stream) {}
  [[nodiscard]] std::FILE* stream() const { return stream_.get(); }
  void close() { stream_.reset(); }

 private:
  struct closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, closer> stream_;
};

// Opens `path` for reading only; it must exist. Failure: step "open" with the
// C library's error text, no transfer begun.
outcome<element_file> open_elements(const char* path = ELEMENT_FILE_NAME);

// The four reads: target's eight elements, observer's eight elements, the
// start date, the day count. Each begins on a new line and discards the rest
// of the line on which its last value ended. Then checks the values (all
// present; finite; orbit::A_MIN <= a <= orbit::A_MAX, 0 <= e < 1,
// |angle| <= orbit::ANGLE_LIMIT degrees, mass >= 0; the day count within 32 bits). Failures name
// the step and reason.
outcome<element_data> read_elements(element_file& file);

// The four reads and the checks of read_elements, on the bytes of `source`.
// A failure of any read (syntax, end of file, stream error) is reported
// first. Only once all four reads have succeeded are the values checked, in
// this order: a variable left without a value fails "list in", naming the
// first in file order ("no value for the observer's mass"); then a value out
// of range fails "element", naming it, its value and what is allowed ("the
// target's eccentricity 1.5 is outside [0, 1)"), in file order; last, a day
// count outside the 32-bit range fails "invalid integer" / "integer
// overflow".
outcome<element_data> read_element_data(byte_source& source,
                                        std::size_t chunk_size = DEFAULT_CHUNK_SIZE);

// Closes unit 1.
void close_elements(element_file& file);

}  // namespace datafiles
