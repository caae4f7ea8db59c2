// Calendar dates of Julian dates, for what --check prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace driver {

// A moment in the proleptic Gregorian calendar (the Gregorian rules carried
// back before 1582; year 0 is 1 BC), to the minute, in the time scale of the
// Julian date it came from.
struct calendar_time {
  std::int64_t year;
  int month;   // 1 to 12
  int day;     // 1 to 31
  int hour;    // 0 to 23
  int minute;  // 0 to 59
};

// The calendar time of Julian date `jd`, rounded to the nearest minute; none
// for a date that is not finite or lies beyond 10^11 days from Julian date 0.
std::optional<calendar_time> to_calendar(double jd);

// "2026-01-01 00:00", "0001-01-01 00:00", "-4713-11-24 12:00" (the year with
// at least four digits); "no calendar date" for none.
std::string calendar_text(const std::optional<calendar_time>& time);

}  // namespace driver
