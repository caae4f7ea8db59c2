#include "datafiles/element_file.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "datafiles/element_reports.h"

namespace datafiles {
namespace {

constexpr std::size_t ELEMENT_COUNT = ELEMENTS.size();

// What the four reads left in the variables, before any check.
struct values_read {
  std::vector<std::optional<double>> target;    // the eight elements
  std::vector<std::optional<double>> observer;  // the eight elements
  std::optional<double> start;
  std::optional<std::int64_t> count;  // not yet range-checked
};

// The failure naming the first of one body's eight values left unset, if any.
std::optional<io_failure> first_missing_element(const std::vector<std::optional<double>>& values,
                                                body owner) {
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) {
    if (!values[k]) return missing_value(possessive(owner) + std::string(ELEMENTS[k].name));
  }
  return std::nullopt;
}

// The failure naming the first value, in file order, left unset, if any.
std::optional<io_failure> first_missing(const values_read& read) {
  if (auto absent = first_missing_element(read.target, body::target)) return absent;
  if (auto absent = first_missing_element(read.observer, body::observer)) return absent;
  if (!read.start) return missing_value(START_NAME);
  if (!read.count) return missing_value(COUNT_NAME);
  return std::nullopt;
}

// One body's eight values, all of which are present.
orbital_elements to_elements(const std::vector<std::optional<double>>& values) {
  orbital_elements body{};
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) body.*ELEMENTS[k].member = *values[k];
  return body;
}

// The first value, in file order, that the orbit computation cannot use.
std::optional<io_failure> check_body(const orbital_elements& elements, body owner) {
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) {
    if (auto bad = element_value_failure(owner, k, elements.*ELEMENTS[k].member)) return bad;
  }
  return std::nullopt;
}

// The four reads, each leaving unset what it gave no value; or the failure
// of the first read that failed.
outcome<values_read> read_four(list_reader& reader) {
  values_read read;
  if (auto failed = extract(reader.read_reals(ELEMENT_COUNT), read.target)) return *failed;
  if (auto failed = extract(reader.read_reals(ELEMENT_COUNT), read.observer)) return *failed;
  std::vector<std::optional<double>> start;
  if (auto failed = extract(reader.read_reals(1), start)) return *failed;
  read.start = start[0];
  if (auto failed = extract(reader.read_integer(), read.count)) return *failed;
  return read;
}

// The checks on what the four reads gave, in this order: the first value
// left unset in file order, then the target's elements, the observer's, the
// start date, and the day count's 32-bit range. Checks on the run as a whole
// belong after these.
outcome<element_data> check_values(const values_read& read) {
  if (auto absent = first_missing(read)) return std::move(*absent);

  element_data data{to_elements(read.target), to_elements(read.observer), {*read.start, 0}};
  if (auto bad = check_body(data.target, body::target)) return std::move(*bad);
  if (auto bad = check_body(data.observer, body::observer)) return std::move(*bad);
  if (auto bad = start_date_failure(data.request.start)) return std::move(*bad);
  if (*read.count < std::numeric_limits<std::int32_t>::min() ||
      *read.count > std::numeric_limits<std::int32_t>::max()) {
    return io_failure{.step = failure_step::invalid_integer,
                      .reason = REASON_INTEGER_OVERFLOW,
                      .unit = ELEMENT_UNIT,
                      .transfer_begun = true};
  }
  data.request.count = static_cast<std::int32_t>(*read.count);
  return data;
}

}  // namespace

outcome<element_file> open_elements(const char* path) {
  errno = 0;
  std::FILE* stream = std::fopen(path, "rb");
  if (stream == nullptr) {
    return system_failure(failure_step::open, errno != 0 ? errno : EIO, ELEMENT_UNIT,
                          /*transfer_begun=*/false);
  }
  return element_file(stream);
}

outcome<element_data> read_element_data(byte_source& source, std::size_t chunk_size) {
  list_reader reader(source, ELEMENT_UNIT, chunk_size);
  const outcome<values_read> read = read_four(reader);
  if (!read) return read.failure();
  return check_values(read.value());
}

outcome<element_data> read_elements(element_file& file) {
  file_source source(file.stream());
  return read_element_data(source);
}

void close_elements(element_file& file) {
  file.close();
}

}  // namespace datafiles
