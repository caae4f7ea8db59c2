// The program's own functions, replaced by their straightforward versions: the
// benchmark's baseline build links this file instead of the fast ones.
#include "bench/straightforward.h"
#include "datafiles/list_output.h"

namespace orbit {

double kepler(double e, double mean_anomaly) {
  return straightforward::kepler(e, mean_anomaly);
}

double kepler(double e, double mean_anomaly, kepler_track& /*track*/) {
  return straightforward::kepler(e, mean_anomaly);
}

revolution_steps make_revolution_steps(double /*two_pi*/) {
  return {};
}

double reduce_mean_anomaly(double mean_anomaly, const frame_constants& frame) {
  return straightforward::reduce_mean_anomaly(mean_anomaly, frame.two_pi);
}

}  // namespace orbit

namespace datafiles {

std::size_t format_record(const orbit::ephemeris_record& record, char* out) {
  return straightforward::format_record(record, out);
}

}  // namespace datafiles
