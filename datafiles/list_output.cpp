#include "datafiles/list_output.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace datafiles {
namespace {

// Nine significant digits, as "%.9G" gives them.
constexpr int SIGNIFICANT_DIGITS = 9;

// The magnitudes written by exact integer arithmetic: every value in
// [2^-13, 2^29) is written by "%.9G" in fixed form, since 2^-13 > 1E-04 and
// 2^29 < 999999999.5.
constexpr double FIXED_FORM_LOW = 0x1p-13;
constexpr double FIXED_FORM_HIGH = 0x1p29;

constexpr std::uint64_t POWERS_OF_TEN[] = {
    1,        10,        100,        1000,        10000,        100000,       1000000,
    10000000, 100000000, 1000000000, 10000000000, 100000000000, 1000000000000};

// Writes a magnitude in [FIXED_FORM_LOW, FIXED_FORM_HIGH) at `out` exactly as
// "%.9G" would, with the decimal point kept, and returns the end.
//
// The magnitude is m / 2^s exactly (m the 53-bit significand, 24 <= s <= 65).
// With X its decimal exponent, m * 10^(8 - X) / 2^s lies in [1e8, 1e9): its
// integer part q and remainder come from one 128-bit product and a shift, so
// rounding q to nearest, ties to even (the C library's rounding in the default
// mode), is exact. A carry to 1e9 raises X by one. The text is then the fixed
// form of q * 10^(X - 8) with trailing zeros dropped. It gives the same text as
// <charconv> at about a third of the cost; the tests hold both to the C
// library on binade edges, exact ties and random values.
char* format_fixed_form(double magnitude, char* out) {
  using wide = unsigned __int128;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const int binary_exponent = static_cast<int>(bits >> 52) - 1023;  // in [-13, 28]
  const std::uint64_t significand =
      (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 52 - binary_exponent;

  // floor(binary_exponent * log10(2)), exact over this range: X or X - 1.
  int decimal_exponent = (binary_exponent * 78913) >> 18;
  wide scaled = wide{significand} * POWERS_OF_TEN[8 - decimal_exponent];
  std::uint64_t q = static_cast<std::uint64_t>(scaled >> shift);
  if (q >= POWERS_OF_TEN[9]) {
    ++decimal_exponent;
    scaled = wide{significand} * POWERS_OF_TEN[8 - decimal_exponent];
    q = static_cast<std::uint64_t>(scaled >> shift);
  }
  const wide remainder = scaled & ((wide{1} << shift) - 1);
  const wide half = wide{1} << (shift - 1);
  if (remainder > half || (remainder == half && (q & 1) != 0)) ++q;
  if (q == POWERS_OF_TEN[9]) {
    q = POWERS_OF_TEN[8];
    ++decimal_exponent;
  }

  char digits[9];
  for (int i = 8; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + q % 10);
    q /= 10;
  }
  int last = 8;  // the last digit kept: trailing zeros are dropped
  while (digits[last] == '0') --last;

  char* next = out;
  if (decimal_exponent >= 0) {
    for (int i = 0; i <= decimal_exponent; ++i) *next++ = digits[i];
    *next++ = '.';
    for (int i = decimal_exponent + 1; i <= last; ++i) *next++ = digits[i];
  } else {
    *next++ = '0';
    *next++ = '.';
    for (int i = decimal_exponent + 1; i < 0; ++i) *next++ = '0';
    for (int i = 0; i <= last; ++i) *next++ = digits[i];
  }
  return next;
}

// Writes the magnitude's text at `out` (room for MAX_ITEM_SIZE - 2 characters)
// and returns its end.
char* format_magnitude(double magnitude, char* out) {
  if (magnitude == 0) {
    out[0] = '0';
    out[1] = '.';
    return out + 2;
  }
  if (magnitude >= FIXED_FORM_LOW && magnitude < FIXED_FORM_HIGH) {
    return format_fixed_form(magnitude, out);
  }
  // Elsewhere, <charconv> gives the digits. The text is at most 15 characters ("d.ddddddddE-ddd"),
  // so this cannot run out of room.
  char* const end = std::to_chars(out, out + (MAX_ITEM_SIZE - 2), magnitude,
                                  std::chars_format::general, SIGNIFICANT_DIGITS)
                        .ptr;

  // Upper case, noting the exponent letter and the decimal point. Digits,
  // signs and the point all sort below 'a'.
  char* exponent = nullptr;
  bool has_point = false;
  for (char* c = out; c != end; ++c) {
    if (*c >= 'a') {
      *c = static_cast<char>(*c - ('a' - 'A'));
      if (*c == 'E') exponent = c;
    } else if (*c == '.') {
      has_point = true;
    }
  }

  // An infinity or a not-a-number ("INF", "NAN") stays as it is; every other
  // text, "-NAN" included, gets a decimal point.
  if (out[0] == 'I' || out[0] == 'N' || has_point) return end;
  if (exponent == nullptr) {
    *end = '.';
  } else {
    std::memmove(exponent + 1, exponent, static_cast<std::size_t>(end - exponent));
    *exponent = '.';
  }
  return end + 1;
}

}  // namespace

std::size_t format_item(double value, char* out) {
  out[0] = ' ';
  const bool negative = value < 0;
  out[1] = negative ? '-' : ' ';
  return static_cast<std::size_t>(format_magnitude(negative ? -value : value, out + 2) - out);
}

std::size_t format_record(const ephemeris_record& record, char* out) {
  const double values[RECORD_VALUES] = {
      record.date,           record.right_ascension,     record.declination,
      record.solar_distance, record.observer_distance,   record.elongation,
      record.phase_angle,    record.illuminated_fraction};
  char* next = out;
  std::size_t column = 0;
  for (const double value : values) {
    // The item is written in place and moved one place on if a line end must
    // come before it.
    const std::size_t length = format_item(value, next);
    if (column > 0 && column + length >= LIST_LINE_LIMIT) {
      std::memmove(next + 1, next, length);
      *next++ = '\n';
      column = 0;
    }
    next += length;
    column += length;
  }
  *next++ = '\n';
  return static_cast<std::size_t>(next - out);
}

}  // namespace datafiles
