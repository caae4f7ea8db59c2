// What the checks on the element file's values and on the run as a whole
// report: every reason of step "element" and the "no value for ..." of step
// "list in", each built here and nowhere else.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "datafiles/element_table.h"
#include "datafiles/io_failure.h"

namespace datafiles {

// How reports name a value of `owner`: "the target's " as in "the target's
// eccentricity", or "the observer's ".
const char* possessive(orbit::body owner);

// How reports name element `index` of ELEMENTS of `owner`: "the target's
// eccentricity".
std::string element_name(orbit::body owner, std::size_t index);

inline constexpr const char* START_NAME = "the start date";
inline constexpr const char* COUNT_NAME = "the day count";

// A failure of step "element", on unit 1: "<subject> <value> <rule>", the
// value in its shortest round-trip form ("the target's eccentricity 1.5 is
// outside [0, 1)").
io_failure element_failure(const std::string& subject, double value, const std::string& rule);
// A failure of step "element" whose reason is `text`.
io_failure element_failure(const std::string& text);

// Step "list in", unit 1: "no value for <name>".
io_failure missing_value(const std::string& name);

// The failure of ELEMENTS[index] of `owner`, if `value`
// is not finite or breaks the element's rule ("the target's semi-major axis
// 0 is not above 0", "... is outside [1e-137, 1e153]"); else nothing.
std::optional<io_failure> element_value_failure(orbit::body owner, std::size_t index, double value);

// The failure of the start date if it is not finite ("the start date inf is
// not finite"); else nothing.
std::optional<io_failure> start_date_failure(double start);

// The run's refusals, step "element":
//   "the target's mean motion inf (from its semi-major axis and mass) is not
//    a finite positive number"
//   "the observer's mean anomaly -inf near the first date -1e+300 is not finite"
//   "the observer's orbit is the target's: the two bodies must differ"
io_failure mean_motion_failure(orbit::body owner, double mean_motion);
io_failure mean_anomaly_failure(orbit::body owner, double mean_anomaly, bool at_last_date,
                                double date);
io_failure same_orbit_failure();

}  // namespace datafiles
