#include "datafiles/element_reports.h"

#include <cmath>
#include <utility>

#include "orbit/domain.h"

namespace datafiles {
namespace {

// A bound as the rules write it: its shortest form, without an exponent's
// plus sign ("1e153", "-5e307").
std::string bound_text(double bound) {
  std::string text = report_number(bound);
  if (const std::size_t plus = text.find("e+"); plus != std::string::npos) text.erase(plus + 1, 1);
  return text;
}

// "is outside [low, high]".
std::string outside(double low, double high) {
  return "is outside [" + bound_text(low) + ", " + bound_text(high) + "]";
}

// The rule's words for a finite `value` that breaks it, or nothing.
std::optional<std::string> broken_rule(element_rule rule, double value) {
  using orbit::A_MAX;
  using orbit::A_MIN;
  using orbit::ANGLE_LIMIT;
  switch (rule) {
    case element_rule::semi_major_axis:
      if (!(value > 0)) return "is not above 0";
      if (!(value >= A_MIN && value <= A_MAX)) return outside(A_MIN, A_MAX);
      return std::nullopt;
    case element_rule::eccentricity:
      if (value >= 0 && value < 1) return std::nullopt;
      return "is outside [0, 1)";
    case element_rule::angle:
      if (std::fabs(value) <= ANGLE_LIMIT) return std::nullopt;
      return outside(-ANGLE_LIMIT, ANGLE_LIMIT);
    case element_rule::date:
      return std::nullopt;
    case element_rule::mass:
      if (value < 0) return "is negative";
      return std::nullopt;
  }
  return std::nullopt;
}

// A failure of `step` on unit 1, a read having begun.
io_failure element_unit_failure(failure_step step, std::string reason) {
  return io_failure{
      .step = step, .reason = std::move(reason), .unit = io_unit::element, .transfer_begun = true};
}

}  // namespace

const char* possessive(orbit::body owner) {
  return owner == orbit::body::observer ? "the observer's " : "the target's ";
}

std::string element_name(orbit::body owner, std::size_t index) {
  return possessive(owner) + std::string(ELEMENTS.at(index).name);
}

io_failure element_failure(const std::string& subject, double value, const std::string& rule) {
  return element_unit_failure(failure_step::element,
                              subject + " " + report_number(value) + " " + rule);
}

io_failure element_failure(const std::string& text) {
  return element_unit_failure(failure_step::element, text);
}

io_failure missing_value(const std::string& name) {
  return element_unit_failure(failure_step::list_in, "no value for " + name);
}

std::optional<io_failure> element_value_failure(orbit::body owner, std::size_t index,
                                                double value) {
  const element_field& field = ELEMENTS.at(index);
  const std::optional<std::string> broken =
      std::isfinite(value) ? broken_rule(field.rule, value) : "is not finite";
  if (!broken) return std::nullopt;
  return element_failure(element_name(owner, index), value, *broken);
}

std::optional<io_failure> start_date_failure(double start) {
  if (std::isfinite(start)) return std::nullopt;
  return element_failure(START_NAME, start, "is not finite");
}

io_failure mean_motion_failure(orbit::body owner, double mean_motion) {
  return element_failure(possessive(owner) + std::string("mean motion"), mean_motion,
                         "(from its semi-major axis and mass) is not a finite positive number");
}

io_failure mean_anomaly_failure(orbit::body owner, double mean_anomaly, bool at_last_date,
                                double date) {
  return element_failure(possessive(owner) + std::string("mean anomaly"), mean_anomaly,
                         std::string("near the ") + (at_last_date ? "last" : "first") + " date " +
                             report_number(date) + " is not finite");
}

io_failure same_orbit_failure() {
  return element_failure("the observer's orbit is the target's: the two bodies must differ");
}

}  // namespace datafiles
