#include "driver/run_checks.h"

#include <string>

#include "datafiles/element_file.h"

namespace driver {

std::optional<datafiles::io_failure> check_run(const orbit::body_state& target,
                                               const orbit::body_state& observer,
                                               const datafiles::run_request& request) {
  const auto fault = orbit::find_run_fault(target, observer, request.start, request.count);
  if (!fault) return std::nullopt;
  const std::string owner = fault->observer ? datafiles::OBSERVER_OWNER : datafiles::TARGET_OWNER;
  switch (fault->kind) {
    case orbit::run_fault::mean_motion:
      return datafiles::element_failure(
          owner + "mean motion", fault->value,
          "(from its semi-major axis and mass) is not a finite positive number");
    case orbit::run_fault::mean_anomaly: {
      const bool last = fault->at_last_date;
      const double date = last ? request.start + (request.count - 1) : request.start;
      return datafiles::element_failure(owner + "mean anomaly", fault->value,
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

}  // namespace driver
