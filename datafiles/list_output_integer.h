// The record formatter's exact integer path (list_output.cpp's, and only
// its): the items of magnitudes in [2^-13, 2^29), the common ones, written by
// 128-bit integer arithmetic and a table of three-digit groups, with the same
// bytes as the <charconv> path. Built where the machine is little-endian and
// the compiler has 128-bit integers (LIST_OUTPUT_INTEGER_ITEMS).
#pragma once

#if defined(__SIZEOF_INT128__) && defined(__BYTE_ORDER__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define LIST_OUTPUT_INTEGER_ITEMS 1
#else
#define LIST_OUTPUT_INTEGER_ITEMS 0
#endif

#if LIST_OUTPUT_INTEGER_ITEMS

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "datafiles/list_output.h"

namespace datafiles::list_output_integer {

// "%.9G" writes every such magnitude in fixed form: 2^-13 > 1E-04, and below
// 2^29 < 999999999.5 the nine-digit rounding cannot reach 1E+09.

inline constexpr int FIXED_FORM_LOWEST_BINADE = -13;  // binary exponent of 2^-13
inline constexpr int FIXED_FORM_BINADES = 42;         // 2^-13 up to 2^29
inline constexpr int FIXED_FORM_LOWEST_DECIMAL = -4;  // decimal exponents -4 ... 8
inline constexpr int FIXED_FORM_DECIMALS = 13;

inline constexpr int SIGNIFICAND_BITS = 52;  // stored fraction bits of a double
inline constexpr std::uint64_t HIDDEN_BIT = std::uint64_t{1} << SIGNIFICAND_BITS;
inline constexpr std::uint64_t FRACTION_MASK = HIDDEN_BIT - 1;
inline constexpr int EXPONENT_BIAS = 1023;

inline constexpr std::uint64_t ONE_E8 = 100000000;  // in assertions
inline constexpr std::uint64_t ONE_E9 = 1000000000;

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

inline constexpr std::array<binade_scaling, FIXED_FORM_BINADES> BINADE_SCALINGS =
    make_binade_scalings();

constexpr std::uint64_t character_at(char c, int place) {
  return static_cast<std::uint64_t>(static_cast<unsigned char>(c)) << (8 * place);
}

// The nine digits d0..d8 of q in [10^8, 10^9] are written in three groups of
// three, d0..d2, d3..d5 and d6..d8, the numbers q / 10^6, q / 10^3 mod 1000
// and q mod 1000. For each n up to 1000, a group's entry holds its three digits as
// characters (1000, where q = 10^9, reads as 100: rounding up to 10^9 gives
// the digits of 10^8) and, for each of the three places g of a group,
// `shown[g]`: one more than the place in d0..d8 of its last digit that is
// not a zero, 0 if it has none. The greatest of the three groups' values is
// then the count of digits up to the last one that is not a zero. At 8 KiB
// the table stays in the nearest cache beside the rest of the run.
struct digit_group {
  std::uint32_t characters;  // the first digit in the lowest byte, the highest byte zero
  std::uint8_t shown[3];
};

inline constexpr std::size_t DIGIT_GROUPS = 1001;

constexpr std::array<digit_group, DIGIT_GROUPS> make_digit_groups() {
  std::array<digit_group, DIGIT_GROUPS> table{};
  for (std::uint32_t n = 0; n < DIGIT_GROUPS; ++n) {
    const std::uint32_t m = n == 1000 ? 100 : n;
    const std::uint32_t digits[3] = {m / 100, m / 10 % 10, m % 10};
    digit_group& group = table[n];
    int count = 0;  // the digits up to the last that is not a zero
    for (int k = 0; k < 3; ++k) {
      group.characters |=
          static_cast<std::uint32_t>(character_at(static_cast<char>('0' + digits[k]), k));
      if (digits[k] != 0) count = k + 1;
    }
    for (int g = 0; g < 3; ++g) {
      group.shown[g] = static_cast<std::uint8_t>(count == 0 ? 0 : 3 * g + count);
    }
  }
  return table;
}

inline constexpr std::array<digit_group, DIGIT_GROUPS> DIGIT_GROUP_TABLE = make_digit_groups();
static_assert(DIGIT_GROUP_TABLE[120].characters == 0x303231 &&
              DIGIT_GROUP_TABLE[120].shown[1] == 5);
static_assert(DIGIT_GROUP_TABLE[1000].characters == 0x303031 && DIGIT_GROUP_TABLE[0].shown[2] == 0);

// What an item of a magnitude in [2^-13, 2^29) is made of.
struct fixed_item {
  std::uint64_t sign;       // ('-' ^ ' ') in byte 1 for a value below zero, else 0
  std::uint32_t groups[3];  // the characters of d0..d2, d3..d5, d6..d8
  int decimal_exponent;     // X, in -4..8
  std::size_t shown;        // the digits up to the last that is not a zero (1..9)
};

// The length and the stores of an item for the decimal exponent X. The item
// is written as overlapping words (their bytes, lowest first, are characters
// in order), each over the end of the one before, all inside
// out[0, MAX_ITEM_SIZE); what is stored after the item's length does not
// matter:
//
//   X >= 0: two blanks, d0..dX, the point, d(X+1)..d8 (at most 12 characters,
//     the zeros at the end of d(X+1)..d8 left out). The head word gives the
//     blanks; d(k) goes at byte 2 + k before the point and 3 + k after it; a
//     group with the point inside is written whole before it and its digits
//     after the point again after it; the point at byte 3 + X comes last.
//   X < 0: two blanks, "0.", -X-1 zeros and d0..d8 (at most 16 characters,
//     the zeros at the end left out). The head word gives all but the
//     digits; d(k) goes at byte 3 - X + k.
template <int X>
constexpr std::size_t fixed_item_length(std::size_t shown) {
  // The length is 4 + max(X, last digit's place) for X >= 0 and
  // 4 - X + that place for X < 0, the place being shown - 1.
  constexpr std::size_t base = X >= 0 ? 3 : static_cast<std::size_t>(3 - X);
  constexpr std::size_t least = X >= 0 ? static_cast<std::size_t>(X) + 1 : 0;  // shown in any case
  return base + (least > shown ? least : shown);
}

// Stores the group d(FIRST)..d(FIRST + 2) of an item for X, as above.
template <int X, int FIRST>
[[gnu::always_inline]] inline void store_group(std::uint32_t characters, char* out) {
  constexpr bool split = X >= FIRST && X < FIRST + 2;  // the point comes inside the group
  constexpr int place = X < 0 ? 3 - X + FIRST : X >= FIRST + 2 || split ? 2 + FIRST : 3 + FIRST;
  static_assert(place + sizeof characters <= MAX_ITEM_SIZE);
  std::memcpy(out + place, &characters, sizeof characters);
  if constexpr (split) {
    const std::uint32_t after_point = characters >> (8 * (X - FIRST + 1));
    static_assert(4 + X + sizeof after_point <= MAX_ITEM_SIZE);
    std::memcpy(out + 4 + X, &after_point, sizeof after_point);
  }
}

template <int X>
[[gnu::always_inline]] inline void store_fixed_item(const fixed_item& item, char* out) {
  static_assert(X >= FIXED_FORM_LOWEST_DECIMAL &&
                X < FIXED_FORM_LOWEST_DECIMAL + FIXED_FORM_DECIMALS);
  std::uint64_t prefix = character_at(' ', 0) | character_at(' ', 1);
  if constexpr (X < 0) {
    prefix |= character_at('0', 2) | character_at('.', 3);
    for (int place = 4; place < 3 - X; ++place) prefix |= character_at('0', place);
  }
  const std::uint64_t head = prefix | item.sign;
  std::memcpy(out, &head, sizeof head);
  store_group<X, 0>(item.groups[0], out);
  store_group<X, 3>(item.groups[1], out);
  store_group<X, 6>(item.groups[2], out);
  if constexpr (X >= 0) out[3 + X] = '.';
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
  const binade_scaling& scaling =
      BINADE_SCALINGS[static_cast<std::size_t>(fixed_form_binade(bits))];
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
  // rounds to at most 536870912 when X = 8. The digit groups of 10^9 read
  // as those of 10^8.
  decimal_exponent += q == ONE_E9;

  const auto nine_digits = static_cast<std::uint32_t>(q);  // q <= 10^9 < 2^32
  const std::uint32_t first_three = nine_digits / 1000000;
  const std::uint32_t first_six = nine_digits / 1000;
  const digit_group& high = DIGIT_GROUP_TABLE[first_three];
  const digit_group& middle = DIGIT_GROUP_TABLE[first_six - 1000 * first_three];
  const digit_group& low = DIGIT_GROUP_TABLE[nine_digits - 1000 * first_six];
  fixed_item item;
  item.decimal_exponent = decimal_exponent;
  item.groups[0] = high.characters;
  item.groups[1] = middle.characters;
  item.groups[2] = low.characters;
  const std::size_t shown_high = high.shown[0];
  const std::size_t shown_middle = middle.shown[1];
  const std::size_t shown_low = low.shown[2];
  const std::size_t shown_first_six = shown_middle > shown_high ? shown_middle : shown_high;
  item.shown = shown_low > shown_first_six ? shown_low : shown_first_six;
  item.sign = static_cast<std::uint64_t>(static_cast<std::int64_t>(bits) >> 63) &
              character_at('-' ^ ' ', 1);
  return item;
}

// Writes the item at the place that start_item(length) returns, which has
// room for MAX_ITEM_SIZE bytes. The branch on the decimal exponent is well
// predicted: each place of a record mostly keeps its exponent from one record
// to the next.
template <class StartItem>
[[gnu::always_inline]] inline void write_fixed_item(const fixed_item& item, StartItem& start_item) {
  auto write = [&item, &start_item]<int X>() {
    store_fixed_item<X>(item, start_item(fixed_item_length<X>(item.shown)));
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

}  // namespace datafiles::list_output_integer

#endif  // LIST_OUTPUT_INTEGER_ITEMS
