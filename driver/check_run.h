// The checks on the run as a whole, made once both bodies' states are known
// and before the table is opened.
#pragma once

#include <optional>

#include "datafiles/element_file.h"
#include "datafiles/element_table.h"
#include "datafiles/io_failure.h"
#include "orbit/orbit.h"

namespace driver {

// The failure, step "element", of a run that could not write only finite
// numbers (orbit::find_run_fault), or none:
//   "the target's mean motion inf (from its semi-major axis and mass) is not
//    a finite positive number"
//   "the observer's mean anomaly -inf near the first date -1e+300 is not finite"
//   "the observer's orbit is the target's: the two bodies must differ"
// The failure says the line of the value it is about (`lines`): the body's
// mass for its mean motion, its mean anomaly, the observer's first element for
// the same orbit. `frame` is the run's constants.
std::optional<datafiles::io_failure> check_run(const orbit::body_state& target,
                                               const orbit::body_state& observer,
                                               const datafiles::run_request& request,
                                               const datafiles::value_lines& lines,
                                               const orbit::frame_constants& frame);

}  // namespace driver
