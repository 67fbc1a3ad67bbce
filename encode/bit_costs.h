// Bit costs of bundle values, for choosing block kinds before the plane's
// prefix codes are known: the encoder measures them on the plane it coded last and uses them
// for the same plane of the next frame. The block kind's own cost is not in
// a candidate's bits; the chooser adds kind[] or sub_kind[].
#pragma once

struct BitCosts {
  double kind[16];
  double sub_kind[16];
  double colour, pattern, run, dc_intra, dc_inter;
  double offset[16];  // by magnitude, sign bit included
};
// Starting values for a plane with no history.
void BitCostsDefault(BitCosts* c);
inline double OffsetCost(const BitCosts& c, int v) { return c.offset[v < 0 ? -v : v]; }
