// The C++20 library items the program uses that some standard libraries still
// lack (the WebAssembly build's libc++ has no floating-point <charconv> and no
// std::bit_cast). Each entry point in `portable` is the standard one where the
// library has it, chosen at compile time by its feature-test macro, and
// otherwise the fallback below, which gives the same bytes. The fallbacks are
// built everywhere (the one for from_chars where fast_float's header is
// found) so that tests can hold them against the standard items.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <type_traits>
#include <version>

#if __has_include(<fast_float/fast_float.h>)
#include <fast_float/fast_float.h>
#define PORTABLE_HAS_FAST_FLOAT 1
#else
#define PORTABLE_HAS_FAST_FLOAT 0
#endif
#if defined(__cpp_lib_bit_cast)
#include <bit>
#endif

namespace portable {
namespace fallback {

// std::bit_cast through memcpy: the bits of `from` as a To of the same size.
template <class To, class From>
To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From), "the same size");
  static_assert(std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>);
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

// Copies the text [text, text + size) to [first, last), or says there is no room.
inline std::to_chars_result copy_text(char* first, char* last, const char* text, std::size_t size) {
  if (static_cast<std::size_t>(last - first) < size) return {last, std::errc::value_too_large};
  std::memcpy(first, text, size);
  return {first + size, std::errc{}};
}

// std::to_chars(first, last, value, fmt, precision) through the C library's
// snprintf, which the standard defines it by ("%.*g", "%.*e", "%.*f"). A
// text longer than 399 characters ("%f" of a huge value with a precision
// near 90) gives invalid_argument; the program asks for "%.9g" alone.
inline std::to_chars_result to_chars(char* first, char* last, double value, std::chars_format fmt,
                                     int precision) {
  char text[400];
  const char* format = fmt == std::chars_format::scientific ? "%.*e"
                       : fmt == std::chars_format::fixed    ? "%.*f"
                                                            : "%.*g";
  const int size = std::snprintf(text, sizeof text, format, precision, value);
  if (size < 0 || static_cast<std::size_t>(size) >= sizeof text)
    return {last, std::errc::invalid_argument};
  return copy_text(first, last, text, static_cast<std::size_t>(size));
}

// One step of the shortest search: `digits` (count of them, the first not 0)
// times 10^(exponent - count + 1), moved by one unit of its last digit up or
// down; the count stays the same. Returns the new exponent.
inline int step_digits(char* digits, int count, int exponent, bool up) {
  int k = count - 1;
  if (up) {
    while (k >= 0 && digits[k] == '9') digits[k--] = '0';
    if (k >= 0) {
      ++digits[k];
      return exponent;
    }
    // 99..9 + 1 = 10..0, one decade up.
    digits[0] = '1';
    return exponent + 1;
  }
  while (k >= 0 && digits[k] == '0') digits[k--] = '9';
  --digits[k];
  if (digits[0] != '0') return exponent;
  // 10..0 - 1 = 99..9, one decade down with the same count of digits.
  std::memset(digits, '9', static_cast<std::size_t>(count));
  return exponent - 1;
}

// The value of `count` digits times 10^(exponent - count + 1), as strtod reads it.
inline double read_digits(const char* digits, int count, int exponent) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*se%d", count, digits, exponent - count + 1);
  return std::strtod(text, nullptr);
}

