// The records that pass between the data files and the orbit computation.
#pragma once

#include <array>
#include <cstdint>

namespace datafiles {

// The two bodies of a run: the one tabulated and the one it is seen from.
enum class body {
  target,
  observer,
};

// One body's classical heliocentric elements, referred to the ecliptic, in the
// order the element file gives them. The four angles are in degrees as read
// and in radians once the driver has converted them.
struct orbital_elements {
  double a;     // semi-major axis, AU
  double e;     // eccentricity
  double i;     // inclination to the ecliptic
  double w;     // argument of perihelion
  double node;  // longitude of the ascending node
  double m0;    // mean anomaly at the epoch
  double t0;    // epoch of the mean anomaly, Julian date
  double mass;  // mass of the body, solar masses
};

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
  double orbital_elements::*member;
  element_rule rule;
};

// The eight elements in file order: the one list that the reader, the checks,
// the reports and the conversion to radians go through.
inline constexpr std::array<element_field, 8> ELEMENTS = {{
    {"semi-major axis", &orbital_elements::a, element_rule::semi_major_axis},
    {"eccentricity", &orbital_elements::e, element_rule::eccentricity},
    {"inclination", &orbital_elements::i, element_rule::angle},
    {"argument of perihelion", &orbital_elements::w, element_rule::angle},
    {"longitude of the ascending node", &orbital_elements::node, element_rule::angle},
    {"mean anomaly", &orbital_elements::m0, element_rule::angle},
    {"epoch", &orbital_elements::t0, element_rule::date},
    {"mass", &orbital_elements::mass, element_rule::mass},
}};

// The four angles of `elements` from degrees to radians, each as pi*x/180 in
// that order of operations, with the run's value of pi.
inline void angles_to_radians(orbital_elements& elements, double pi) {
  for (const element_field& field : ELEMENTS) {
    if (field.rule == element_rule::angle)
      elements.*field.member = pi * (elements.*field.member) / 180;
  }
}

// What span of days to tabulate.
struct run_request {
  double start;        // Julian date of the first record
  std::int32_t count;  // number of days; 0 or less writes no record
};

// The eight values written for one day, in file order.
struct ephemeris_record {
  double date;                  // Julian date
  double right_ascension;       // hours, [0, 24]
  double declination;           // degrees, [-90, 90]
  double solar_distance;        // target to Sun, AU
  double observer_distance;     // target to observer, AU
  double elongation;            // degrees, angle Sun-observer-target, [0, 180]
  double phase_angle;           // degrees, angle Sun-target-observer, [0, 180]
  double illuminated_fraction;  // of the target's disc, [0, 1]
};

}  // namespace datafiles
