#include "driver/prepare.h"

#include <utility>

#include "driver/run_checks.h"

namespace driver {
namespace {

// The element's four angles from degrees to radians, as pi*x/180.
datafiles::orbital_elements angles_to_radians(datafiles::orbital_elements elements, double pi) {
  for (const datafiles::element_field& field : datafiles::ELEMENTS) {
    if (field.rule == datafiles::element_rule::angle) {
      elements.*field.member = pi * (elements.*field.member) / 180;
    }
  }
  return elements;
}

}  // namespace

datafiles::outcome<prepared_run> prepare_run(const orbit::frame_constants& constants) {
  datafiles::outcome<datafiles::element_file> file = datafiles::open_elements();
  if (!file) return file.failure();
  datafiles::outcome<datafiles::element_data> data = datafiles::read_elements(file.value());
  datafiles::close_elements(file.value());
  if (!data) return data.failure();

  prepared_run run{std::move(data).value(), {}, {}};
  run.target = orbit::make_body_state(angles_to_radians(run.data.target, constants.pi));
  run.observer = orbit::make_body_state(angles_to_radians(run.data.observer, constants.pi));
  // A run that could not write only finite numbers is refused before the
  // table is touched.
  if (auto failure = check_run(run.target, run.observer, run.data.request, run.data.lines)) {
    return *failure;
  }
  return run;
}

}  // namespace driver
