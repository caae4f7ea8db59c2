// The records the orbit computation takes and gives: a body's elements, which
// body is which, and the eight values of one day's record.
#pragma once

#include <array>

namespace orbit {

// The two bodies of a run: the one tabulated and the one it is seen from.
enum class body {
  target,
  observer,
};

// One body's classical heliocentric elements, referred to the ecliptic, in the
// order the element file gives them. The four angles are in degrees as read
// and in radians once angles_to_radians has converted them.
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

// The four angles among the elements, in file order.
inline constexpr std::array<double orbital_elements::*, 4> ANGLE_ELEMENTS = {
    &orbital_elements::i, &orbital_elements::w, &orbital_elements::node, &orbital_elements::m0};

// The four angles of `elements` from degrees to radians, each as pi*x/180 in
// that order of operations, with the run's value of pi.
inline void angles_to_radians(orbital_elements& elements, double pi) {
  for (double orbital_elements::*angle : ANGLE_ELEMENTS) {
    elements.*angle = pi * (elements.*angle) / 180;
  }
}

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

}  // namespace orbit
