// A body's heliocentric position on a date, and the apparent place of one body
// seen from another.
#include <algorithm>
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

// (a.x*b.x + a.y*b.y) + a.z*b.z, in that order.
double dot(const vector3& a, const vector3& b) {
  return (a.x * b.x + a.y * b.y) + a.z * b.z;
}

}  // namespace

body_state make_body_state(const datafiles::orbital_elements& elements) {
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
  body.perihelion = make_rotation(-elements.w);
  body.inclination = make_rotation(-elements.i);
  body.ascending = make_rotation(-elements.node);
  return body;
}

helio_place helio_position(const body_state& body, double date, const frame_constants& k) {
  const double m = reduce_mean_anomaly((date - body.t0) * body.n + body.m0, k);
  const double e = body.e;
  const double anomaly = kepler(e, m);
  const double r = (1 - e * std::cos(anomaly)) * body.a;

  double nu = m;  // a circular orbit's true anomaly is its mean anomaly
  if (e != 0) {
    nu = safe_acos((body.p / r - 1) / e);
    if (m > k.pi) nu = k.two_pi - nu;
  }

  const vector3 in_plane{r * std::cos(nu), r * std::sin(nu), 0};
  const vector3 node_axes = rotaz(in_plane, body.perihelion);
  const vector3 ecliptic_at_node = rotax(node_axes, body.inclination);
  return {rotaz(ecliptic_at_node, body.ascending), r};
}

datafiles::ephemeris_record apparent_place(const helio_place& target, const helio_place& observer,
                                           double date, const frame_constants& k) {
  const vector3& pt = target.position;
  const vector3& po = observer.position;
  const vector3 d{pt.x - po.x, pt.y - po.y, pt.z - po.z};
  const double distance = std::sqrt((d.x * d.x + d.y * d.y) + d.z * d.z);
  const vector3 q = rotax(d, k.to_equator);

  const double delta = safe_asin(q.z / distance);
  double alpha = safe_acos((q.x / distance) / std::cos(delta));
  if (q.y < 0) alpha = k.two_pi - alpha;

  const double elongation = safe_acos(-(dot(po, d) / observer.r / distance)) * 180 / k.pi;
  // The phase angle's cosine, clamped once so that the illuminated fraction
  // stays within [0, 1] as well.
  const double c = std::clamp(dot(pt, d) / target.r / distance, -1.0, 1.0);
  const double phase = std::acos(c) * 180 / k.pi;

  datafiles::ephemeris_record record{};
  record.date = date;
  record.right_ascension = alpha * 180 / k.pi / 15;
  record.declination = delta * 180 / k.pi;
  record.solar_distance = target.r;
  record.observer_distance = distance;
  record.elongation = elongation;
  record.phase_angle = phase;
  record.illuminated_fraction = (c + 1) * 0.5;
  return record;
}

}  // namespace orbit
