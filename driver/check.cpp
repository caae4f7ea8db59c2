#include "driver/check.h"

#include <cmath>
#include <limits>

#include "datafiles/element_reports.h"
#include "datafiles/io_failure.h"
#include "driver/calendar.h"
#include "driver/command_line.h"
#include "driver/prepare.h"
#include "driver/report.h"
#include "orbit/orbit.h"

namespace driver {
namespace {

constexpr int CHECK_FAILED = 2;  // the exit status of a check that a run would fail
constexpr std::int64_t EARLIEST_LIKELY_YEAR = 1000;
constexpr std::int64_t LATEST_LIKELY_YEAR = 3000;
constexpr double HEAVIEST_LIKELY_MASS = 0.001;  // solar masses: about Jupiter's
constexpr double EPOCH_DRIFT_DAYS = 36525;      // 100 Julian years

constexpr int NAME_WIDTH = 34;

// What the element file's read number `read` (from 0, in file order) reads,
// as reports name it: "the target's elements", ..., "the day count".
std::string read_name(std::size_t read) {
  switch (read) {
    case 0:
      return datafiles::possessive(datafiles::body::target) + std::string("elements");
    case 1:
      return datafiles::possessive(datafiles::body::observer) + std::string("elements");
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

std::string body_text(const char* title, const datafiles::orbital_elements& body) {
  std::string text = std::string(title) + ":\n";
  for (const datafiles::element_field& field : datafiles::ELEMENTS) {
    const double value = body.*field.member;
    text += value_line(field.name, field.rule == datafiles::element_rule::date
                                       ? date_text(value)
                                       : datafiles::report_number(value) + unit_of(field.rule));
  }
  return text;
}

void note_body(std::vector<std::string>& notes, const char* owner,
               const datafiles::orbital_elements& body, const record_dates& dates, double start) {
  if (body.mass > HEAVIEST_LIKELY_MASS) {
    notes.push_back(std::string(owner) + "mass " + datafiles::report_number(body.mass) +
                    " is above 0.001 solar masses, heavier than Jupiter: a mass in other units,"
                    " or a decimal comma?");
  }
  const double first = std::isnan(dates.first) ? start : dates.first;
  const double last = std::isnan(dates.last) ? start : dates.last;
  if (body.t0 < first - EPOCH_DRIFT_DAYS || body.t0 > last + EPOCH_DRIFT_DAYS) {
    notes.push_back(std::string(owner) + "epoch " + date_text(body.t0) +
                    " is more than 100 years from the run: fixed two-body elements drift"
                    " away from the real orbit");
  }
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
    if (left_over.line != 0) {
      notes.push_back("line " + std::to_string(left_over.line) + ": numbers left over after " +
                      read_name(k) + ": " + datafiles::quoted_text(left_over.text) +
                      ": a decimal comma (1,5 reads as 1 and 5) or a value too many?");
    }
  }
  const auto start = to_calendar(data.request.start);
  if (!start || start->year < EARLIEST_LIKELY_YEAR || start->year > LATEST_LIKELY_YEAR) {
    notes.push_back("the start date " + date_text(data.request.start) +
                    " is outside the years 1000 to 3000: a calendar date typed as a number?"
                    " It is a Julian date (2026-01-01 00:00 is 2461041.5)");
  }
  const record_dates dates = run_dates(data.request);
  note_body(notes, datafiles::possessive(datafiles::body::target), data.target, dates,
            data.request.start);
  note_body(notes, datafiles::possessive(datafiles::body::observer), data.observer, dates,
            data.request.start);
  if (data.request.count <= 0) {
    notes.push_back("the day count " + std::to_string(data.request.count) +
                    " writes no record: an existing VESK.DAT is kept as it was");
  }
  return notes;
}

std::string check_text(const datafiles::element_data& data) {
  std::string text = std::string(datafiles::ELEMENT_FILE_NAME) + " reads as:\n";
  text += body_text("target", data.target);
  text += body_text("observer", data.observer);
  text += "run:\n";
  text += value_line("start date", date_text(data.request.start));
  text += value_line("day count", std::to_string(data.request.count));
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

int run_check() {
  const orbit::frame_constants constants = orbit::make_frame_constants();
  const datafiles::outcome<prepared_run> run = prepare_run(constants);
  if (!run) {
    write_report(run.failure());
    return CHECK_FAILED;
  }
  return print_on_standard_output(check_text(run.value().data));
}

}  // namespace driver
