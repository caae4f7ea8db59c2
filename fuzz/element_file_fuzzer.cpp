// Feeds arbitrary bytes through the element file's four reads and checks.
// Besides the sanitizers' own findings, it stops on:
//   - a result that depends on how the bytes were chunked (the whole input at
//     once versus one byte per call through the smallest window);
//   - a failure without unit 1 or without a transfer begun;
//   - accepted values that break the checks (not finite, a outside
//     [1e-137, 1e153], e outside [0, 1), an angle beyond 5e307 degrees,
//     negative mass, infinite start date).
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "datafiles/element_file.h"

namespace {

using datafiles::element_data;
using datafiles::io_failure;
using datafiles::outcome;
using orbit::orbital_elements;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "element_file_fuzzer: %s\n", what);
  std::abort();
}

bool same_bits(double x, double y) {
  return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
}

bool same_body(const orbital_elements& x, const orbital_elements& y) {
  for (const datafiles::element_field& field : datafiles::ELEMENTS) {
    if (!same_bits(x.*field.member, y.*field.member)) return false;
  }
  return true;
}

// Each accepted value against its rule, restated here rather than taken from
// the checks under test.
void check_body(const orbital_elements& b) {
  using datafiles::element_rule;
  for (const datafiles::element_field& field : datafiles::ELEMENTS) {
    const double v = b.*field.member;
    if (!std::isfinite(v)) fail("accepted a value that is not finite");
    switch (field.rule) {
      case element_rule::semi_major_axis:
        if (!(v >= 1e-137 && v <= 1e153))
          fail("accepted a semi-major axis outside [1e-137, 1e153]");
        break;
      case element_rule::eccentricity:
        if (!(v >= 0 && v < 1)) fail("accepted an eccentricity outside [0, 1)");
        break;
      case element_rule::angle:
        if (!(std::fabs(v) <= 5e307)) fail("accepted an angle outside [-5e307, 5e307]");
        break;
      case element_rule::date:
        break;
      case element_rule::mass:
        if (v < 0) fail("accepted a negative mass");
        break;
    }
  }
}

void compare(const outcome<element_data>& whole, const outcome<element_data>& bytewise) {
  if (static_cast<bool>(whole) != static_cast<bool>(bytewise)) {
    fail("chunking changed success into failure");
  }
  if (!whole) {
    const io_failure& failed = whole.failure();
    const io_failure& other = bytewise.failure();
    if (failed.step != other.step || failed.reason_text() != other.reason_text() ||
        failed.where != other.where) {
      fail("chunking changed the failure or where it happened");
    }
    // The report's last line says where, in printable ASCII.
    for (const char c : failed.where) {
      if (c < 0x20 || c > 0x7e) fail("a byte outside printable ASCII in where a failure happened");
    }
    if (failed.unit != datafiles::io_unit::element || !failed.transfer_begun) {
      fail("a read failure without unit 1 or a transfer begun");
    }
    if (datafiles::report_text(failed).empty()) fail("an empty report");
    return;
  }
  const element_data& x = whole.value();
  const element_data& y = bytewise.value();
  if (!same_body(x.target, y.target) || !same_body(x.observer, y.observer) ||
      !same_bits(x.request.start, y.request.start) || x.request.count != y.request.count) {
    fail("chunking changed the values");
  }
  for (std::size_t k = 0; k < datafiles::READ_COUNT; ++k) {
    if (x.left_over[k].line != y.left_over[k].line || x.left_over[k].text != y.left_over[k].text ||
        x.left_over[k].text.size() > 20) {
      fail("chunking changed the numbers left over on a line");
    }
  }
  if (x.lines.start != y.lines.start || x.lines.count != y.lines.count ||
      x.lines.target != y.lines.target || x.lines.observer != y.lines.observer) {
    fail("chunking changed the lines of the values");
  }
  check_body(x.target);
  check_body(x.observer);
  if (!std::isfinite(x.request.start)) fail("accepted a start date that is not finite");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  datafiles::memory_source whole(text);
  datafiles::memory_source bytewise(text, 1);
  compare(datafiles::read_element_data(whole), datafiles::read_element_data(bytewise, 2));
  return 0;
}
