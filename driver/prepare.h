// The part of a run before the table is touched, shared by a run and --check.
#pragma once

#include "datafiles/element_file.h"
#include "datafiles/io_failure.h"
#include "orbit/orbit.h"

namespace driver {

// What a run goes ahead with.
struct prepared_run {
  datafiles::element_data data;  // as read: the angles in degrees
  orbit::body_state target;      // from data.target, the angles in radians
  orbit::body_state observer;
};

// Opens, reads and closes DATOS.DAT, converts each body's four angles from
// degrees to radians as pi*x/180, derives both bodies' states and checks the
// run as a whole (check_run); or the failure, as the run reports it. `stop`
// ends a read that goes on (datafiles::read_elements). Memory that runs out
// fails too: "open" / "Cannot allocate memory" for the file's read room,
// "list in" / "Cannot allocate memory" for anything after it.
datafiles::outcome<prepared_run> prepare_run(const orbit::frame_constants& constants,
                                             datafiles::stop_check stop = nullptr);
// The same, leaving in `read` what the element file's reads set, up to a
// failure if one came.
datafiles::outcome<prepared_run> prepare_run(const orbit::frame_constants& constants,
                                             datafiles::values_read& read,
                                             datafiles::stop_check stop = nullptr);

}  // namespace driver
