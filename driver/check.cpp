#include "driver/check.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "datafiles/element_reports.h"
#include "datafiles/io_failure.h"
#include "driver/calendar.h"
#include "driver/command_line.h"
#include "driver/prepare.h"
#include "driver/report.h"
#include "orbit/orbit.h"
#include "orbit/portable.h"

namespace driver {
namespace {

constexpr int CHECK_FAILED = 2;  // the exit status of a check that a run would fail
constexpr std::int64_t EARLIEST_LIKELY_YEAR = 1000;
constexpr std::int64_t LATEST_LIKELY_YEAR = 3000;
constexpr double HEAVIEST_LIKELY_MASS = 0.001;  // solar masses: about Jupiter's
constexpr double EPOCH_DRIFT_DAYS = 36525;      // 100 Julian years
// Start dates in this range look like Modified Julian Dates (1886 to 2132).
constexpr double LOWEST_LIKELY_MJD = 1e4;
constexpr double HIGHEST_LIKELY_MJD = 1e5;
constexpr double MJD_OFFSET = 2400000.5;  // the Julian date of MJD 0
// Beyond this semi-major axis (AU) the Sun's pull is lost to the Galaxy's.
constexpr double SUN_REACH_AU = 1e5;
constexpr double AU_KM = 149597870.7;

constexpr int NAME_WIDTH = 34;

// What the element file's read number `read` (from 0, in file order) reads,
// as reports name it: "the target's elements", ..., "the day count".
std::string read_name(std::size_t read) {
  switch (read) {
    case 0:
      return datafiles::possessive(orbit::body::target) + std::string("elements");
    case 1:
      return datafiles::possessive(orbit::body::observer) + std::string("elements");
    case 2:
      return datafiles::START_NAME;
    default:
      return datafiles::COUNT_NAME;
  }
}

const char* unit_of(datafiles::element_rule rule) {
  switch (rule) {
    case datafiles::element_rule::semi_major_axis:
      return " AU";
    case datafiles::element_rule::eccentricity:
      return "";
    case datafiles::element_rule::angle:
      return " degrees";
    case datafiles::element_rule::date:
      return " (Julian date)";
    case datafiles::element_rule::mass:
      return " solar masses";
  }
  return "";
}

// "2461041.5 (2026-01-01 00:00)"
std::string date_text(double jd) {
  return datafiles::report_number(jd) + " (" + calendar_text(to_calendar(jd)) + ")";
}

// "  eccentricity                      0.0933941"
std::string value_line(const std::string& name, const std::string& value) {
  std::string line = "  " + name;
  line.resize(std::max<std::size_t>(line.size() + 1, NAME_WIDTH), ' ');
  return line + value + "\n";
}

// The lines of a body's values that are present, under `title`; nothing if
// none is.
std::string body_text(const char* title, const std::vector<std::optional<double>>& values) {
  std::string text;
  for (std::size_t k = 0; k < values.size() && k < datafiles::ELEMENTS.size(); ++k) {
    if (!values[k]) continue;
    const datafiles::element_field& field = datafiles::ELEMENTS[k];
    text +=
        value_line(field.name, field.rule == datafiles::element_rule::date
                                   ? date_text(*values[k])
                                   : datafiles::report_number(*values[k]) + unit_of(field.rule));
  }
  return text.empty() ? text : std::string(title) + ":\n" + text;
}

std::vector<std::optional<double>> present(const orbit::orbital_elements& body) {
  std::vector<std::optional<double>> values;
  values.reserve(datafiles::ELEMENTS.size());
  for (const datafiles::element_field& field : datafiles::ELEMENTS) {
    values.emplace_back(body.*field.member);
  }
  return values;
}

// `value` to nine significant digits, as "%.9g" gives it: "1.52367944".
std::string rounded_number(double value) {
  char text[32];
  const auto end =
      portable::to_chars(text, text + sizeof text, value, std::chars_format::general, 9);
  return {text, end.ptr};
}

void note_body(std::vector<std::string>& notes, const char* owner,
               const orbit::orbital_elements& body, const record_dates& dates, double start) {
  if (body.a > SUN_REACH_AU) {
    notes.push_back(std::string(owner) + "semi-major axis " + datafiles::report_number(body.a) +
                    " AU is beyond the Sun's reach (about 100000 AU): kilometres? 1 AU is " +
                    datafiles::report_number(AU_KM) + " km, so " +
                    datafiles::report_number(body.a) + " km would be " +
                    rounded_number(body.a / AU_KM) + " AU");
  }
  if (body.mass > HEAVIEST_LIKELY_MASS) {
    notes.push_back(std::string(owner) + "mass " + datafiles::report_number(body.mass) +
                    " is above 0.001 solar masses, heavier than Jupiter: a mass in other units,"
                    " or a decimal comma?");
  }
  // Two-body elements hold near their epoch: the run's date farthest from it
  // decides.
  const double first = std::isnan(dates.first) ? start : dates.first;
  const double last = std::isnan(dates.last) ? start : dates.last;
  const double farthest = std::fabs(body.t0 - first) >= std::fabs(body.t0 - last) ? first : last;
  if (std::fabs(body.t0 - farthest) > EPOCH_DRIFT_DAYS) {
    notes.push_back(std::string(owner) + "epoch " + date_text(body.t0) +
                    " is more than 100 years from the run's date " + date_text(farthest) +
                    ": fixed two-body elements drift away from the real orbit");
  }
}

// True where `text` holds nothing but what numbers and their separators are
// made of: blanks, tabs, commas, digits, signs, points and exponent letters.
bool only_numbers(const std::string& text) {
  return text.find_first_not_of(" \t,0123456789+-.EeDd") == std::string::npos;
}

// The note on text left on the line where read `read` ended, which starts
// with a number.
std::string left_over_note(const datafiles::numbers_left_over& left_over, std::size_t read) {
  const std::string where = "line " + std::to_string(left_over.line) + ": ";
  if (only_numbers(left_over.text)) {
    return where + "numbers left over after " + read_name(read) + ": " +
           datafiles::quoted_text(left_over.text) +
           ": a decimal comma (1,5 reads as 1 and 5) or a value too many?";
  }
  return where + "the text after " + read_name(read) + ", " +
         datafiles::quoted_text(left_over.text) +
         ", starts with a number: text after a read's values must start with a letter, or a"
         " value missing before it is read from it (or is it a decimal comma? 1,5 reads as 1"
         " and 5)";
}

// The note on a start date that is not plausible, if any.
std::optional<std::string> start_note(double start) {
  if (start >= LOWEST_LIKELY_MJD && start < HIGHEST_LIKELY_MJD) {
    return "the start date " + datafiles::report_number(start) +
           " looks like a Modified Julian Date: the Julian date is MJD + 2400000.5, here " +
           date_text(start + MJD_OFFSET);
  }
  const auto date = to_calendar(start);
  if (!date || date->year < EARLIEST_LIKELY_YEAR || date->year > LATEST_LIKELY_YEAR) {
    return "the start date " + date_text(start) +
           " is outside the years 1000 to 3000: a calendar date typed as a number?"
           " It is a Julian date (2026-01-01 00:00 is 2461041.5)";
  }
  return std::nullopt;
}

// The lines of the start date and day count that are present, under "run:".
std::string run_text(std::optional<double> start, std::optional<std::int64_t> count) {
  std::string text;
  if (start) text += value_line("start date", date_text(*start));
  if (count) text += value_line("day count", std::to_string(*count));
  return text.empty() ? text : "run:\n" + text;
}

}  // namespace

record_dates run_dates(const datafiles::run_request& request) {
  constexpr double none = std::numeric_limits<double>::quiet_NaN();
  if (request.count <= 0) return {none, none};
  return {orbit::run_date(request.start, 0), orbit::run_date(request.start, request.count - 1)};
}

std::vector<std::string> check_notes(const datafiles::element_data& data) {
  std::vector<std::string> notes;
  for (std::size_t k = 0; k < datafiles::READ_COUNT; ++k) {
    const datafiles::numbers_left_over& left_over = data.left_over[k];
    if (left_over.line != 0) notes.push_back(left_over_note(left_over, k));
  }
  if (auto note = start_note(data.request.start)) notes.push_back(std::move(*note));
  const record_dates dates = run_dates(data.request);
  note_body(notes, datafiles::possessive(orbit::body::target), data.target, dates,
            data.request.start);
  note_body(notes, datafiles::possessive(orbit::body::observer), data.observer, dates,
            data.request.start);
  if (data.request.count <= 0) {
    notes.push_back("the day count " + std::to_string(data.request.count) +
                    " writes no record: an existing VESK.DAT is kept as it was");
  }
  return notes;
}

std::string check_text(const datafiles::element_data& data) {
  std::string text = std::string(datafiles::ELEMENT_FILE_NAME) + " reads as:\n";
  text += body_text("target", present(data.target));
  text += body_text("observer", present(data.observer));
  text += run_text(data.request.start, data.request.count);
  const record_dates dates = run_dates(data.request);
  if (data.request.count > 0) {
    text += value_line("first record", date_text(dates.first));
    text += value_line("last record", date_text(dates.last));
  } else {
    text += value_line("records", "none");
  }
  const std::vector<std::string> notes = check_notes(data);
  text += notes.empty() ? "notes: none\n" : "notes:\n";
  for (const std::string& note : notes) text += "  - " + note + "\n";
  return text;
}

std::string values_text(const datafiles::values_read& read) {
  std::string text = body_text("target", read.target);
  text += body_text("observer", read.observer);
  text += run_text(read.start, read.count);
  if (text.empty()) return text;
  return std::string(datafiles::ELEMENT_FILE_NAME) + " reads as, up to the failure:\n" + text;
}

// run_check, but for memory that runs out while the texts are made.
int check_element_file() {
  const orbit::frame_constants constants = orbit::make_frame_constants();
  datafiles::values_read read;
  const datafiles::outcome<prepared_run> run = prepare_run(constants, read);
  if (!run) {
    // The values first, so that the report follows them on a terminal; the
    // report comes even where memory for the values' text has run out.
    try {
      const std::string values = values_text(read);
      if (!values.empty()) print_on_standard_output(values);
    } catch (const std::bad_alloc&) {
      write_output_failure(ENOMEM);
    }
    write_report(run.failure());
    return CHECK_FAILED;
  }
  return print_on_standard_output(check_text(run.value().data));
}

int run_check() {
  try {
    return check_element_file();
  } catch (const std::bad_alloc&) {
    // Reading the element file reports its own shortage of memory: this is
    // the text of what it read, which could not be made.
    write_output_failure(ENOMEM);
    return OUTPUT_FAILED;
  }
}

}  // namespace driver
