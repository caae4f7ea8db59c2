// The run: read the element file, then write one ephemeris record a day.
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "datafiles/element_file.h"
#include "datafiles/ephemeris_file.h"
#include "datafiles/io_failure.h"
#include "driver/check_run.h"
#include "driver/report.h"
#include "driver/signals.h"
#include "driver/standard_descriptors.h"
#include "orbit/orbit.h"

namespace {

using datafiles::io_failure;

// The value, or the end of the run: with the failure's report, or with
// status 1 when a stop request came first (it interrupts an open or a read
// that waits, on a FIFO, and the run stops as it does between records).
template <typename T>
T take(datafiles::outcome<T>&& result) {
  if (!result) {
    if (driver::stop_requested()) std::exit(1);
    driver::terminate_with_report(result.failure());
  }
  return std::move(result).value();
}

}  // namespace

int main() {
  driver::open_standard_descriptors();
  driver::install_signal_handlers();
  const orbit::frame_constants constants = orbit::make_frame_constants();

  datafiles::element_file elements_file = take(datafiles::open_elements());
  datafiles::element_data data = take(datafiles::read_elements(elements_file));
  datafiles::close_elements(elements_file);
  if (driver::stop_requested()) return 1;

  datafiles::angles_to_radians(data.target, constants.pi);
  datafiles::angles_to_radians(data.observer, constants.pi);

  const orbit::body_state target = orbit::make_body_state(data.target);
  const orbit::body_state observer = orbit::make_body_state(data.observer);
  // A run that could not write only finite numbers is refused before the
  // table is touched.
  if (auto failure = driver::check_run(target, observer, data.request)) {
    driver::terminate_with_report(*failure);
  }

  datafiles::ephemeris_file ephemeris =
      take(datafiles::open_ephemeris(datafiles::EPHEMERIS_FILE_NAME, driver::stop_requested));

  // Each record's date is the one before plus a day, from start - 1, as the
  // older program formed them: for a large or fractional start these sums
  // round differently from start + k, and they are what the table shows.
  double date = data.request.start - 1;
  for (std::int32_t day = 0; day < data.request.count && !driver::stop_requested(); ++day) {
    date = date + 1;
    const orbit::helio_place target_place = orbit::helio_position(target, date, constants);
    const orbit::helio_place observer_place = orbit::helio_position(observer, date, constants);
    const datafiles::ephemeris_record record =
        orbit::apparent_place(target_place, observer_place, date, constants);
    if (auto failure = ephemeris.write_record(record)) {
      ephemeris.abandon();
      driver::terminate_with_report(*failure);
    }
  }

  if (auto failure = datafiles::close_ephemeris(ephemeris)) {
    driver::terminate_with_report(*failure);
  }
  return driver::stop_requested() ? 1 : 0;
}
