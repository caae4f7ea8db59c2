#include "platform.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace testing_support {

std::string platform_text(const std::string& text) {
  std::string result;
  result.reserve(text.size() + text.size() / 16);
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (c == '\n') {
      result += PLATFORM.line_end;
      continue;
    }
    result += c;
    // An exponent: E after a digit or a point, then a sign and digits.
    const bool exponent =
        c == 'E' && k > 0 &&
        (std::isdigit(static_cast<unsigned char>(text[k - 1])) != 0 || text[k - 1] == '.') &&
        k + 1 < text.size() && (text[k + 1] == '+' || text[k + 1] == '-');
    if (!exponent) continue;
    result += text[++k];
    std::size_t digits = 0;
    while (k + 1 + digits < text.size() &&
           std::isdigit(static_cast<unsigned char>(text[k + 1 + digits])) != 0) {
      ++digits;
    }
    for (std::size_t d = digits; d < static_cast<std::size_t>(PLATFORM.exponent_digits); ++d) {
      result += '0';
    }
  }
  return result;
}

namespace {

std::vector<std::string> items_of(const std::string& table) {
  std::istringstream in(table);
  std::vector<std::string> items;
  for (std::string word; in >> word;) items.push_back(word);
  return items;
}

// True when the two items differ by at most one unit in the ninth significant
// digit of `expected`.
bool within_last_digit(const std::string& item, const std::string& expected) {
  const double value = std::strtod(item.c_str(), nullptr);
  const double reference = std::strtod(expected.c_str(), nullptr);
  if (!std::isfinite(value) || !std::isfinite(reference) || reference == 0) return false;
  const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(reference))) - 8);
  return std::fabs(value - reference) <= 1.001 * unit;
}

}  // namespace

std::string table_difference(const std::string& table, const std::string& expected,
                             std::size_t* allowed) {
  if (allowed != nullptr) *allowed = 0;
  const std::string platform_expected = platform_text(expected);
  if (table == platform_expected) return "";
  if (!PLATFORM.last_digit_may_differ) return "the table differs from the expected one";
  // Item by item: lines may break elsewhere where an item's length changed.
  const std::vector<std::string> items = items_of(table);
  const std::vector<std::string> expected_items = items_of(platform_expected);
  if (items.size() != expected_items.size()) {
    return std::to_string(items.size()) + " items instead of " +
           std::to_string(expected_items.size());
  }
  std::size_t differing = 0;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (items[k] == expected_items[k]) continue;
    if (!within_last_digit(items[k], expected_items[k])) {
      return "item " + std::to_string(k) + " is " + items[k] + " instead of " + expected_items[k];
    }
    ++differing;
  }
  if (differing == 0) return "the same items, but not the same line ends or blanks";
  if (allowed != nullptr) *allowed = differing;
  return "";
}

}  // namespace testing_support
