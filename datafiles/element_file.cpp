#include "datafiles/element_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "datafiles/element_reports.h"

namespace datafiles {
namespace {

constexpr std::size_t ELEMENT_COUNT = ELEMENTS.size();

// `failure`, saying that it is about a value read on `line`.
io_failure at_line(io_failure failure, std::size_t line) {
  failure.where = line_text(line);
  return failure;
}

// What a report adds about a file in `form`: what it is and what to do.
const char* form_advice(text_form form) {
  switch (form) {
    case text_form::plain:
      break;
    case text_form::utf8_bom:
      return "; the file is UTF-8 text with a byte-order mark: save it as plain text, without "
             "the mark";
    case text_form::utf16:
      return "; the file is UTF-16 text: save it as plain text (ASCII or UTF-8)";
    case text_form::cr_line_ends:
      return "; the file is text, but its lines end with CR alone: save it as plain text with "
             "LF or CR LF line ends";
  }
  return "";
}

// The failure `failure` of read `read` (0 to 3) in a file of `form`, saying
// where it happened.
io_failure placed(io_failure failure, std::size_t read, const read_place& place, text_form form) {
  std::string name;
  if (read < 2) {
    name = element_name(read == 0 ? orbit::body::target : orbit::body::observer, place.value);
  } else {
    name = read == 2 ? START_NAME : COUNT_NAME;
  }
  const text_position& at = place.position;
  if (place.at_end) {
    // At the very end: after the last line, the one the end is on unless it
    // follows a line end.
    const std::size_t last = at.column == 1 ? at.line - 1 : at.line;
    failure.where =
        (last == 0 ? std::string("in an empty file") : "after line " + std::to_string(last)) +
        ", " + name;
  } else {
    failure.where = line_text(at.line) + ", column " + std::to_string(at.column) + ", " + name;
    if (!place.stream_error) {
      failure.where += place.text.empty() ? ", at the line end" : ", at " + quoted_text(place.text);
    }
  }
  failure.where += form_advice(form);
  return failure;
}

// Keeps in `destination` what a failed read had set.
void keep_set_values(const std::vector<std::optional<double>>& set,
                     std::vector<std::optional<double>>& destination) {
  destination = set;
}
void keep_set_values(const std::vector<std::optional<double>>& set,
                     std::optional<std::int64_t>& destination) {
  if (!set.empty() && set[0]) destination = static_cast<std::int64_t>(*set[0]);
}

// Moves the value of `result`, read number `read`, into `destination`, and
// its lines into `lines`; or gives the failure, placed.
template <typename T, typename L>
std::optional<io_failure> take_read(outcome<T>&& result, std::size_t read,
                                    const list_reader& reader, T& destination, L& lines) {
  if (!result) {
    keep_set_values(reader.values_before_failure(), destination);
    return placed(result.failure(), read, reader.failure_place(), reader.form());
  }
  destination = std::move(result).value();
  const std::vector<std::size_t>& read_lines = reader.value_lines();
  if constexpr (std::is_same_v<L, std::size_t>) {
    lines = read_lines[0];
  } else {
    std::copy(read_lines.begin(), read_lines.end(), lines.begin());
  }
  return std::nullopt;
}

// The failure naming the first of one body's eight values left unset, if any.
std::optional<io_failure> first_missing_element(const std::vector<std::optional<double>>& values,
                                                const std::array<std::size_t, ELEMENT_COUNT>& lines,
                                                orbit::body owner) {
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) {
    if (!values[k]) {
      return at_line(missing_value(element_name(owner, k)), lines[k]);
    }
  }
  return std::nullopt;
}

// The failure naming the first value, in file order, left unset, if any.
std::optional<io_failure> first_missing(const values_read& read) {
  if (auto absent = first_missing_element(read.target, read.lines.target, orbit::body::target)) {
    return absent;
  }
  if (auto absent =
          first_missing_element(read.observer, read.lines.observer, orbit::body::observer)) {
    return absent;
  }
  if (!read.start) return at_line(missing_value(START_NAME), read.lines.start);
  if (!read.count) return at_line(missing_value(COUNT_NAME), read.lines.count);
  return std::nullopt;
}

// One body's eight values, all of which are present.
orbit::orbital_elements to_elements(const std::vector<std::optional<double>>& values) {
  orbit::orbital_elements body{};
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) body.*ELEMENTS[k].member = *values[k];
  return body;
}

