#include "driver/check_run.h"

#include "datafiles/element_reports.h"

namespace driver {

std::optional<datafiles::io_failure> check_run(const orbit::body_state& target,
                                               const orbit::body_state& observer,
                                               const datafiles::run_request& request) {
  const auto fault = orbit::find_run_fault(target, observer, request.start, request.count);
  if (!fault) return std::nullopt;
  switch (fault->kind) {
    case orbit::run_fault::mean_motion:
      return datafiles::mean_motion_failure(fault->which, fault->value);
    case orbit::run_fault::mean_anomaly: {
      const bool last = fault->at_last_date;
      const double date = last ? request.start + (request.count - 1) : request.start;
      return datafiles::mean_anomaly_failure(fault->which, fault->value, last, date);
    }
    case orbit::run_fault::same_orbit:
      break;
  }
  return datafiles::same_orbit_failure();
}

}  // namespace driver
