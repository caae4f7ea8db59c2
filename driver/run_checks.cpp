#include "driver/run_checks.h"

#include <string>

#include "datafiles/element_file.h"

namespace driver {
namespace {

constexpr std::size_t MEAN_ANOMALY = 5;  // the places of these in datafiles::ELEMENTS
constexpr std::size_t MASS = 7;

// The failure that reports `fault`, without its place.
datafiles::io_failure fault_failure(const orbit::run_fault& fault,
                                    const datafiles::run_request& request) {
  const std::string owner = fault.observer ? datafiles::OBSERVER_OWNER : datafiles::TARGET_OWNER;
  switch (fault.kind) {
    case orbit::run_fault::mean_motion:
      return datafiles::element_failure(
          owner + "mean motion", fault.value,
          "(from its semi-major axis and mass) is not a finite positive number");
    case orbit::run_fault::mean_anomaly: {
      const bool last = fault.at_last_date;
      const double date = last ? request.start + (request.count - 1) : request.start;
      return datafiles::element_failure(owner + "mean anomaly", fault.value,
                                        std::string("near the ") + (last ? "last" : "first") +
                                            " date " + datafiles::report_number(date) +
                                            " is not finite");
    }
    case orbit::run_fault::same_orbit:
      break;
  }
  return datafiles::element_failure(
      "the observer's orbit is the target's: the two bodies must differ");
}

// The line of the value `fault` is about: the mass that makes the mean
// motion, the mean anomaly, or the first of the observer's elements.
std::size_t fault_line(const orbit::run_fault& fault, const datafiles::value_lines& lines) {
  const auto& body_lines = fault.observer ? lines.observer : lines.target;
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
                                               const datafiles::value_lines& lines) {
  const auto fault = orbit::find_run_fault(target, observer, request.start, request.count);
  if (!fault) return std::nullopt;
  datafiles::io_failure failure = fault_failure(*fault, request);
  failure.where = datafiles::line_text(fault_line(*fault, lines));
  return failure;
}

}  // namespace driver
