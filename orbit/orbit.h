// The numerical core: from a body's elements and a date to its heliocentric
// position, and from two positions to one ephemeris record. No I/O here.
//
// Angles are radians, lengths astronomical units, dates Julian dates in days.
// The order of every floating-point operation is part of the contract: the
// program's output must agree digit for digit with a plain double evaluation.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "orbit/domain.h"
#include "orbit/records.h"
#include "orbit/revolution_steps.h"

namespace orbit {

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

// Kepler's equation E - e*sin(E) = M: the eccentric anomaly E, radians, of
// eccentricity e in [0, 1) at the reduced mean anomaly M in [0, 2*pi]
// radians. It iterates E <- e*sin(E) + M from E = M, as the older program
// did, and stops as soon as an iterate repeats.
// Notes:
//   1. Where the iteration repeats within KEPLER_ITERATIONS steps, its
//      repeating values within a few ulps of each other (always so for
//      e <= 0.6), the result is bit for bit its KEPLER_ITERATIONS-th iterate,
//      so ordinary orbits keep the older program's digits. Otherwise (high e)
//      it is the root to full precision, by safeguarded Newton steps.
//   2. e = 0 gives E = M exactly, and M = 0 gives E = 0: a body at perihelion.
//   3. A NaN e or a non-finite M gives NaN. It never hangs.
double kepler(double e, double mean_anomaly);

// What one body's solve of Kepler's equation leaves for the next date's: a
// point near that root with its library sine and a cosine near its cosine.
// The next solve starts from it, nearer its root, when the mean anomaly has
// moved on by a little. It changes no answer, only the work; a
// default-made track has nothing to start from.
struct kepler_track {
  double mean_anomaly = std::numeric_limits<double>::quiet_NaN();  // the M solved; NaN: none
  double point = 0;   // a double near that M's eccentric anomaly
  double sine = 0;    // the C library's sin(point)
  double cosine = 0;  // near cos(point)
};

// kepler(e, mean_anomaly), bit for bit, started from `track` where that
// helps, and leaving in `track` what the next date's solve starts from.
double kepler(double e, double mean_anomaly, kepler_track& track);

// The vector v (AU, any frame) in axes turned by the rotation's angle about
// the x axis (turns the axes, not the vector): y' = y*c + z*s,
// z' = -y*s + z*c, x' = x. The x component is copied exactly.
inline vector3 rotax(const vector3& v, const rotation& turn) {
  return {v.x, v.y * turn.c + v.z * turn.s, -v.y * turn.s + v.z * turn.c};
}

// The vector v (AU, any frame) in axes turned by the rotation's angle about
// the z axis (turns the axes, not the vector): x' = x*c + y*s,
// y' = -x*s + y*c, z' = z. The z component is copied exactly.
inline vector3 rotaz(const vector3& v, const rotation& turn) {
  return {v.x * turn.c + v.y * turn.s, -v.x * turn.s + v.y * turn.c, v.z};
}

// A body's state from its elements (a in AU, the four angles already in
// radians, t0 a Julian date, the mass in solar masses), with n in rad/day and
// p in AU, in the order of the fields above.
// Notes:
//   1. The elements are not checked here. Within the element file's bounds
//      n can still overflow (a mass near the largest double): find_run_fault
//      refuses a run in which either body's n is not finite and positive.
//   2. e = 0 gives p = a, axis_ratio = 1 and an infinite acos_floor: the
//      arc cosine form of the true anomaly is then never taken.
body_state make_body_state(const orbital_elements& elements);

// The radius (AU) and the true anomaly (radians in [0, 2*pi], in the orbit
// plane from perihelion) at the reduced mean anomaly `mean_anomaly` in
// [0, 2*pi] and the eccentric anomaly E = kepler(e, mean_anomaly), radians.
// The true anomaly is acos((p/r - 1)/e) wherever a bound on that argument's
// rounding error keeps the result within TRUE_ANOMALY_TOLERANCE; elsewhere it
// is atan2(axis_ratio*|sin E|, cos E - e). Either is taken to 2*pi - nu when
// the mean anomaly is above pi.
// Notes:
//   1. The arc cosine form is the older program's: it is kept where it is
//      accurate so that ordinary orbits keep their digits bit for bit.
//   2. Near the apsides and on nearly circular orbits the atan2 form is
//      taken: at an apsis (E = 0 or pi) it gives 0 or pi exactly.
//   3. e = 0 gives the mean anomaly, which the atan2 form approaches
//      continuously as e goes to 0.
//   4. A NaN E gives NaN.
plane_point orbit_point(const body_state& body, double mean_anomaly, double eccentric_anomaly,
                        const frame_constants& frame);

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
  body which;                 // the body concerned (same_orbit: the observer)
  double value = 0;           // the mean motion (rad/day) or the mean anomaly (rad) that failed
  bool at_last_date = false;  // mean_anomaly: it failed near the last date (else near the first)
};

