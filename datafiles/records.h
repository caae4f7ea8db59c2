// The records that pass between the data files and the orbit computation.
#pragma once

#include <cstdint>

namespace datafiles {

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
