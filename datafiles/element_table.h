// The element file's table of elements, with what each must be, and its other
// two reads, the run's start and length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "orbit/records.h"

namespace datafiles {

// What the element checks require of an element (its bounds are in
// orbit/domain.h): every element is first a finite number.
enum class element_rule {
  semi_major_axis,  // above 0, and within [A_MIN, A_MAX] AU
  eccentricity,     // within [0, 1)
  angle,            // within [-ANGLE_LIMIT, ANGLE_LIMIT] degrees: its radians are finite
  date,             // any finite Julian date
  mass,             // not negative
};

// One element: its name in reports, where it lives, what it must be.
struct element_field {
  const char* name;
  double orbit::orbital_elements::*member;
  element_rule rule;
};

// The eight elements in file order: the one list that the reader, the checks
// and the reports go through.
inline constexpr std::array<element_field, 8> ELEMENTS = {{
    {"semi-major axis", &orbit::orbital_elements::a, element_rule::semi_major_axis},
    {"eccentricity", &orbit::orbital_elements::e, element_rule::eccentricity},
    {"inclination", &orbit::orbital_elements::i, element_rule::angle},
    {"argument of perihelion", &orbit::orbital_elements::w, element_rule::angle},
    {"longitude of the ascending node", &orbit::orbital_elements::node, element_rule::angle},
    {"mean anomaly", &orbit::orbital_elements::m0, element_rule::angle},
    {"epoch", &orbit::orbital_elements::t0, element_rule::date},
    {"mass", &orbit::orbital_elements::mass, element_rule::mass},
}};

// The elements checked as angles are the ones orbit::angles_to_radians
// converts, in the same order.
constexpr bool angles_are_the_converted_ones() {
  std::size_t angle = 0;
  for (const element_field& field : ELEMENTS) {
    if (field.rule != element_rule::angle) continue;
    if (angle == orbit::ANGLE_ELEMENTS.size() || field.member != orbit::ANGLE_ELEMENTS[angle]) {
      return false;
    }
    ++angle;
  }
  return angle == orbit::ANGLE_ELEMENTS.size();
}
static_assert(angles_are_the_converted_ones());

// What span of days to tabulate.
struct run_request {
  double start;        // Julian date of the first record
  std::int32_t count;  // number of days; 0 or less writes no record
};

}  // namespace datafiles
