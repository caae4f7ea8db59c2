// The record formatter's reference, shared by its tests and its fuzzer: each
// value's item as the C library's "%.9G" gives it, and the line rule that
// joins a record's items.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "datafiles/list_output.h"

namespace c_library_reference {

// A blank, '-' or a blank, then "0." for zero or "%.9G" of the magnitude, with
// a decimal point forced into texts that do not begin with I or N, spelled as
// glibc spells it: a NaN is "NAN", or "-NAN." with its sign bit set (mingw-w64's
// printf drops the sign), and exponents have at least two digits.
inline std::string item(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "  -NAN." : "  NAN";
  std::string text = value < 0 ? " -" : "  ";
  const double magnitude = value < 0 ? -value : value;
  if (magnitude == 0) return text + "0.";
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.9G", magnitude);
  std::string magnitude_text = digits;
  const char first = magnitude_text[0];
  const bool unchanged = first == 'I' || first == 'N' || first == 'i' || first == 'n';
  if (!unchanged && magnitude_text.find('.') == std::string::npos) {
    const std::size_t exponent = magnitude_text.find('E');
    magnitude_text.insert(exponent == std::string::npos ? magnitude_text.size() : exponent, ".");
  }
  return text + magnitude_text;
}

// The items item_of(v) of `values` joined by the line rule: `line_end` before
// an item that would bring its line to LIST_LINE_LIMIT characters, and after
// the last.
template <class Values, class ItemOf>
std::string record(const Values& values, ItemOf item_of, std::string_view line_end) {
  std::string text;
  std::size_t column = 0;
  for (const double v : values) {
    const std::string item = item_of(v);
    if (column > 0 && column + item.size() >= datafiles::LIST_LINE_LIMIT) {
      text += line_end;
      column = 0;
    }
    text += item;
    column += item.size();
  }
  text += line_end;
  return text;
}

}  // namespace c_library_reference
