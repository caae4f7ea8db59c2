// Feeds arbitrary bit patterns, every class of double among them (zeros of
// both signs, subnormals, infinities, NaNs with any payload and sign), to the
// record formatter and compares each item and the whole record with what
// snprintf("%.9G") gives once the layout rules are applied here:
//   - an item is a blank, '-' for a value below zero or else a blank, then
//     "0." for a zero or the "%.9G" text of the magnitude, with a decimal
//     point put before the exponent (or at the end) of a text that begins
//     with neither I nor N and has none;
//   - a record ends a line before an item that would bring it to
//     LIST_LINE_LIMIT characters, and ends with a line end.
// Each output is written into a heap buffer of exactly the documented bound,
// so that the sanitizer stops on any write beyond it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "datafiles/list_output.h"

namespace {

using datafiles::LIST_LINE_LIMIT;
using datafiles::MAX_ITEM_SIZE;
using datafiles::MAX_RECORD_SIZE;
using datafiles::RECORD_VALUES;

[[noreturn]] void fail(const char* what, double value, std::string_view got,
                       std::string_view want) {
  std::fprintf(stderr, "record_formatter_fuzzer: %s for %a\n  got  \"%.*s\"\n  want \"%.*s\"\n",
               what, value, static_cast<int>(got.size()), got.data(), static_cast<int>(want.size()),
               want.data());
  std::abort();
}

std::string expected_item(double value) {
  std::string item = value < 0 ? " -" : "  ";
  const double magnitude = value < 0 ? -value : value;
  if (magnitude == 0) return item + "0.";
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%.9G", magnitude);
  std::string digits(text, static_cast<std::size_t>(length));
  if (digits[0] != 'I' && digits[0] != 'N' && digits.find('.') == std::string::npos) {
    const std::size_t exponent = digits.find('E');
    digits.insert(exponent == std::string::npos ? digits.size() : exponent, ".");
  }
  return item + digits;
}

double value_at(const std::uint8_t* data, std::size_t size, std::size_t index) {
  unsigned char bytes[sizeof(double)] = {};
  const std::size_t offset = index * sizeof(double);
  if (offset < size) std::memcpy(bytes, data + offset, std::min(sizeof bytes, size - offset));
  double value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  double values[RECORD_VALUES];
  for (std::size_t k = 0; k < RECORD_VALUES; ++k) values[k] = value_at(data, size, k);

  std::string expected_record;
  std::size_t column = 0;
  for (const double value : values) {
    const std::string want = expected_item(value);
    const auto item = std::make_unique<char[]>(MAX_ITEM_SIZE);
    const std::size_t length = datafiles::format_item(value, item.get());
    if (length > MAX_ITEM_SIZE) fail("an item beyond MAX_ITEM_SIZE", value, {}, want);
    const std::string_view got(item.get(), length);
    if (got != want) fail("a wrong item", value, got, want);

    if (column > 0 && column + want.size() >= LIST_LINE_LIMIT) {
      expected_record += '\n';
      column = 0;
    }
    expected_record += want;
    column += want.size();
  }
  expected_record += '\n';

  const datafiles::ephemeris_record record{values[0], values[1], values[2], values[3],
                                           values[4], values[5], values[6], values[7]};
  const auto out = std::make_unique<char[]>(MAX_RECORD_SIZE);
  const std::size_t length = datafiles::format_record(record, out.get());
  if (length > MAX_RECORD_SIZE) fail("a record beyond MAX_RECORD_SIZE", values[0], {}, {});
  const std::string_view got(out.get(), length);
  if (got != expected_record) fail("a wrong record", values[0], got, expected_record);
  return 0;
}
