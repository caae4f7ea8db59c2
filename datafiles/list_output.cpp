#include "datafiles/list_output.h"

#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace datafiles {
namespace {

// Nine significant digits, as "%.9G" gives them.
constexpr int SIGNIFICANT_DIGITS = 9;

#if LIST_OUTPUT_INTEGER_ITEMS

// ---------------------------------------------------------------------------
// Magnitudes in [2^-13, 2^29), written by exact integer arithmetic.
//
// "%.9G" writes every such magnitude in fixed form: 2^-13 > 1E-04, and below
// 2^29 < 999999999.5 the nine-digit rounding cannot reach 1E+09.

constexpr int FIXED_FORM_LOWEST_BINADE = -13;  // binary exponent of 2^-13
constexpr int FIXED_FORM_BINADES = 42;         // 2^-13 up to 2^29
constexpr int FIXED_FORM_LOWEST_DECIMAL = -4;  // decimal exponents -4 ... 8
constexpr int FIXED_FORM_DECIMALS = 13;

constexpr int SIGNIFICAND_BITS = 52;  // stored fraction bits of a double
constexpr std::uint64_t HIDDEN_BIT = std::uint64_t{1} << SIGNIFICAND_BITS;
constexpr std::uint64_t FRACTION_MASK = HIDDEN_BIT - 1;
constexpr int EXPONENT_BIAS = 1023;

constexpr std::uint64_t ONE_E8 = 100000000;
constexpr std::uint64_t ONE_E9 = 1000000000;

using wide = unsigned __int128;

constexpr wide power_of_ten(int n) {
  wide p = 1;
  for (int k = 0; k < n; ++k) p *= 10;
  return p;
}

// What turns a magnitude of one binade into its nine decimal digits.
//
// A magnitude v in the binade [2^e, 2^(e+1)) is m * 2^(e-52) exactly, m its
// 53-bit significand. With X = floor(log10 v), the nine digits are v * 10^(8-X)
// rounded to an integer. Taking
//     M = 10^(8-X) * 2^(12+e),
// which is an integer that fits 64 bits (checked when the table is built; it
// is below 2^42),
//     v * 10^(8-X) = m * M / 2^64
// exactly, so the 128-bit product m * M holds the integer part in its high
// word and the fraction, in units of 2^-64, in its low word: no shift and no
// division is needed. X is the decimal exponent of the binade's least value,
// or one more from the significand `threshold` on: a binade spans a factor of
// two, so at most one power of ten falls inside it.
struct binade_scaling {
  std::uint64_t threshold;      // least m with v >= 10^(X0 + 1); 2^53 or more if none
  std::uint64_t multiplier[2];  // M for X = X0 and X = X0 + 1 (for X0 if none)
  int decimal_exponent;         // X0 = floor(log10 2^e)
};

// Exactly floor(log10 2^e): the greatest X with 10^X <= 2^e.
constexpr int decimal_exponent_of_power_of_two(int e) {
  int x = -20;
  for (;;) {
    const int next = x + 1;
    // Whether 10^next <= 2^e, compared as integers: 10^next <= 2^e when both
    // exponents are at least 0, 2^-e <= 10^-next when both are negative.
    const bool fits = next >= 0 ? e >= 0 && power_of_ten(next) <= (wide{1} << e)
                                : e >= 0 || (wide{1} << -e) <= power_of_ten(-next);
    if (!fits) return x;
    x = next;
  }
}

// M = 10^(8-x) * 2^(12+e), failing the constant evaluation if it is not an
// integer or does not fit 64 bits.
constexpr std::uint64_t scaling_multiplier(int e, int x) {
  if (x > 8) throw "fixed form has at most nine digits before the point";
  wide m = power_of_ten(8 - x);
  if (12 + e >= 0) {
    m <<= 12 + e;
  } else {
    if (m % (wide{1} << -(12 + e)) != 0) throw "the multiplier must be an integer";
    m >>= -(12 + e);
  }
  if (m >> 64 != 0) throw "the multiplier must fit 64 bits";
  return static_cast<std::uint64_t>(m);
}

constexpr std::array<binade_scaling, FIXED_FORM_BINADES> make_binade_scalings() {
  std::array<binade_scaling, FIXED_FORM_BINADES> table{};
  for (int k = 0; k < FIXED_FORM_BINADES; ++k) {
    const int e = FIXED_FORM_LOWEST_BINADE + k;
    const int x0 = decimal_exponent_of_power_of_two(e);
    // threshold = ceil(10^(x0+1) * 2^(52-e)), here 52 - e is in [24, 65].
    const int scale = SIGNIFICAND_BITS - e;
    wide threshold;
    if (x0 + 1 >= 0) {
      threshold = power_of_ten(x0 + 1) << scale;
    } else {
      const wide divisor = power_of_ten(-(x0 + 1));
      threshold = ((wide{1} << scale) + divisor - 1) / divisor;
    }
    const bool holds_power_of_ten = threshold < (wide{1} << (SIGNIFICAND_BITS + 1));
    table[static_cast<std::size_t>(k)] = {
        static_cast<std::uint64_t>(threshold),
        {scaling_multiplier(e, x0), scaling_multiplier(e, holds_power_of_ten ? x0 + 1 : x0)},
        x0};
  }
  return table;
}

constexpr std::array<binade_scaling, FIXED_FORM_BINADES> BINADE_SCALINGS = make_binade_scalings();

// The three decimal digits of each n < 1000 as byte values 0..9 of a word,
// the first digit in the lowest byte (the order of the characters in memory).
// At 4 KiB the table stays in the nearest cache beside the rest of the run.
// One more entry, for 1000, reads as 100: see digits_of().
constexpr std::size_t THREE_DIGIT_GROUPS = 1001;

constexpr std::array<std::uint32_t, THREE_DIGIT_GROUPS> make_three_digit_groups() {
  std::array<std::uint32_t, THREE_DIGIT_GROUPS> table{};
  for (std::uint32_t n = 0; n < THREE_DIGIT_GROUPS; ++n) {
    const std::uint32_t m = n == 1000 ? 100 : n;
    table[n] = (m / 100) | (m / 10 % 10) << 8 | (m % 10) << 16;
  }
  return table;
}

constexpr std::array<std::uint32_t, THREE_DIGIT_GROUPS> THREE_DIGIT_GROUP_TABLE =
    make_three_digit_groups();

// The nine digits d0..d8 of q < 10^9 as byte values 0..9, the bytes of two
// words from the lowest: d0..d2 (the rest zero) and d1..d8. Three look-ups of
// three digits each, the three quotients taken from q itself. For q = 10^9
// they are the digits of 10^8 (the first three read 1000, an entry of its
// own).
struct nine_digits {
  std::uint64_t d0_to_d2;
  std::uint64_t d1_to_d8;
};

constexpr nine_digits digits_of(std::uint32_t q) {
  const std::uint32_t first_three = q / 1000000;
  const std::uint32_t first_six = q / 1000;
  const std::uint64_t high = THREE_DIGIT_GROUP_TABLE[first_three];
  const std::uint64_t middle = THREE_DIGIT_GROUP_TABLE[first_six - 1000 * first_three];
  const std::uint64_t low = THREE_DIGIT_GROUP_TABLE[q - 1000 * first_six];
  return {high, high >> 8 | middle << 16 | low << 40};
}
static_assert(digits_of(123456789).d0_to_d2 == 0x030201);
static_assert(digits_of(123456789).d1_to_d8 == 0x09080706'05040302);
static_assert(digits_of(990000009).d1_to_d8 == 0x09000000'00000009);
static_assert(digits_of(100000000).d1_to_d8 == 0);
static_assert(digits_of(1000000000).d0_to_d2 == 1 && digits_of(1000000000).d1_to_d8 == 0);

constexpr std::uint64_t ASCII_ZEROS = 0x30303030'30303030;

constexpr std::uint64_t character_at(char c, int place) {
  return static_cast<std::uint64_t>(static_cast<unsigned char>(c)) << (8 * place);
}

// What an item of a magnitude in [2^-13, 2^29) is made of.
struct fixed_item {
  std::uint64_t sign;      // ('-' ^ ' ') in byte 1 for a value below zero, else 0
  std::uint64_t d0_to_d2;  // the characters d0 d1 d2 in the lowest bytes, zeros above
  std::uint64_t d1_to_d8;  // the characters d1..d8, d1 in the lowest byte
  int decimal_exponent;    // X, in -4..8
  std::size_t last;        // the place in d0..d8 of the last digit that is not a zero
};

// The length and the stores of an item for the decimal exponent X. The item
// is written as a few overlapping words (their bytes, lowest first, are
// characters in order), each over the end of the one before, all inside
// out[0, 16); what is stored after the item's length does not matter:
//
//   X >= 0: two blanks, d0..dX, the point, d(X+1)..d8 (at most 12 characters,
//     the zeros at the end of d(X+1)..d8 left out). The head word puts the
//     blanks and d0 d1 d2 at byte 0; d1..d8 go at byte 3 where X >= 1; the
//     point at byte 3 + X; then d(X+1)..d8 at byte 4 + X, as a whole word
//     where it fits the sixteen bytes (X <= 4) and as half a word where X is
//     5..7 (two or three digits).
//   X < 0: two blanks, "0.", -X-1 zeros and d0..d8 (at most 16 characters,
//     the zeros at the end left out). The head word gives all but the digits
//     and then d0 d1 d2 from byte 3-X, as many as fit; d1..d8 go at byte 4-X.
template <int X>
constexpr std::size_t fixed_item_length(std::size_t last) {
  constexpr std::size_t base = X >= 0 ? 4 : 4 - X;
  constexpr std::size_t least = X >= 0 ? X : 0;  // the places of digits shown in any case
  return base + (least > last ? least : last);
}

template <int X>
[[gnu::always_inline]] inline void store_fixed_item(const fixed_item& item, char* out) {
  static_assert(X >= FIXED_FORM_LOWEST_DECIMAL &&
                X < FIXED_FORM_LOWEST_DECIMAL + FIXED_FORM_DECIMALS);
  constexpr int head_shift = 8 * (X >= 0 ? 2 : 3 - X);
  std::uint64_t prefix = character_at(' ', 0) | character_at(' ', 1);
  if constexpr (X < 0) {
    prefix |= character_at('0', 2) | character_at('.', 3);
    for (int place = 4; place < 3 - X; ++place) prefix |= character_at('0', place);
  }
  const std::uint64_t head = prefix | item.sign | item.d0_to_d2 << head_shift;
  std::memcpy(out, &head, sizeof head);
  if constexpr (X < 0) {
    std::memcpy(out + 4 - X, &item.d1_to_d8, sizeof item.d1_to_d8);
  } else {
    if constexpr (X >= 1) std::memcpy(out + 3, &item.d1_to_d8, sizeof item.d1_to_d8);
    out[3 + X] = '.';
    if constexpr (X <= 4) {
      const std::uint64_t after_point = item.d1_to_d8 >> (8 * X);
      std::memcpy(out + 4 + X, &after_point, sizeof after_point);
    } else if constexpr (X <= 7) {
      const auto after_point = static_cast<std::uint32_t>(item.d1_to_d8 >> (8 * X));
      std::memcpy(out + 4 + X, &after_point, sizeof after_point);
    }
  }
}

// The place of the binade of a value with these bits in BINADE_SCALINGS:
// FIXED_FORM_BINADES or more if its magnitude is not in [2^-13, 2^29) (below
// the lowest binade wraps round to a large number; NaNs and infinities are
// above).
constexpr std::uint64_t fixed_form_binade(std::uint64_t bits) {
  return ((bits >> SIGNIFICAND_BITS) & 0x7FF) - (EXPONENT_BIAS + FIXED_FORM_LOWEST_BINADE);
}

// The item of the value with these bits, whose magnitude is in [2^-13, 2^29).
// Such a value is less than zero exactly when its sign bit is set.
[[gnu::always_inline]] inline fixed_item make_fixed_item(std::uint64_t bits) {
  const binade_scaling& scaling = BINADE_SCALINGS[fixed_form_binade(bits)];
  const std::uint64_t significand = (bits & FRACTION_MASK) | HIDDEN_BIT;
  const bool above_power_of_ten = significand >= scaling.threshold;
  int decimal_exponent = scaling.decimal_exponent + above_power_of_ten;

  // q + f / 2^64 = v * 10^(8-X) exactly, q in [10^8, 10^9).
  // Both multipliers are read, then one is chosen, so neither read waits for
  // the comparison.
  const std::uint64_t lower = scaling.multiplier[0];
  const std::uint64_t upper = scaling.multiplier[1];
  const wide product = wide{significand} * (above_power_of_ten ? upper : lower);
  auto q = static_cast<std::uint64_t>(product >> 64);
  const auto f = static_cast<std::uint64_t>(product);
  assert(q >= ONE_E8 && q < ONE_E9 && "the scaling gives nine digits before rounding");
  // Round to nearest, ties to even (the C library's rounding in the default
  // mode): up when f > 2^63, or f == 2^63 and q is odd, that is when
  // f > 2^63 - (q & 1); no sum here can overflow.
  q += f > (std::uint64_t{1} << 63) - (q & 1);
  // Rounding up to 10^9 carries to the next power of ten. That stays in fixed
  // form: the carry needs X <= 7, since below 2^29 < 999999999.5 the value
  // rounds to at most 536870912 when X = 8. The digits of 10^9 are those of
  // 10^8 (digits_of() takes both).
  decimal_exponent += q == ONE_E9;

  const nine_digits digits = digits_of(static_cast<std::uint32_t>(q));  // q <= 10^9 < 2^32
  fixed_item item;
  item.decimal_exponent = decimal_exponent;
  // The place of the last digit that is not a zero: a zero digit is a zero
  // byte, and d1..d8 are the bytes of `d1_to_d8` from the lowest, so it is
  // d(b) where b is the number of bytes up to the highest one that is not
  // zero: the bit width w rounded up to whole bytes (0 when all are zero,
  // which leaves d0, never zero). The top bit of the word is clear (d8 <= 9),
  // so the width of (d1_to_d8 << 1) | 1 is w + 1 and, never zero, needs no
  // test.
  item.last = (static_cast<unsigned>(std::bit_width((digits.d1_to_d8 << 1) | 1)) + 6) / 8;
  item.d0_to_d2 = digits.d0_to_d2 + ASCII_ZEROS % (std::uint64_t{1} << 24);
  item.d1_to_d8 = digits.d1_to_d8 + ASCII_ZEROS;
  item.sign = static_cast<std::uint64_t>(static_cast<std::int64_t>(bits) >> 63) &
              character_at('-' ^ ' ', 1);
  return item;
}

// Writes the item at the place that start_item(length) returns, which has
// room for sixteen bytes, and returns its length. The branch on the decimal
// exponent is well predicted: each place of a record mostly keeps its
// exponent from one record to the next.
template <class StartItem>
[[gnu::always_inline]] inline void write_fixed_item(const fixed_item& item, StartItem& start_item) {
  auto write = [&item, &start_item]<int X>() {
    store_fixed_item<X>(item, start_item(fixed_item_length<X>(item.last)));
  };
  switch (item.decimal_exponent) {
    case -4:
      return write.template operator()<-4>();
    case -3:
      return write.template operator()<-3>();
    case -2:
      return write.template operator()<-2>();
    case -1:
      return write.template operator()<-1>();
    case 0:
      return write.template operator()<0>();
    case 1:
      return write.template operator()<1>();
    case 2:
      return write.template operator()<2>();
    case 3:
      return write.template operator()<3>();
    case 4:
      return write.template operator()<4>();
    case 5:
      return write.template operator()<5>();
    case 6:
      return write.template operator()<6>();
    case 7:
      return write.template operator()<7>();
    case 8:
      return write.template operator()<8>();
    default:
      __builtin_unreachable();
  }
}

#endif  // LIST_OUTPUT_INTEGER_ITEMS

// ---------------------------------------------------------------------------
// Every other value (zero, magnitudes below 2^-13 or from 2^29, infinities and
// NaNs), and every value where the integer items are not built.

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
  char* end = std::to_chars(out, out + (MAX_ITEM_SIZE - 2), magnitude, std::chars_format::general,
                            SIGNIFICANT_DIGITS)
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
std::size_t format_record_with(const ephemeris_record& record, char* out, ItemWriter write_item) {
  const double values[RECORD_VALUES] = {
      record.date,           record.right_ascension,     record.declination,
      record.solar_distance, record.observer_distance,   record.elongation,
      record.phase_angle,    record.illuminated_fraction};
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
  for (const double value : values) write_item(value, start_item);
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

std::size_t format_record_portable(const ephemeris_record& record, char* out) {
  return format_record_with(
      record, out, [](double value, auto& start_item) { write_other_item(value, start_item); });
}

}  // namespace list_output_detail

#if LIST_OUTPUT_INTEGER_ITEMS

std::size_t format_item(double value, char* out) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
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

std::size_t format_record(const ephemeris_record& record, char* out) {
  return format_record_with(record, out, [](double value, auto& start_item) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    if (fixed_form_binade(bits) < FIXED_FORM_BINADES) [[likely]] {
      // The item is stored as sixteen bytes, the ones after it to be written
      // over by what follows. That stays inside out[0, MAX_RECORD_SIZE): the
      // k-th item (from 0) starts at most at k * (MAX_ITEM_SIZE + LINE_END_SIZE),
      // after k items and k line ends, so the eighth store ends by
      // 7 * (17 + LINE_END_SIZE) + 16 = 142 (149 with CR LF).
      write_fixed_item(make_fixed_item(bits), start_item);
    } else {
      write_other_item(value, start_item);
    }
  });
}

#else  // the <charconv> path alone

std::size_t format_item(double value, char* out) {
  return list_output_detail::format_item_portable(value, out);
}

std::size_t format_record(const ephemeris_record& record, char* out) {
  return list_output_detail::format_record_portable(record, out);
}

#endif  // LIST_OUTPUT_INTEGER_ITEMS

}  // namespace datafiles
