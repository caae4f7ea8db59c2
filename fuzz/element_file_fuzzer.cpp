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
using datafiles::orbital_elements;
using datafiles::outcome;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "element_file_fuzzer: %s\n", what);
  std::abort();
}

bool same_bits(double x, double y) {
  return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
}

bool same_body(const orbital_elements& x, const orbital_elements& y) {
  return same_bits(x.a, y.a) && same_bits(x.e, y.e) && same_bits(x.i, y.i) && same_bits(x.w, y.w) &&
         same_bits(x.node, y.node) && same_bits(x.m0, y.m0) && same_bits(x.t0, y.t0) &&
         same_bits(x.mass, y.mass);
}

void check_body(const orbital_elements& b) {
  for (double v : {b.a, b.e, b.i, b.w, b.node, b.m0, b.t0, b.mass}) {
    if (!std::isfinite(v)) fail("accepted a value that is not finite");
  }
  if (!(b.a >= 1e-137 && b.a <= 1e153)) fail("accepted a semi-major axis outside [1e-137, 1e153]");
  for (double angle : {b.i, b.w, b.node, b.m0}) {
    if (!(std::fabs(angle) <= 5e307)) fail("accepted an angle outside [-5e307, 5e307]");
  }
  if (!(b.e >= 0 && b.e < 1)) fail("accepted an eccentricity outside [0, 1)");
  if (b.mass < 0) fail("accepted a negative mass");
}

void compare(const outcome<element_data>& whole, const outcome<element_data>& bytewise) {
  if (static_cast<bool>(whole) != static_cast<bool>(bytewise)) {
    fail("chunking changed success into failure");
  }
  if (!whole) {
    const io_failure& failed = whole.failure();
    const io_failure& other = bytewise.failure();
    if (failed.step != other.step || failed.reason != other.reason) {
      fail("chunking changed the failure");
    }
    if (failed.unit != datafiles::ELEMENT_UNIT || !failed.transfer_begun) {
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