// std::to_chars(first, last, value): the fewest significant digits that read
// back as `value` (of two such texts, the nearer), written as "%f" or "%e"
// would write them, whichever is shorter (fixed on a tie).
inline std::to_chars_result to_chars(char* first, char* last, double value) {
  if (std::isnan(value))
    return copy_text(first, last, std::signbit(value) ? "-nan" : "nan",
                     std::signbit(value) ? 4 : 3);
  char text[48];
  char* out = text;
  if (std::signbit(value)) *out++ = '-';
  const double magnitude = std::fabs(value);
  if (std::isinf(magnitude) || magnitude == 0) {
    const char* word = magnitude == 0 ? "0" : "inf";
    out = std::copy(word, word + std::strlen(word), out);
    return copy_text(first, last, text, static_cast<std::size_t>(out - text));
  }

  // The digits: for each count from 1, the nearest decimal of that many
  // digits, or failing that its neighbour on the value's other side; one of
  // the two lies within the value's rounding interval if any decimal of that
  // many digits does.
  char digits[24];
  int count = 1;
  int exponent = 0;
  for (;; ++count) {
    char nearest[40];
    std::snprintf(nearest, sizeof nearest, "%.*e", count - 1, magnitude);
    digits[0] = nearest[0];
    if (count > 1) std::memcpy(digits + 1, nearest + 2, static_cast<std::size_t>(count - 1));
    exponent = std::atoi(std::strchr(nearest, 'e') + 1);
    const double read = read_digits(digits, count, exponent);
    if (read == magnitude) break;
    exponent = step_digits(digits, count, exponent, read < magnitude);
    if (read_digits(digits, count, exponent) == magnitude) break;
  }
  while (count > 1 && digits[count - 1] == '0') --count;

  // "%e": d[.ddd]e+XX, at least two exponent digits.
  char exponent_text[8];
  const int exponent_size = std::snprintf(exponent_text, sizeof exponent_text, "e%c%02d",
                                          exponent < 0 ? '-' : '+', std::abs(exponent));
  const int scientific_size = count + (count > 1 ? 1 : 0) + exponent_size;
  // "%f": the digits with zeros before or after them, the point where it falls.
  const int fixed_size = exponent >= count - 1 ? exponent + 1
                         : exponent >= 0       ? count + 1
                                               : count + 1 - exponent;
  if (fixed_size <= scientific_size) {
    if (exponent >= count - 1) {
      // A whole number: all its digits, exactly, as "%.0f" writes them
      // (2^55 is 36028797018963968, not 36028797018963970), of the same length.
      out +=
          std::snprintf(out, static_cast<std::size_t>(text + sizeof text - out), "%.0f", magnitude);
    } else if (exponent >= 0) {
      out = std::copy(digits, digits + exponent + 1, out);
      *out++ = '.';
      out = std::copy(digits + exponent + 1, digits + count, out);
    } else {
      *out++ = '0';
      *out++ = '.';
      out = std::fill_n(out, -exponent - 1, '0');
      out = std::copy(digits, digits + count, out);
    }
  } else {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      out = std::copy(digits + 1, digits + count, out);
    }
    out = std::copy(exponent_text, exponent_text + exponent_size, out);
  }
  return copy_text(first, last, text, static_cast<std::size_t>(out - text));
}

#if PORTABLE_HAS_FAST_FLOAT
// std::from_chars(first, last, value, fmt) through fast_float, which rounds
// alike; like the standard, a text whose value is beyond the doubles (its
// nearest double infinite, or zero from digits that are not all zero) gives
// result_out_of_range and leaves `value` unchanged.
inline std::from_chars_result from_chars(const char* first, const char* last, double& value,
                                         std::chars_format fmt) {
  auto format = fast_float::chars_format::general;
  if (fmt == std::chars_format::scientific) format = fast_float::chars_format::scientific;
  if (fmt == std::chars_format::fixed) format = fast_float::chars_format::fixed;
  double result = 0;
  const auto parsed = fast_float::from_chars(first, last, result, format);
  if (parsed.ec != std::errc{}) return {parsed.ptr, parsed.ec};
  const char* digits = first + (first != parsed.ptr && (*first == '-' || *first == '+') ? 1 : 0);
  const bool spelled_infinity = digits != parsed.ptr && (*digits == 'i' || *digits == 'I');
  const char* exponent =
      std::find_if(digits, parsed.ptr, [](char c) { return c == 'e' || c == 'E'; });
  const bool nonzero_digits =
      std::find_if(digits, exponent, [](char c) { return c >= '1' && c <= '9'; }) != exponent;
  if ((std::isinf(result) && !spelled_infinity) || (result == 0 && nonzero_digits)) {
    return {parsed.ptr, std::errc::result_out_of_range};
  }
  value = result;
  return {parsed.ptr, std::errc{}};
}
#endif

}  // namespace fallback

#if defined(__cpp_lib_bit_cast)
using std::bit_cast;
#else
using fallback::bit_cast;
#endif

#if defined(__cpp_lib_to_chars)
using std::from_chars;
using std::to_chars;
#elif PORTABLE_HAS_FAST_FLOAT
using fallback::from_chars;
using fallback::to_chars;
#else
#error "no std::from_chars for doubles here: the fallback needs fast_float's header"
#endif

}  // namespace portable
