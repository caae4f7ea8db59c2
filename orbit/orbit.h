// The numerical core: from a body's elements and a date to its heliocentric
// position, and from two positions to one ephemeris record. No I/O here.
//
// Angles are radians, lengths astronomical units, dates Julian dates in days.
// The order of every floating-point operation is part of the contract: the
// program's output must agree digit for digit with a plain double evaluation.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include "datafiles/records.h"

namespace orbit {

inline constexpr double GAUSS_K = 0.01720209895;    // Gaussian gravitational constant, rad/day
inline constexpr int KEPLER_ITERATIONS = 100;       // fixed-point steps of the reference solver
inline constexpr double OBLIQUITY_DEG = 23.439291;  // obliquity of the ecliptic, degrees
// The largest error, radians, allowed in the true anomaly's arc cosine form
// before the well-conditioned form from the eccentric anomaly is used instead.
inline constexpr double TRUE_ANOMALY_TOLERANCE = 1e-10;

// A vector in AU: in the orbit plane (x toward perihelion, z along the pole),
// the heliocentric ecliptic frame, or the equatorial frame.
struct vector3 {
  double x;
  double y;
  double z;
};

// The cosine and sine of one rotation angle, computed once and reused.
struct rotation {
  double c;  // cos(theta)
  double s;  // sin(theta)
};

// cos(theta) and sin(theta), from the C library.
inline rotation make_rotation(double theta) {
  return {std::cos(theta), std::sin(theta)};
}

// The mean anomaly's reduction by whole revolutions, prepared for one value of
// 2*pi: for each binade [2^j, 2^(j+1)) of |M|, the amount one subtraction of
// 2*pi really removes there once rounded to the binade's spacing. Neighbouring
// binades where that amount is the same form one stretch, walked in one go.
struct revolution_steps {
  static constexpr int FIRST_BINADE = 4;  // below 16 the plain steps are few
  static constexpr int BINADES = 16;      // up to 2^16 > MAX_LOOP_REVOLUTIONS revolutions
  static constexpr double MAX_LOOP_REVOLUTIONS = 4096;  // beyond, an exact remainder
  struct binade {
    double edge;     // the lower edge of the stretch of binades with this step
    double step;     // what m - 2*pi removes from m in this binade, once settled
    double limit;    // edge + 2*pi + step: the lowest start of a run taken at once
    double inverse;  // 1 / step
    bool tie;        // 2*pi falls halfway between two multiples of the spacing here
    int next;        // the binade just below the stretch
  };
  binade binades[BINADES];
};

// The table for `two_pi`.
revolution_steps make_revolution_steps(double two_pi);

// The constants the run forms once at its start.
struct frame_constants {
  double pi;                     // 4*atan(1)
  double two_pi;                 // pi + pi
  double obliquity;              // pi*OBLIQUITY_DEG/180, radians
  rotation to_equator;           // make_rotation(-obliquity): ecliptic to equatorial axes
  revolution_steps revolutions;  // make_revolution_steps(two_pi)
};

// pi = 4*atan(1), 2*pi = pi + pi, obliquity = pi*23.439291/180, in that order.
frame_constants make_frame_constants();

// One body's elements with the angles in radians, plus what follows from them.
struct body_state {
  double a;              // semi-major axis, AU
  double e;              // eccentricity, [0, 1)
  double i;              // inclination, radians
  double w;              // argument of perihelion, radians
  double node;           // longitude of the ascending node, radians
  double m0;             // mean anomaly at the epoch, radians
  double t0;             // epoch, Julian date
  double mass;           // solar masses
  double n;              // mean motion, rad/day: (GAUSS_K / a^1.5) * (1 + mass)^0.5
  double p;              // semi-latus rectum, AU: (1 - e^2) * a
  double axis_ratio;     // b/a = sqrt((1 - e)*(1 + e))
  double acos_floor;     // the least 1 - x^2 at which acos(x), x = (p/r - 1)/e, is accurate
  rotation perihelion;   // make_rotation(-w)
  rotation inclination;  // make_rotation(-i)
  rotation ascending;    // make_rotation(-node)
};

// A point of the orbit in its own plane.
struct plane_point {
  double r;   // distance from the Sun, AU: (1 - e*cos(E))*a
  double nu;  // true anomaly, radians, [0, 2*pi]
};

// A heliocentric ecliptic position and the solar distance that came with it.
struct helio_place {
  vector3 position;  // AU
  double r;          // distance from the Sun, AU (the orbit's radius, not |position|)
};

// Solves Kepler's equation E - e*sin(E) = M for the eccentric anomaly E.
// Iterates E <- e*sin(E) + M from E = M; where that iteration repeats exactly
// within KEPLER_ITERATIONS steps, with the repeating values within a few ulps
// of each other (always so for e <= 0.6), the result is bit-identical to its
// KEPLER_ITERATIONS-th iterate; otherwise it is the root to full precision
// (safeguarded Newton). For 0 <= e < 1 and M in [0, 2*pi]; a NaN e or a
// non-finite M gives NaN; never hangs.
double kepler(double e, double mean_anomaly);

// The vector v in axes turned by the rotation's angle about the x axis
// (turns the axes, not the vector): y' = y*c + z*s, z' = -y*s + z*c, x' = x.
inline vector3 rotax(const vector3& v, const rotation& turn) {
  return {v.x, v.y * turn.c + v.z * turn.s, -v.y * turn.s + v.z * turn.c};
}
inline vector3 rotax(const vector3& v, double theta) {
  return rotax(v, make_rotation(theta));
}

// The vector v in axes turned by the rotation's angle about the z axis
// (turns the axes, not the vector): x' = x*c + y*s, y' = -x*s + y*c, z' = z.
inline vector3 rotaz(const vector3& v, const rotation& turn) {
  return {v.x * turn.c + v.y * turn.s, -v.x * turn.s + v.y * turn.c, v.z};
}
inline vector3 rotaz(const vector3& v, double theta) {
  return rotaz(v, make_rotation(theta));
}

// A body's state from elements whose four angles are already in radians.
body_state make_body_state(const datafiles::orbital_elements& elements);

// The radius and true anomaly at reduced mean anomaly `mean_anomaly` (in
// [0, 2*pi]) and eccentric anomaly E = kepler(e, mean_anomaly). The true
// anomaly is acos((p/r - 1)/e) wherever a bound on that argument's rounding
// error keeps the result within TRUE_ANOMALY_TOLERANCE (bit for bit the plain
// formula there); elsewhere, near the apsides and on nearly circular orbits,
// atan2(axis_ratio*|sin E|, cos E - e). Either is taken into (pi, 2*pi) when
// the mean anomaly is above pi. With e = 0 it is the mean anomaly.
plane_point orbit_point(const body_state& body, double mean_anomaly, double eccentric_anomaly,
                        const frame_constants& k);

// The mean anomaly, radians, on Julian date `date`: (date - t0)*n + m0, not
// reduced.
inline double mean_anomaly_at(const body_state& body, double date) {
  return (date - body.t0) * body.n + body.m0;
}

// What keeps a run from writing only finite numbers.
struct run_fault {
  enum kind_type {
    mean_motion,   // a body's mean motion is not a finite positive number
    mean_anomaly,  // a body's mean anomaly is not finite at an end of the run
    same_orbit,    // the observer moves on the target's orbit: no direction on any day
  };
  kind_type kind;
  bool observer;      // the body concerned is the observer (else the target)
  double value;       // the mean motion (rad/day) or the mean anomaly (rad) that failed
  bool at_last_date;  // mean_anomaly: it failed near the last date (else near the first)
};

// The first fault, in the order of the kinds above and target before
// observer, of a run of `count` records from Julian date `start`, for bodies
// made from finite elements with 1e-137 <= a <= 1e153 (their distances and
// the squares of their differences then stay finite and normal). The run's
// dates, which grow by additions from start - 1, stay within
// [start - 2, start + count + 1]; the mean anomaly, linear in the date, is
// tested at both ends of that span. With count <= 0 no date is tested.
std::optional<run_fault> find_run_fault(const body_state& target, const body_state& observer,
                                        double start, std::int32_t count);

// The mean anomaly (date - t0)*n + m0 brought into [0, 2*pi]: the value of
// `while (m > 2*pi) m -= 2*pi; while (m < 0) m += 2*pi;`, bit for bit, where
// that takes at most MAX_LOOP_REVOLUTIONS passes (computed in a few operations
// per binade); beyond, the exact remainder fmod(m, 2*pi), plus 2*pi if
// negative. A non-finite value gives NaN; never hangs.
double reduce_mean_anomaly(double mean_anomaly, const frame_constants& k);

// The body's heliocentric ecliptic position on Julian date `date`.
helio_place helio_position(const body_state& body, double date, const frame_constants& k);

// The ephemeris record of the target as seen from the observer on `date`.
datafiles::ephemeris_record apparent_place(const helio_place& target, const helio_place& observer,
                                           double date, const frame_constants& k);

}  // namespace orbit
