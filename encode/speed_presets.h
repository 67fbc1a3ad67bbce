// What each speed setting (0 slowest and best .. 4 fastest) lets the block
// choice try. The search never skips a candidate that its estimate says
// could still win; the settings trim the alternatives that rarely do.
#pragma once
#include <cstdint>

constexpr int kSpeedCount = 5;
constexpr int kDefaultSpeed = 2;

struct SpeedPreset {
  int q_spread;            // quantisers tried each side of the central one
  double q_margin;         // ... when the central one costs at most this times the best so far
  int residue_limits;      // truncated residue limits tried beside the exact one (0..4)
  int motion_step;         // first step of the shrinking eight-point motion search (0: diamond only)
  int motion_refine;       // then every vector this far around the best
  bool motion_neighbours;  // also start from the above-right block's vector
  bool scaled;             // try scaled blocks
  int runs_distinct;       // try run blocks with at most this many distinct values (0: none, nor raw blocks)
  bool pattern;            // try two-colour pattern blocks
  bool intra_after_motion; // try intra codings even when the motion candidate is good
  // Transform candidates: 0 chooses every one's values for rate and
  // distortion; above 0 they are ranked rounded this way (a dead zone), and
  // only the best quantiser of each transform kind gets the choice, when it
  // costs at most refine_margin times the best so far.
  double quick_rounding;
  double refine_margin;
};

// Clamped to 0..kSpeedCount-1.
const SpeedPreset& SpeedPresetFor(int speed);
