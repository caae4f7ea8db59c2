// Feeds arbitrary bit patterns, every class of double among them (zeros of
// both signs, subnormals, infinities, NaNs with any payload and sign), to the
// record formatter and compares each item and the whole record with what
// snprintf("%.9G") gives once the layout rules are applied (by the tests'
// reference, tests/c_library_items.h):
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
#include "tests/c_library_items.h"

namespace {

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

  for (const double value : values) {
    const std::string want = c_library_reference::item(value);
    const auto item = std::make_unique<char[]>(MAX_ITEM_SIZE);
    const std::size_t length = datafiles::format_item(value, item.get());
    if (length > MAX_ITEM_SIZE) fail("an item beyond MAX_ITEM_SIZE", value, {}, want);
    const std::string_view got(item.get(), length);
    if (got != want) fail("a wrong item", value, got, want);
  }
  const std::string expected_record =
      c_library_reference::record(values, c_library_reference::item, "\n");

  const orbit::ephemeris_record record{values[0], values[1], values[2], values[3],
                                       values[4], values[5], values[6], values[7]};
  const auto out = std::make_unique<char[]>(MAX_RECORD_SIZE);
  const std::size_t length = datafiles::format_record(record, out.get());
  if (length > MAX_RECORD_SIZE) fail("a record beyond MAX_RECORD_SIZE", values[0], {}, {});
  const std::string_view got(out.get(), length);
  if (got != expected_record) fail("a wrong record", values[0], got, expected_record);
  return 0;
}
