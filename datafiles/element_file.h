// The element file, unit 1: four list-directed reads and the checks on the
// values read.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "datafiles/element_table.h"
#include "datafiles/io_failure.h"
#include "datafiles/list_input.h"
#include "datafiles/memory_block.h"

namespace datafiles {

// The element file's four reads, in file order.
inline constexpr std::size_t READ_COUNT = 4;

// The line of the element file on which each value was read, from 1.
struct value_lines {
  std::array<std::size_t, ELEMENTS.size()> target{};
  std::array<std::size_t, ELEMENTS.size()> observer{};
  std::size_t start = 0;
  std::size_t count = 0;
};

// What the four reads set, in file order: a body's values are none before
// its read began, and a value is empty where its read left it unset or
// stopped at a failure before it.
struct values_read {
  std::vector<std::optional<double>> target;    // the eight elements
  std::vector<std::optional<double>> observer;  // the eight elements
  std::optional<double> start;
  std::optional<std::int64_t> count;  // not yet range-checked
  std::array<numbers_left_over, READ_COUNT> left_over;
  value_lines lines;
};

// Everything the element file supplies.
struct element_data {
  orbit::orbital_elements target;
  orbit::orbital_elements observer;
  run_request request;
  // For each read, numbers left over on the line where it ended (see
  // list_reader::left_over()): legal, but the mark of a decimal comma or of a
  // value too many.
  std::array<numbers_left_over, READ_COUNT> left_over;
  value_lines lines;
};

// "line 3": where a failure about a value read on `line` happened.
std::string line_text(std::size_t line);

// The open element file and the room its bytes are read into, DEFAULT_CHUNK_SIZE
// bytes. Closes itself if still open when destroyed.
class element_file {
 public:
  [[nodiscard]] std::FILE* stream() const { return stream_.get(); }
  [[nodiscard]] std::span<char> room() const { return {room_.get(), DEFAULT_CHUNK_SIZE}; }
  void close() {
    stream_.reset();
    room_.reset();
  }

 private:
  friend outcome<element_file> open_elements(const char* path);
  // `room` holds DEFAULT_CHUNK_SIZE bytes.
  element_file(std::FILE* stream, memory_block room) : stream_(stream), room_(std::move(room)) {}

  struct closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, closer> stream_;
  memory_block room_;
};

// Has the room for the file's bytes, then opens `path` for reading only; it
// must exist. Failure: step "open" with the C library's error text ("Cannot
// allocate memory" when the room cannot be had), no transfer begun.
outcome<element_file> open_elements(const char* path = ELEMENT_FILE_NAME);

// The four reads: target's eight elements, observer's eight elements, the
// start date, the day count. Each begins on a new line and discards the rest
// of the line on which its last value ended. Then checks the values (all
// present; finite; orbit::A_MIN <= a <= orbit::A_MAX, 0 <= e < 1,
// |angle| <= orbit::ANGLE_LIMIT degrees, mass >= 0; the day count within 32 bits). Failures name
// the step and reason. Once `stop` says the run is to stop, the next chunk of
// the file fails "list in" with EINTR's text. The reads themselves hold their
// bytes in the file's room; what else they allocate may throw std::bad_alloc.
outcome<element_data> read_elements(element_file& file, stop_check stop = nullptr);

// The four reads and the checks of read_elements, on the bytes of `source`.
// A failure of any read (syntax, end of file, stream error) is reported
// first, saying where: "line 2, column 14, the observer's eccentricity, at
// \"1,5\"", or for an end of file "after line 3, the day count". Only once all four reads have
// succeeded are the values checked, in this order: a variable left without a value fails "list in",
// naming the first in file order ("no value for the observer's mass"); then a value out of range
// fails "element", naming it, its value and what is allowed ("the target's eccentricity 1.5 is
// outside [0, 1)"), in file order; last, a day count outside the 32-bit range fails "invalid
// integer" / "integer overflow". Each of these says the line of the value ("line 1").
outcome<element_data> read_element_data(byte_source& source,
                                        std::size_t chunk_size = DEFAULT_CHUNK_SIZE);
// The same, leaving in `read` what the reads set, up to a failure if one
// came. A failure of a read in a file that is not plain text (text_form) adds
// to its place what the file is and how to save it ("...; the file is UTF-16
// text: save it as plain text (ASCII or UTF-8)").
outcome<element_data> read_element_data(byte_source& source, values_read& read,
                                        std::size_t chunk_size = DEFAULT_CHUNK_SIZE);
// The same, holding the bytes in `room` (at least 2 bytes).
outcome<element_data> read_element_data(byte_source& source, std::span<char> room,
                                        values_read& read);
// read_elements, leaving in `read` what the reads set.
outcome<element_data> read_elements(element_file& file, values_read& read,
                                    stop_check stop = nullptr);

// Closes unit 1.
void close_elements(element_file& file);

}  // namespace datafiles
