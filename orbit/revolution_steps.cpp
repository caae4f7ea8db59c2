// The table of revolution_steps.h, built once a run: each binade's settled
// step and, where the walk down from its stretch is known piece by piece
// (mean_anomaly.cpp, notes 1 to 4), those pieces, found by running the loops
// once per piece.
#include "orbit/revolution_steps.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>

#include "orbit/binade.h"
#include "orbit/portable.h"

namespace orbit {
namespace {

using binade = revolution_steps::binade;

// The lowest double v whose step v - two_pi stays at or above `edge`.
double lowest_staying(double edge, double two_pi) {
  double v = edge + two_pi;
  while (v - two_pi >= edge) v = std::nextafter(v, 0.0);
  while (v - two_pi < edge) v = std::nextafter(v, 2 * v);
  return v;
}

// The lowest double at least `d` above `from`, or more than `d` if `beyond`;
// `from` + `d` at most twice `from`, so the check is exact.
double first_past(double from, double d, bool beyond) {
  double v = from + d;
  if (beyond ? v - from <= d : v - from < d) v = std::nextafter(v, 2 * v);
  return v;
}

// Below the returned power of two X every step of the loops is exact (note 3).
double exact_below(double two_pi) {
  const int zeros =
      std::countr_zero(portable::bit_cast<std::uint64_t>(two_pi) | (std::uint64_t{1} << 52));
  return std::ldexp(1.0, binade_of(two_pi) + zeros + 1);
}

// Fills binade j's pieces (note 4), or leaves it untabulated.
void tabulate(revolution_steps& table, int j, double two_pi) {
  binade& b = table.binades[j];
  b.tabulated = false;
  const double exact = exact_below(two_pi);
  if (b.tie || !(b.edge > exact)) return;
  double edges[revolution_steps::BINADES];
  double staying[revolution_steps::BINADES];
  int below = 0;
  for (int i = b.next;; i = table.binades[i].next) {
    if (i < revolution_steps::FIRST_BINADE || table.binades[i].edge < exact) return;
    edges[below] = table.binades[i].edge;
    staying[below] = lowest_staying(edges[below], two_pi);
    if (edges[below++] == exact) break;
  }
  const double top = lowest_staying(b.edge, two_pi);
  b.width = top - b.edge;
  if (b.width < b.step) return;
  std::fill(std::begin(b.breaks), std::end(b.breaks), std::numeric_limits<double>::infinity());
  int pieces = 0;
  for (double start = b.edge; start < top;) {
    if (pieces == revolution_steps::PIECES) return;
    double v = start;
    double next = top;
    for (int i = 0; i < below; ++i) {
      v -= two_pi;
      while (v - two_pi >= edges[i]) v -= two_pi;
      next = std::min(next, first_past(start, staying[i] - v, false));
    }
    v -= two_pi;
    while (v > two_pi) v -= two_pi;
    next = std::min(next, first_past(start, two_pi - v, true));
    if (pieces > 0) b.breaks[pieces - 1] = start - b.edge;
    b.offsets[pieces++] = v - (start - b.edge);
    start = next;
  }
  b.bias = (top - b.step) * b.inverse + 0x1p-20;
  b.edge_and_step = b.edge + b.step;
  b.tabulated = true;
}

}  // namespace

revolution_steps make_revolution_steps(double two_pi) {
  revolution_steps table{};
  for (int j = revolution_steps::FIRST_BINADE; j < revolution_steps::BINADES; ++j) {
    binade& b = table.binades[j];
    // 1.5 * 2^j is an even multiple of the binade's spacing: its step is the
    // settled one.
    const double even = 1.5 * std::ldexp(1.0, j);
    b.step = even - (even - two_pi);
    const double odd = std::nextafter(even, 2 * even);
    b.tie = odd - (odd - two_pi) != b.step;
    // A step that crosses into the binade below is rounded to its finer
    // spacing; where that gives the same amount (and neither binade has a
    // tie), the two binades are one stretch of equal steps, and the binade
    // below already holds all this one does: the stretch's edge, the binade
    // below it and the pieces, which depend on the stretch alone.
    const binade* lower = j > revolution_steps::FIRST_BINADE ? &table.binades[j - 1] : nullptr;
    if (lower != nullptr && !b.tie && !lower->tie && lower->step == b.step) {
      b = *lower;
      continue;
    }
    b.edge = std::ldexp(1.0, j);
    b.next = j - 1;
    b.limit = b.edge + two_pi + b.step;
    b.inverse = 1 / b.step;
    // Binades the loops never reach are left to the walk.
    if (b.edge <= revolution_steps::MAX_LOOP_REVOLUTIONS * two_pi) tabulate(table, j, two_pi);
  }
  // The remainder by halves needs 2*pi in [4, 8): low below 2^-22.
  table.split = binade_of(two_pi) == 2;
  table.high = portable::bit_cast<double>(portable::bit_cast<std::uint64_t>(two_pi) &
                                          ~((std::uint64_t{1} << 28) - 1));
  table.low = two_pi - table.high;
  table.per_two_pi = 1 / two_pi;
  return table;
}

}  // namespace orbit
