#include "bench/straightforward.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "datafiles/list_output.h"

namespace straightforward {

double kepler(double e, double mean_anomaly) {
  double anomaly = mean_anomaly;
  for (int k = 0; k < orbit::KEPLER_ITERATIONS; ++k) anomaly = e * std::sin(anomaly) + mean_anomaly;
  return anomaly;
}

double reduce_mean_anomaly(double mean_anomaly, double two_pi) {
  double m = mean_anomaly;
  if (!(std::fabs(m) <= orbit::revolution_steps::MAX_LOOP_REVOLUTIONS * two_pi)) {
    m = std::fmod(m, two_pi);
    return m < 0 ? m + two_pi : m;
  }
  while (m > two_pi) m -= two_pi;
  while (m < 0) m += two_pi;
  return m;
}

namespace {

// A blank, the sign character, then "0." or the "%.9G" text with a decimal
// point forced in.
std::size_t format_item(double value, char* out) {
  out[0] = ' ';
  out[1] = value < 0 ? '-' : ' ';
  const double magnitude = value < 0 ? -value : value;
  if (magnitude == 0) {
    out[2] = '0';
    out[3] = '.';
    return 4;
  }
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%.9G", magnitude);
  char* next = out + 2;
  const bool kept = text[0] == 'I' || text[0] == 'N' || std::strchr(text, '.') != nullptr;
  for (int k = 0; k < length; ++k) {
    if (!kept && text[k] == 'E') *next++ = '.';
    *next++ = text[k];
  }
  if (!kept && std::strchr(text, 'E') == nullptr) *next++ = '.';
  return static_cast<std::size_t>(next - out);
}

}  // namespace

std::size_t format_record(const orbit::ephemeris_record& r, char* out) {
  char* next = out;
  std::size_t column = 0;
  for (const double value :
       {r.date, r.right_ascension, r.declination, r.solar_distance, r.observer_distance,
        r.elongation, r.phase_angle, r.illuminated_fraction}) {
    char item[32];
    const std::size_t length = format_item(value, item);
    if (column > 0 && column + length >= datafiles::LIST_LINE_LIMIT) {
      *next++ = '\n';
      column = 0;
    }
    std::memcpy(next, item, length);
    next += length;
    column += length;
  }
  *next++ = '\n';
  return static_cast<std::size_t>(next - out);
}

}  // namespace straightforward
