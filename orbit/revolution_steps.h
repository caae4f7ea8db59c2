// The table that brings a mean anomaly into [0, 2*pi] in a few operations:
// built once a run for the run's 2*pi (make_revolution_steps), read on every
// date by reduce_mean_anomaly (orbit.h). Why its entries give the plain
// loops' result bit for bit: the notes of mean_anomaly.cpp.
#pragma once

namespace orbit {

// For each binade [2^j, 2^(j+1)) of |M|, the amount one subtraction of 2*pi
// really removes there once rounded to the binade's spacing. Neighbouring
// binades where that amount is the same form one stretch, walked in one go.
// Where the walk from a stretch down to the end is known piece by piece, the
// binade also holds those pieces, and the loops' result is one lookup away.
// Beyond the loops, 2*pi split in two halves gives the exact remainder.
struct revolution_steps {
  static constexpr int FIRST_BINADE = 4;  // below 16 the plain steps are few
  static constexpr int BINADES = 16;      // up to 2^16 > MAX_LOOP_REVOLUTIONS revolutions
  static constexpr double MAX_LOOP_REVOLUTIONS = 4096;  // beyond, an exact remainder
  static constexpr int PIECES = 8;  // at most, from one stretch to the end of the walk
  // The exact remainder by halves holds up to this many revolutions.
  static constexpr double MAX_SPLIT_REVOLUTIONS = 0x1p24;
  struct binade {
    double edge;     // the lower edge of the stretch of binades with this step
    double step;     // what m - 2*pi removes from m in this binade, once settled
    double limit;    // edge + 2*pi + step: the lowest start of a run taken at once
    double inverse;  // 1 / step
    bool tie;        // 2*pi falls halfway between two multiples of the spacing here
    int next;        // the binade just below the stretch
    // The pieces, where `tabulated`: the stretch's last value before it
    // crosses its edge lies at w in [0, width) above the edge, and the loops
    // end at w + offsets[p], p the number of breaks at or below w.
    bool tabulated;
    double width;               // the lowest m whose step stays in the stretch, less the edge
    double bias;                // (edge + width - step) * inverse + 2^-20, rounded
    double edge_and_step;       // edge + step
    double breaks[PIECES - 1];  // where each piece after the first begins, rising; then +inf
    double offsets[PIECES];     // the loops' result less w, per piece
  };
  binade binades[BINADES];
  double high;        // 2*pi with all but its first 25 significant bits cleared
  double low;         // 2*pi - high
  double per_two_pi;  // 1 / (2*pi)
  bool split;         // high and low hold the remainder's argument (2*pi in [4, 8))
};

// The table for `two_pi` (a positive finite double; the program's 2*pi).
revolution_steps make_revolution_steps(double two_pi);

}  // namespace orbit
