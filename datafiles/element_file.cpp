#include "datafiles/element_file.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "orbit/domain.h"

namespace datafiles {
namespace {

constexpr std::size_t ELEMENT_COUNT = ELEMENTS.size();
constexpr const char* START_NAME = "the start date";
constexpr const char* COUNT_NAME = "the day count";

// The element's name after its owner (TARGET_OWNER or OBSERVER_OWNER): "the
// target's eccentricity".
std::string element_name(const char* owner, std::size_t index) {
  return std::string(owner) + ELEMENTS[index].name;
}

io_failure missing(const std::string& name) {
  return io_failure{failure_step::list_in, "no value for " + name, ELEMENT_UNIT, true};
}

// What the four reads left in the variables, before any check.
struct values_read {
  std::vector<std::optional<double>> target;    // the eight elements
  std::vector<std::optional<double>> observer;  // the eight elements
  std::optional<double> start;
  std::optional<std::int64_t> count;  // not yet range-checked
};

// The failure naming the first of one body's eight values left unset, if any.
std::optional<io_failure> first_missing_element(const std::vector<std::optional<double>>& values,
                                                const char* owner) {
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) {
    if (!values[k]) return missing(element_name(owner, k));
  }
  return std::nullopt;
}

// The failure naming the first value, in file order, left unset, if any.
std::optional<io_failure> first_missing(const values_read& read) {
  if (auto absent = first_missing_element(read.target, TARGET_OWNER)) return absent;
  if (auto absent = first_missing_element(read.observer, OBSERVER_OWNER)) return absent;
  if (!read.start) return missing(START_NAME);
  if (!read.count) return missing(COUNT_NAME);
  return std::nullopt;
}

// One body's eight values, all of which are present.
orbital_elements to_elements(const std::vector<std::optional<double>>& values) {
  orbital_elements body{};
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) body.*ELEMENTS[k].member = *values[k];
  return body;
}

// A bound as the rules write it: its shortest form, without an exponent's
// plus sign ("1e153", "-5e307").
std::string bound_text(double bound) {
  std::string text = report_number(bound);
  if (const std::size_t plus = text.find("e+"); plus != std::string::npos) text.erase(plus + 1, 1);
  return text;
}

// "is outside [low, high]".
std::string outside(double low, double high) {
  return "is outside [" + bound_text(low) + ", " + bound_text(high) + "]";
}

// The rule's words for a finite `value` that breaks it, or nothing.
std::optional<std::string> broken_rule(element_rule rule, double value) {
  using orbit::A_MAX;
  using orbit::A_MIN;
  using orbit::ANGLE_LIMIT;
  switch (rule) {
    case element_rule::semi_major_axis:
      if (!(value > 0)) return "is not above 0";
      if (!(value >= A_MIN && value <= A_MAX)) return outside(A_MIN, A_MAX);
      return std::nullopt;
    case element_rule::eccentricity:
      if (value >= 0 && value < 1) return std::nullopt;
      return "is outside [0, 1)";
    case element_rule::angle:
      if (std::fabs(value) <= ANGLE_LIMIT) return std::nullopt;
      return outside(-ANGLE_LIMIT, ANGLE_LIMIT);
    case element_rule::date:
      return std::nullopt;
    case element_rule::mass:
      if (value < 0) return "is negative";
      return std::nullopt;
  }
  return std::nullopt;
}

// The first value, in file order, that the orbit computation cannot use.
std::optional<io_failure> check_body(const orbital_elements& body, const char* owner) {
  for (std::size_t k = 0; k < ELEMENT_COUNT; ++k) {
    const double value = body.*ELEMENTS[k].member;
    const std::optional<std::string> broken =
        std::isfinite(value) ? broken_rule(ELEMENTS[k].rule, value) : "is not finite";
    if (broken) return element_failure(element_name(owner, k), value, *broken);
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
  if (auto bad = check_body(data.target, TARGET_OWNER)) return std::move(*bad);
  if (auto bad = check_body(data.observer, OBSERVER_OWNER)) return std::move(*bad);
  if (!std::isfinite(data.request.start)) {
    return element_failure(START_NAME, data.request.start, "is not finite");
  }
  if (*read.count < std::numeric_limits<std::int32_t>::min() ||
      *read.count > std::numeric_limits<std::int32_t>::max()) {
    return io_failure{failure_step::invalid_integer, REASON_INTEGER_OVERFLOW, ELEMENT_UNIT, true};
  }
  data.request.count = static_cast<std::int32_t>(*read.count);
  return data;
}

}  // namespace

io_failure element_failure(const std::string& subject, double value, const std::string& rule) {
  return io_failure{failure_step::element, subject + " " + report_number(value) + " " + rule,
                    ELEMENT_UNIT, true};
}

io_failure element_failure(const std::string& text) {
  return io_failure{failure_step::element, text, ELEMENT_UNIT, true};
}

outcome<element_file> open_elements(const char* path) {
  errno = 0;
  std::FILE* stream = std::fopen(path, "rb");
  if (stream == nullptr) {
    return system_failure(failure_step::open, errno != 0 ? errno : EIO, ELEMENT_UNIT, false);
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
