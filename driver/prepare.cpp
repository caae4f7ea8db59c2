#include "driver/prepare.h"

#include <cerrno>
#include <new>
#include <utility>

#include "driver/check_run.h"

namespace driver {
namespace {

datafiles::outcome<prepared_run> prepare(const orbit::frame_constants& constants,
                                         datafiles::values_read& read, datafiles::stop_check stop) {
  datafiles::outcome<datafiles::element_file> file = datafiles::open_elements();
  if (!file) return file.failure();
  datafiles::outcome<datafiles::element_data> data =
      datafiles::read_elements(file.value(), read, stop);
  datafiles::close_elements(file.value());
  if (!data) return data.failure();

  prepared_run run{std::move(data).value(), {}, {}};
  orbit::orbital_elements target = run.data.target;
  orbit::orbital_elements observer = run.data.observer;
  orbit::angles_to_radians(target, constants.pi);
  orbit::angles_to_radians(observer, constants.pi);
  run.target = orbit::make_body_state(target);
  run.observer = orbit::make_body_state(observer);
  // A run that could not write only finite numbers is refused before the
  // table is touched.
  if (auto failure =
          check_run(run.target, run.observer, run.data.request, run.data.lines, constants)) {
    return *failure;
  }
  return run;
}

}  // namespace

datafiles::outcome<prepared_run> prepare_run(const orbit::frame_constants& constants,
                                             datafiles::values_read& read,
                                             datafiles::stop_check stop) {
  try {
    return prepare(constants, read, stop);
  } catch (const std::bad_alloc&) {
    // Reported below, once the exception and everything the reads held are
    // freed, so that the failure's own few bytes can be had.
  }
  return datafiles::system_failure(datafiles::failure_step::list_in, ENOMEM,
                                   datafiles::io_unit::element, /*transfer_begun=*/true);
}

datafiles::outcome<prepared_run> prepare_run(const orbit::frame_constants& constants,
                                             datafiles::stop_check stop) {
  datafiles::values_read read;
  return prepare_run(constants, read, stop);
}

}  // namespace driver
