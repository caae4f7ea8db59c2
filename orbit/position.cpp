// A body's heliocentric position on a date, and the apparent place of one body
// seen from another.
#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>

#include "orbit/orbit.h"

namespace orbit {
namespace {

// Arc cosine and arc sine of an argument that rounding may have carried a hair
// beyond [-1, 1]; NaN stays NaN.
double safe_acos(double x) {
  return std::acos(std::clamp(x, -1.0, 1.0));
}
double safe_asin(double x) {
  return std::asin(std::clamp(x, -1.0, 1.0));
}

// The rounding error of x = (p/r - 1)/e, as computed from p = (1 - e*e)*a and
// r = (1 - e*cos(E))*a, is at most
//   (u/e)*(10 + 2*e^2/(1 - e^2) + 6*e/(1 - e)) + 2*u,   u = 2^-53,
// for every E: e*e, 1 - e*e and the product with a each round once (and
// 1 - e*e magnifies the first rounding by e^2/(1 - e^2)); cos(E) is within an
// ulp, and 1 - e*cos(E), no smaller than 1 - e, magnifies its error and that of
// the product by e/(1 - e); the quotient p/r is at most 2. Twice that is taken,
// for the terms of second order and a margin.
double acos_argument_error(double e) {
  constexpr double u = DBL_EPSILON / 2;
  const double first_order =
      (u / e) * (10 + 2 * (e * e) / ((1 - e) * (1 + e)) + 6 * e / (1 - e)) + 2 * u;
  return 2 * first_order;
}

// The least 1 - x^2 at which acos(x) stays within TRUE_ANOMALY_TOLERANCE of the
// arc cosine of the exact argument: between x and the exact value the arc
// cosine's slope is at most 1/sqrt(1 - (|x| + err)^2), and 1 - (|x| + err)^2
// >= 1 - x^2 - 3*err. Infinite for e = 0 and for e so small that the form is
// never accurate.
double acos_floor(double e) {
  const double err = acos_argument_error(e);
  const double ratio = err / TRUE_ANOMALY_TOLERANCE;
  return ratio * ratio + 3 * err;
}

// The true anomaly in [0, pi] from the eccentric anomaly, well conditioned
// everywhere; the mean anomaly decides the half of the orbit, as for the arc
// cosine. Kept out of line: it is the rare path, and its sine must not be
// merged with the common path's cosine into one dearer sincos call.
[[gnu::noinline]] double true_anomaly_from_eccentric(const body_state& body,
                                                     double eccentric_anomaly, double cos_anomaly) {
  return std::atan2(body.axis_ratio * std::fabs(std::sin(eccentric_anomaly)), cos_anomaly - body.e);
}

// Below this length a vector's squared length is no longer a normal double,
// so the sum of squares has lost digits or underflowed to 0: the square root
// of the smallest normal double, 2^-511.
constexpr double SQRT_DBL_MIN = 0x1p-511;
// The factor such a vector is scaled by, exactly: every component is then
// below 2^89 and at least 2^-474, so its square is finite and normal.
constexpr double UNDERFLOW_SCALE = 0x1p600;

// (a.x*b.x + a.y*b.y) + a.z*b.z, in that order.
double dot(const vector3& a, const vector3& b) {
  return (a.x * b.x + a.y * b.y) + a.z * b.z;
}

}  // namespace

body_state make_body_state(const orbital_elements& elements) {
  body_state body{};
  body.a = elements.a;
  body.e = elements.e;
  body.i = elements.i;
  body.w = elements.w;
  body.node = elements.node;
  body.m0 = elements.m0;
  body.t0 = elements.t0;
  body.mass = elements.mass;
  body.n = (GAUSS_K / std::pow(elements.a, 1.5)) * std::pow(1 + elements.mass, 0.5);
  body.p = (1 - elements.e * elements.e) * elements.a;
  body.axis_ratio = std::sqrt((1 - elements.e) * (1 + elements.e));
  body.acos_floor = acos_floor(elements.e);
  body.perihelion = make_rotation(-elements.w);
  body.inclination = make_rotation(-elements.i);
  body.ascending = make_rotation(-elements.node);
  return body;
}

plane_point orbit_point(const body_state& body, double mean_anomaly, double eccentric_anomaly,
                        const frame_constants& frame) {
  assert((std::isnan(mean_anomaly) || (mean_anomaly >= 0 && mean_anomaly <= frame.two_pi)) &&
         "a reduced mean anomaly");
  const double e = body.e;
  const double cos_anomaly = std::cos(eccentric_anomaly);
  const double r = (1 - e * cos_anomaly) * body.a;
  if (e == 0) return {r, mean_anomaly};  // a circular orbit's true anomaly is its mean anomaly

  const double x = (body.p / r - 1) / e;
  double nu = (1 - x) * (1 + x) >= body.acos_floor
                  ? std::acos(x)
                  : true_anomaly_from_eccentric(body, eccentric_anomaly, cos_anomaly);
  if (mean_anomaly > frame.pi) nu = frame.two_pi - nu;
  return {r, nu};
}

helio_place helio_position(const body_state& body, double date, const frame_constants& frame) {
  kepler_track track;
  return helio_position(body, date, frame, track);
}

helio_place helio_position(const body_state& body, double date, const frame_constants& frame,
                           kepler_track& track) {
  const double m = reduce_mean_anomaly(mean_anomaly_at(body, date), frame);
  const plane_point point = orbit_point(body, m, kepler(body.e, m, track), frame);
  const double r = point.r;
  const vector3 in_plane{r * std::cos(point.nu), r * std::sin(point.nu), 0};
  const vector3 node_axes = rotaz(in_plane, body.perihelion);
  const vector3 ecliptic_at_node = rotax(node_axes, body.inclination);
  return {rotaz(ecliptic_at_node, body.ascending), r};
}

ephemeris_record apparent_place(const helio_place& target, const helio_place& observer, double date,
                                const frame_constants& frame) {
  const vector3& pt = target.position;
  const vector3& po = observer.position;
  vector3 d{pt.x - po.x, pt.y - po.y, pt.z - po.z};
  double distance = std::sqrt((d.x * d.x + d.y * d.y) + d.z * d.z);
  double written_distance = distance;
  if (distance < SQRT_DBL_MIN && (d.x != 0 || d.y != 0 || d.z != 0)) {
    // The squares underflow: the angles are taken from the vector scaled up
    // by a power of two, which changes no ratio, and the distance is scaled
    // back. Larger vectors keep the arithmetic above.
    d = {d.x * UNDERFLOW_SCALE, d.y * UNDERFLOW_SCALE, d.z * UNDERFLOW_SCALE};
    distance = std::sqrt((d.x * d.x + d.y * d.y) + d.z * d.z);
    written_distance = distance / UNDERFLOW_SCALE;
  }
  const vector3 q = rotax(d, frame.to_equator);

  // The angles keep the older program's arc sine and arc cosine forms, only
  // clamped, rather than atan2: that keeps its digits on every ordinary day.
  const double delta = safe_asin(q.z / distance);
  // Toward a pole of the equator the right ascension is 0, as atan2(0, 0)
  // has it; with the bodies in one place (q = 0) it stays undefined.
  double alpha = 0;
  if (q.y != 0 || q.x != 0 || q.z == 0) {
    alpha = safe_acos((q.x / distance) / std::cos(delta));
    if (q.y < 0) alpha = frame.two_pi - alpha;
  }

  const double elongation = safe_acos(-(dot(po, d) / observer.r / distance)) * 180 / frame.pi;
  // The phase angle's cosine, clamped once so that the illuminated fraction
  // stays within [0, 1] as well.
  const double c = std::clamp(dot(pt, d) / target.r / distance, -1.0, 1.0);
  const double phase = std::acos(c) * 180 / frame.pi;

  ephemeris_record record{};
  record.date = date;
  record.right_ascension = alpha * 180 / frame.pi / 15;
  record.declination = delta * 180 / frame.pi;
  record.solar_distance = target.r;
  record.observer_distance = written_distance;
  record.elongation = elongation;
  record.phase_angle = phase;
  record.illuminated_fraction = (c + 1) * 0.5;
  return record;
}

}  // namespace orbit
