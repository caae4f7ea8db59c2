// The run: read the element file, then write one ephemeris record a day.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "datafiles/ephemeris_file.h"
#include "datafiles/io_failure.h"
#include "driver/check.h"
#include "driver/command_line.h"
#include "driver/platform.h"
#include "driver/prepare.h"
#include "driver/report.h"
#include "orbit/orbit.h"

namespace {

// The value of `result`, or the end of the run: with the failure's report
// (terminate_with_report), or with status 1 when a stop request came first.
// Notes:
//   1. A stop request interrupts an open or a read that waits (on a FIFO):
//      the run then stops as it does between records, without a report.
template <typename T>
T take(datafiles::outcome<T>&& result) {
  if (!result) {
    if (driver::stop_requested()) std::exit(1);
    driver::terminate_with_report(result.failure());
  }
  return std::move(result).value();
}

}  // namespace

int main(int argc, char** argv) {
  driver::open_standard_descriptors();
  const driver::command_line line = driver::parse_command_line(argc, argv);
  switch (line.what) {
    case driver::command::usage:
      return driver::print_usage_error(line);
    case driver::command::help:
      return driver::print_help();
    case driver::command::version:
      return driver::print_version();
    case driver::command::check:
      return driver::run_check();
    case driver::command::run:
      break;
  }

  driver::install_signal_handlers();
  const orbit::frame_constants constants = orbit::make_frame_constants();

  // The element file is read and closed, and the run checked, before the
  // table is touched.
  const driver::prepared_run run = take(driver::prepare_run(constants, driver::stop_requested));
  if (driver::stop_requested()) return 1;

  datafiles::ephemeris_file ephemeris =
      take(datafiles::open_ephemeris(datafiles::EPHEMERIS_FILE_NAME, driver::stop_requested));

  // Each record's date is the one before plus a day, from start - 1, as the
  // older program formed them: for a large or fractional start these sums
  // round differently from start + k, and they are what the table shows.
  const datafiles::run_request& request = run.data.request;
  double date = request.start - 1;
  std::int32_t day = 0;
  orbit::kepler_track target_track;
  orbit::kepler_track observer_track;
  for (; day < request.count && !driver::stop_requested(); ++day) {
    date = date + 1;
    const orbit::helio_place target_place =
        orbit::helio_position(run.target, date, constants, target_track);
    const orbit::helio_place observer_place =
        orbit::helio_position(run.observer, date, constants, observer_track);
    const orbit::ephemeris_record record =
        orbit::apparent_place(target_place, observer_place, date, constants);
    if (auto failure = ephemeris.write_record(record)) {
      ephemeris.abandon();
      failure->where = datafiles::failure_place(*failure, "record " + std::to_string(day + 1),
                                                ephemeris.records_written());
      driver::terminate_with_report(*failure);
    }
  }

  if (auto failure = datafiles::close_ephemeris(ephemeris)) {
    failure->where = datafiles::failure_place(
        *failure, "at the close, after record " + std::to_string(day), ephemeris.records_written());
    driver::terminate_with_report(*failure);
  }
  return driver::stop_requested() ? 1 : 0;
}
