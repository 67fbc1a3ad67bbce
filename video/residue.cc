#include "video/residue.h"

#include "video/coefficient_list.h"
#include "video/coefficients_scan.h"

namespace {

struct ResiduePolicy {
  BitReader* r;
  int8_t* values;
  int mask;
  int limit;
  int updates;
  uint16_t significant[64];  // not bytes: see CoefficientList
  int significant_count;

  // Counts one change; false once the limit has been reached.
  bool Changed() {
    if (updates == limit) return false;
    ++updates;
    return true;
  }
  static constexpr bool kZeroRuns = true;
  int ZeroRun(int n) {
    const uint32_t bits = PeekBits(r, uint32_t(n));
    const int zeros = bits ? __builtin_ctz(bits) : n;
    SkipBits(r, uint32_t(zeros));
    return zeros;
  }
  void SkipOne() { SkipBits(r, 1); }
  bool EntryBit(int, int) { return ReadBit(r) != 0; }
  bool GroupBit(int) { return ReadBit(r) != 0; }
  bool Receive(int k) {
    // Each list index becomes significant once (the list structure sees to
    // it); the guard only keeps the array safe.
    if (significant_count < 64) significant[significant_count++] = uint16_t(k);
    values[k] = int8_t(ReadBit(r) ? -mask : mask);
    return Changed();
  }
  bool Refine() {
    for (int i = 0; i < significant_count; ++i) {
      if (!ReadBit(r)) continue;
      const int k = significant[i];
      values[k] = int8_t(values[k] < 0 ? values[k] - mask : values[k] + mask);
      if (!Changed()) return false;
    }
    return true;
  }
};

}  // namespace

void ReadResidue(BitReader* r, int limit, int8_t out[64]) {
  for (int k = 0; k < 64; ++k) out[k] = 0;
  CoefficientList list;
  ListStart(&list);
  ListAppend(&list, 4, 0);
  ListAppend(&list, 24, 0);
  ListAppend(&list, 44, 0);
  ListAppend(&list, 0, 2);
  BitReader local = *r;  // can live in registers through the walk
  ResiduePolicy p;
  p.r = &local;
  p.values = out;
  p.limit = limit;
  p.updates = 0;
  p.significant_count = 0;
  const int c = int(ReadBits(&local, 3));
  int run_end = list.head;
  for (int mask = 1 << c; mask >= 1; mask >>= 1) {
    p.mask = mask;
    if (!p.Refine() || !ListWalkPass(&list, p, run_end)) break;
    run_end = ListFrontRun(&list, run_end);
  }
  *r = local;
}

void ResidueAdd(const int8_t residue[64], uint8_t* dst, int pitch, const uint8_t* src, int src_pitch) {
  uint8_t natural[64];
  for (int k = 0; k < 64; ++k) natural[COEFF_SCAN[k]] = uint8_t(residue[k]);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) dst[y * pitch + x] = uint8_t(src[y * src_pitch + x] + natural[y * 8 + x]);
}