// The first value, in file order, that the orbit computation cannot use.
std::optional<io_failure> check_body(const orbit::orbital_elements& elements,
                                     const std::array<std::size_t, ELEMENT_COUNT>& lines,
                                     orbit::body owner) {
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) {
    if (auto bad = element_value_failure(owner, k, elements.*ELEMENTS[k].member)) {
      return at_line(std::move(*bad), lines[k]);
    }
  }
  return std::nullopt;
}

// The four reads into `read`, each leaving unset what it gave no value; or
// the failure of the first read that failed.
std::optional<io_failure> read_four(list_reader& reader, values_read& read) {
  read = values_read{};
  if (auto failed =
          take_read(reader.read_reals(ELEMENT_COUNT), 0, reader, read.target, read.lines.target)) {
    return *failed;
  }
  read.left_over[0] = reader.left_over();
  if (auto failed = take_read(reader.read_reals(ELEMENT_COUNT), 1, reader, read.observer,
                              read.lines.observer)) {
    return *failed;
  }
  read.left_over[1] = reader.left_over();
  std::vector<std::optional<double>> start;
  auto failed_start = take_read(reader.read_reals(1), 2, reader, start, read.lines.start);
  if (!start.empty()) read.start = start[0];
  if (failed_start) return failed_start;
  read.left_over[2] = reader.left_over();
  if (auto failed = take_read(reader.read_integer(), 3, reader, read.count, read.lines.count)) {
    return *failed;
  }
  read.left_over[3] = reader.left_over();
  return std::nullopt;
}

// The checks on what the four reads gave, in this order: the first value
// left unset in file order, then the target's elements, the observer's, the
// start date, and the day count's 32-bit range. Checks on the run as a whole
// belong after these.
outcome<element_data> check_values(const values_read& read) {
  if (auto absent = first_missing(read)) return std::move(*absent);

  element_data data{to_elements(read.target),
                    to_elements(read.observer),
                    {*read.start, 0},
                    read.left_over,
                    read.lines};
  if (auto bad = check_body(data.target, read.lines.target, orbit::body::target))
    return std::move(*bad);
  if (auto bad = check_body(data.observer, read.lines.observer, orbit::body::observer)) {
    return std::move(*bad);
  }
  if (auto bad = start_date_failure(data.request.start)) {
    return at_line(std::move(*bad), read.lines.start);
  }
  if (*read.count < std::numeric_limits<std::int32_t>::min() ||
      *read.count > std::numeric_limits<std::int32_t>::max()) {
    return at_line(io_failure{.step = failure_step::invalid_integer,
                              .reason = REASON_INTEGER_OVERFLOW,
                              .unit = io_unit::element,
                              .transfer_begun = true},
                   read.lines.count);
  }
  data.request.count = static_cast<std::int32_t>(*read.count);
  return data;
}

}  // namespace

std::string line_text(std::size_t line) {
  return "line " + std::to_string(line);
}

outcome<element_file> open_elements(const char* path) {
  memory_block room = allocate_block(DEFAULT_CHUNK_SIZE);
  if (!room)
    return system_failure(failure_step::open, ENOMEM, io_unit::element,
                          /*transfer_begun=*/false);
  errno = 0;
  std::FILE* stream = std::fopen(path, "rb");
  if (stream == nullptr) {
    return system_failure(failure_step::open, errno != 0 ? errno : EIO, io_unit::element,
                          /*transfer_begun=*/false);
  }
  return element_file(stream, std::move(room));
}

outcome<element_data> read_element_data(byte_source& source, std::span<char> room,
                                        values_read& read) {
  list_reader reader(source, io_unit::element, room);
  if (auto failed = read_four(reader, read)) return std::move(*failed);
  return check_values(read);
}

outcome<element_data> read_element_data(byte_source& source, values_read& read,
                                        std::size_t chunk_size) {
  std::vector<char> room(chunk_size < 2 ? 2 : chunk_size);
  return read_element_data(source, room, read);
}

outcome<element_data> read_element_data(byte_source& source, std::size_t chunk_size) {
  values_read read;
  return read_element_data(source, read, chunk_size);
}

outcome<element_data> read_elements(element_file& file, values_read& read, stop_check stop) {
  file_source source(file.stream(), stop);
  return read_element_data(source, file.room(), read);
}

outcome<element_data> read_elements(element_file& file, stop_check stop) {
  values_read read;
  return read_elements(file, read, stop);
}

void close_elements(element_file& file) {
  file.close();
}

}  // namespace datafiles
