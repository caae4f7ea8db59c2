#include "driver/calendar.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace driver {
namespace {

constexpr double DAY_LIMIT = 1e11;              // days from Julian date 0 given a calendar date
constexpr std::int64_t MARCH_1_2000 = 2451605;  // its Julian day number
// Days in the Gregorian calendar's cycles: 400 years, a century (the first of
// a cycle, which ends with its leap day), four years (likewise) and a year.
constexpr std::int64_t DAYS_IN_400_YEARS = 146097;
constexpr std::int64_t DAYS_IN_100_YEARS = 36524;
constexpr std::int64_t DAYS_IN_4_YEARS = 1461;
constexpr std::int64_t DAYS_IN_YEAR = 365;
// The months of a year counted from March, so that February, with the leap
// day, comes last.
constexpr std::array<int, 12> MONTH_DAYS_FROM_MARCH = {31, 30, 31, 30, 31, 31,
                                                       30, 31, 30, 31, 31, 29};
constexpr int MINUTES_PER_DAY = 1440;

std::int64_t floor_divide(std::int64_t a, std::int64_t b) {
  const std::int64_t quotient = a / b;
  return quotient * b > a ? quotient - 1 : quotient;
}

}  // namespace

std::optional<calendar_time> to_calendar(double jd) {
  if (!std::isfinite(jd) || std::fabs(jd) > DAY_LIMIT) return std::nullopt;
  // A Julian day number counts the days that begin at noon; the civil day
  // begins at midnight, half a day earlier.
  const double civil = jd + 0.5;
  auto day_number = static_cast<std::int64_t>(std::floor(civil));
  auto minutes =
      static_cast<int>(std::lround((civil - static_cast<double>(day_number)) * MINUTES_PER_DAY));
  if (minutes == MINUTES_PER_DAY) {
    ++day_number;
    minutes = 0;
  }

  // Whole cycles from 2000 March 1, then what remains of the last one.
  std::int64_t days = day_number - MARCH_1_2000;
  const std::int64_t cycles = floor_divide(days, DAYS_IN_400_YEARS);
  days -= cycles * DAYS_IN_400_YEARS;
  const std::int64_t centuries = std::min<std::int64_t>(days / DAYS_IN_100_YEARS, 3);
  days -= centuries * DAYS_IN_100_YEARS;
  const std::int64_t fours = days / DAYS_IN_4_YEARS;
  days -= fours * DAYS_IN_4_YEARS;
  const std::int64_t years = std::min<std::int64_t>(days / DAYS_IN_YEAR, 3);
  days -= years * DAYS_IN_YEAR;

  calendar_time time{2000 + 400 * cycles + 100 * centuries + 4 * fours + years, 0, 0, minutes / 60,
                     minutes % 60};
  std::size_t month = 0;  // from March
  while (days >= MONTH_DAYS_FROM_MARCH[month]) days -= MONTH_DAYS_FROM_MARCH[month++];
  time.month = static_cast<int>((month + 2) % 12) + 1;
  if (time.month <= 2) ++time.year;  // January and February end the March-based year
  time.day = static_cast<int>(days) + 1;
  return time;
}

std::string calendar_text(const std::optional<calendar_time>& time) {
  if (!time) return "no calendar date";
  char text[48];
  // Four digits at least, after the sign of a year before year 0 (ISO 8601).
  const auto year = static_cast<long long>(time->year);
  std::snprintf(text, sizeof text, "%s%04lld-%02d-%02d %02d:%02d", year < 0 ? "-" : "",
                year < 0 ? -year : year, time->month, time->day, time->hour, time->minute);
  return text;
}

}  // namespace driver
