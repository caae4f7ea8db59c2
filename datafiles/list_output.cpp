// One value's item and the lines of a record: the line rule, the item of any
// value through <charconv>, and the dispatch of the common magnitudes to the
// exact integer items of list_output_integer.h where they are built.
#include "datafiles/list_output.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "datafiles/list_output_integer.h"
#include "orbit/portable.h"

namespace datafiles {
namespace {

// Nine significant digits, as "%.9G" gives them.
constexpr int SIGNIFICANT_DIGITS = 9;

// The <charconv> item: every value the integer items leave (zero, magnitudes
// below 2^-13 or from 2^29, infinities and NaNs), and every value where they
// are not built.

// Pads the exponent of the text that ends at `end`, whose exponent letter is
// at `exponent` and whose exponent has a sign and at least two digits, with
// zeros to MIN_EXPONENT_DIGITS digits ("E-05" -> "E-005"). Returns the new end.
char* widen_exponent(char* exponent, char* end) {
  char* const digits = exponent + 2;
  const auto count = static_cast<int>(end - digits);
  if (count >= MIN_EXPONENT_DIGITS) return end;
  const auto zeros = static_cast<std::size_t>(MIN_EXPONENT_DIGITS - count);
  std::memmove(digits + zeros, digits, static_cast<std::size_t>(count));
  std::memset(digits, '0', zeros);
  return end + zeros;
}

// Writes the magnitude's text at `out` (room for MAX_ITEM_SIZE - 2 characters)
// and returns its end.
char* format_other_magnitude(double magnitude, char* out) {
  if (magnitude == 0) {
    out[0] = '0';
    out[1] = '.';
    return out + 2;
  }
  // <charconv> gives the digits. The text is at most 15 characters ("d.ddddddddE-ddd"),
  // so this cannot run out of room.
  char* end = portable::to_chars(out, out + (MAX_ITEM_SIZE - 2), magnitude,
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

  if (exponent != nullptr) end = widen_exponent(exponent, end);

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

// Writes the item of such a value into out[0, MAX_ITEM_SIZE) and returns its
// length.
[[gnu::noinline]] std::size_t format_other_item(double value, char* out) {
  out[0] = ' ';
  const bool negative = value < 0;
  out[1] = negative ? '-' : ' ';
  const auto length =
      static_cast<std::size_t>(format_other_magnitude(negative ? -value : value, out + 2) - out);
  assert(length <= MAX_ITEM_SIZE && "an item fits MAX_ITEM_SIZE");
  return length;
}

// Writes one record into out[0, MAX_RECORD_SIZE) as format_record() does,
// each item through `write_item`, which writes it at the pointer that
// `start_item` returns for its length and stays inside the record's room.
template <class ItemWriter>
std::size_t format_record_with(const orbit::ephemeris_record& record, char* out,
                               ItemWriter write_item) {
  // The record's values in their order, as their bits.
  static_assert(sizeof record == RECORD_VALUES * sizeof(double));
  const auto values = portable::bit_cast<std::array<std::uint64_t, RECORD_VALUES>>(record);
  char* next = out;
  std::size_t column = 0;
  // Each item's length is known before it is stored, so a line end can come
  // first: LINE_END is written at `next` in any case, and the item goes after
  // it if the line must end or over it if not. Returns where the item goes.
  auto start_item = [&](std::size_t length) {
    // The first item never ends a line: it is shorter than a line.
    static_assert(MAX_ITEM_SIZE < LIST_LINE_LIMIT);
    const bool line_end = column + length >= LIST_LINE_LIMIT;
    std::memcpy(next, LINE_END, LINE_END_SIZE);
    next += line_end ? LINE_END_SIZE : 0;
    column = (line_end ? 0 : column) + length;
    char* const item = next;
    next += length;
    return item;
  };
  for (const std::uint64_t bits : values) write_item(bits, start_item);
  std::memcpy(next, LINE_END, LINE_END_SIZE);
  next += LINE_END_SIZE;
  assert(static_cast<std::size_t>(next - out) <= MAX_RECORD_SIZE && "a record fits its room");
  return static_cast<std::size_t>(next - out);
}

// The item of any value through <charconv>, placed where `start_item` says.
template <class StartItem>
void write_other_item(double value, StartItem& start_item) {
  char item[MAX_ITEM_SIZE];
  const std::size_t length = format_other_item(value, item);
  std::memcpy(start_item(length), item, length);
}

}  // namespace

namespace list_output_detail {

std::size_t format_item_portable(double value, char* out) {
  return format_other_item(value, out);
}

std::size_t format_record_portable(const orbit::ephemeris_record& record, char* out) {
  return format_record_with(record, out, [](std::uint64_t bits, auto& start_item) {
    write_other_item(portable::bit_cast<double>(bits), start_item);
  });
}

}  // namespace list_output_detail

#if LIST_OUTPUT_INTEGER_ITEMS

using list_output_integer::fixed_form_binade;
using list_output_integer::FIXED_FORM_BINADES;
using list_output_integer::make_fixed_item;
using list_output_integer::write_fixed_item;

std::size_t format_item(double value, char* out) {
  const auto bits = portable::bit_cast<std::uint64_t>(value);
  if (fixed_form_binade(bits) < FIXED_FORM_BINADES) [[likely]] {
    std::size_t length = 0;
    auto at_out = [out, &length](std::size_t item_length) {
      length = item_length;
      return out;
    };
    write_fixed_item(make_fixed_item(bits), at_out);
    return length;
  }
  return format_other_item(value, out);
}

std::size_t format_record(const orbit::ephemeris_record& record, char* out) {
  return format_record_with(record, out, [](std::uint64_t bits, auto& start_item) {
    if (fixed_form_binade(bits) < FIXED_FORM_BINADES) [[likely]] {
      // The item's stores reach MAX_ITEM_SIZE bytes, the ones after it to be
      // written over by what follows. That stays inside out[0, MAX_RECORD_SIZE):
      // the k-th item (from 0) starts at most at k * (MAX_ITEM_SIZE +
      // LINE_END_SIZE), after k items and k line ends, so the eighth item's
      // stores end by 7 * (17 + LINE_END_SIZE) + 17 = 143 (150 with CR LF).
      write_fixed_item(make_fixed_item(bits), start_item);
    } else {
      write_other_item(portable::bit_cast<double>(bits), start_item);
    }
  });
}

#else  // the <charconv> path alone

std::size_t format_item(double value, char* out) {
  return list_output_detail::format_item_portable(value, out);
}

std::size_t format_record(const orbit::ephemeris_record& record, char* out) {
  return list_output_detail::format_record_portable(record, out);
}

#endif  // LIST_OUTPUT_INTEGER_ITEMS

}  // namespace datafiles
