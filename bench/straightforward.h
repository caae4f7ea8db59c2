// The straightforward ways of doing what the program does fast, kept as the
// baseline its benchmarks are measured against.
#pragma once

#include <cstddef>

#include "orbit/orbit.h"
#include "orbit/records.h"

namespace straightforward {

// Exactly orbit::KEPLER_ITERATIONS fixed-point steps E <- e*sin(E) + M.
double kepler(double e, double mean_anomaly);

// The plain loops: subtract 2*pi while above 2*pi, then add it while below 0;
// beyond orbit::revolution_steps::MAX_LOOP_REVOLUTIONS an exact remainder.
double reduce_mean_anomaly(double mean_anomaly, double two_pi);

// One record laid out as the program does, each value through
// snprintf("%.9G"); returns its length (at most datafiles::MAX_RECORD_SIZE).
std::size_t format_record(const orbit::ephemeris_record& record, char* out);

}  // namespace straightforward