// Two bodies closer than this fraction of the larger of their distances from
// the Sun (about 35 m at 1 AU) have no direction between them that the
// rounding of their positions leaves meaningful.
inline constexpr double SAME_PLACE_FRACTION = 0x1p-32;

// The first fault (in the order of the kinds above, target before observer)
// that keeps a run of `count` records from Julian date `start` from writing
// only finite numbers, the bodies positioned with `frame`; none if it can.
// Notes:
//   1. The bodies are made from finite elements with A_MIN <= a <= A_MAX:
//      their distances and the squares of their differences then stay finite
//      and normal, and only the mean motion and the mean anomaly can fail.
//   2. The run's dates, which grow by additions from start - 1, stay within
//      [start - 2, start + count + 1]; the mean anomaly, linear in the date,
//      is tested at both ends of that span.
//   3. The bodies standing closer than SAME_PLACE_FRACTION of the larger of
//      their solar distances (helio_position) on the first, the middle and
//      the last of the run's dates (run_date), as the same orbit written in
//      other words leaves them (M0 a turn apart, e = 0 beside a tiny e,
//      another epoch), count as same_orbit.
//   4. With count <= 0 no date is tested, and only identical elements count
//      as same_orbit.
std::optional<run_fault> find_run_fault(const body_state& target, const body_state& observer,
                                        double start, std::int32_t count,
                                        const frame_constants& frame);

// The date of record `index` (from 0) of a run from Julian date `start`, bit
// for bit as the day loop forms it: start - 1 with index + 1 days added one
// at a time, each sum rounded.
// Notes:
//   1. It takes a few steps per binade, not index + 1 additions: within a
//      binade whose spacing is at most 1 the sums are exact.
//   2. A non-finite start gives itself less 1.
double run_date(double start, std::int32_t index);

// The mean anomaly (date - t0)*n + m0, radians, brought into [0, 2*pi]: the
// value of `while (m > 2*pi) m -= 2*pi; while (m < 0) m += 2*pi;`, bit for bit,
// where that takes at most MAX_LOOP_REVOLUTIONS passes (computed in a few
// operations, see mean_anomaly.cpp); beyond, the exact remainder
// fmod(m, 2*pi), plus 2*pi if negative.
// Notes:
//   1. 0 and 2*pi stay as they are, as in the loops; the result is never
//      below 0 or above 2*pi.
//   2. A non-finite value gives NaN. It never hangs.
double reduce_mean_anomaly(double mean_anomaly, const frame_constants& frame);

// The body's heliocentric ecliptic position (AU) on Julian date `date`, and
// its solar distance r = (1 - e*cos(E))*a: the orbit-plane point
// (r*cos(nu), r*sin(nu), 0) turned by -w about z, -i about x and -node about z.
// Notes:
//   1. At perihelion (reduced mean anomaly 0) the in-plane point is (r, 0, 0)
//      exactly, r = (1 - e)*a.
//   2. A date whose mean anomaly is not finite gives NaN; runs that would
//      meet one are refused beforehand (find_run_fault).
helio_place helio_position(const body_state& body, double date, const frame_constants& frame);

// The same, bit for bit, with the body's Kepler solve started from and
// leaving its state in `track` (kepler_track): a run's day loop keeps one
// track per body.
helio_place helio_position(const body_state& body, double date, const frame_constants& frame,
                           kepler_track& track);

// The ephemeris record of the target as seen from the observer on `date`,
// from both heliocentric ecliptic places: the right ascension in hours
// [0, 24] and the declination in degrees of the observer-to-target vector D
// turned into the equatorial frame (Q), the distances in AU, the elongation
// and phase angle in degrees [0, 180], the illuminated fraction in [0, 1].
// Notes:
//   1. Every arc cosine and arc sine argument is clamped to [-1, 1], so
//      exact alignments give 0 or 180 degrees, not NaN; the illuminated
//      fraction comes from the clamped cosine of the phase angle.
//   2. Toward a pole of the equator (Qx = Qy = 0, Qz != 0) the right
//      ascension is 0, as atan2(0, 0) has it.
//   3. A negative Qy takes the right ascension to 24 h - alpha, so a tiny
//      negative Qy whose arc cosine argument rounds to 1 gives 24, not 0.
//   4. With both bodies in one place (D = 0) the distance is 0 and the right
//      ascension, declination, elongation, phase angle and illuminated
//      fraction are NaN.
ephemeris_record apparent_place(const helio_place& target, const helio_place& observer, double date,
                                const frame_constants& frame);

}  // namespace orbit
