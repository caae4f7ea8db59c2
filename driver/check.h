// --check: what the element file reads as, without a run.
#pragma once

#include <string>
#include <vector>

#include "datafiles/element_file.h"

namespace driver {

// The Julian dates of the first and last records of a run of `request`, as
// the run forms them (orbit::run_date); both NaN for a day count of 0 or less.
struct record_dates {
  double first;
  double last;
};
record_dates run_dates(const datafiles::run_request& request);

// Notes on what `data` holds that is legal but probably not meant: numbers
// left over on a line, or text after a read's values that starts with a
// number; a start date that looks like a Modified Julian Date, or else lies
// outside the years 1000 to 3000; a semi-major axis above 10^5 AU (the Sun's
// reach: kilometres?), a mass above 0.001 solar masses, an epoch more than 100
// years from the run's date farthest from it; a day count of 0 or less. One
// line each, without a line end; none for a plain file.
std::vector<std::string> check_notes(const datafiles::element_data& data);

// What --check prints for `data`: the eighteen values with their names and
// units, the first and last records' dates as Julian and calendar dates, and
// the notes.
std::string check_text(const datafiles::element_data& data);

// What --check prints above the report of a run that would fail: the values
// in `read` that the reads set, in the layout of check_text; empty if there
// is none.
std::string values_text(const datafiles::values_read& read);

// Reads DATOS.DAT exactly as a run would. Prints check_text on standard
// output and returns 0 where a run would go ahead; else prints values_text on
// standard output, then the report the run would print on standard error, and
// returns 2. Never touches VESK.DAT. Memory that runs out while the texts are
// made ends it with write_output_failure(ENOMEM) and OUTPUT_FAILED.
int run_check();

}  // namespace driver
