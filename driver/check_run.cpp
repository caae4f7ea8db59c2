#include "driver/check_run.h"

#include "datafiles/element_reports.h"

namespace driver {

namespace {

// The place of an element in datafiles::ELEMENTS.
constexpr std::size_t place_of(double orbit::orbital_elements::*member) {
  std::size_t place = 0;
  while (place < datafiles::ELEMENTS.size() && datafiles::ELEMENTS[place].member != member) ++place;
  return place;
}
constexpr std::size_t MEAN_ANOMALY = place_of(&orbit::orbital_elements::m0);
constexpr std::size_t MASS = place_of(&orbit::orbital_elements::mass);
static_assert(MEAN_ANOMALY < datafiles::ELEMENTS.size() && MASS < datafiles::ELEMENTS.size());

// The failure that reports `fault`, without its place.
datafiles::io_failure fault_failure(const orbit::run_fault& fault,
                                    const datafiles::run_request& request) {
  switch (fault.kind) {
    case orbit::run_fault::mean_motion:
      return datafiles::mean_motion_failure(fault.which, fault.value);
    case orbit::run_fault::mean_anomaly: {
      const bool last = fault.at_last_date;
      const double date = last ? request.start + (request.count - 1) : request.start;
      return datafiles::mean_anomaly_failure(fault.which, fault.value, last, date);
    }
    case orbit::run_fault::same_orbit:
      break;
  }
  return datafiles::same_orbit_failure();
}

// The line of the value `fault` is about: the mass that makes the mean
// motion, the mean anomaly, or the first of the observer's elements.
std::size_t fault_line(const orbit::run_fault& fault, const datafiles::value_lines& lines) {
  const auto& body_lines = fault.which == orbit::body::observer ? lines.observer : lines.target;
  switch (fault.kind) {
    case orbit::run_fault::mean_motion:
      return body_lines[MASS];
    case orbit::run_fault::mean_anomaly:
      return body_lines[MEAN_ANOMALY];
    case orbit::run_fault::same_orbit:
      break;
  }
  return lines.observer[0];
}

}  // namespace

std::optional<datafiles::io_failure> check_run(const orbit::body_state& target,
                                               const orbit::body_state& observer,
                                               const datafiles::run_request& request,
                                               const datafiles::value_lines& lines,
                                               const orbit::frame_constants& frame) {
  const auto fault = orbit::find_run_fault(target, observer, request.start, request.count, frame);
  if (!fault) return std::nullopt;
  datafiles::io_failure failure = fault_failure(*fault, request);
  failure.where = datafiles::line_text(fault_line(*fault, lines));
  return failure;
}

}  // namespace driver
