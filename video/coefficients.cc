#include "video/coefficients.h"

#include <cstring>

#include "video/coefficient_list.h"
#include "video/coefficients_scan.h"

namespace {

struct ReadPolicy {
  BitReader* r;
  int16_t* values;  // list order
  int b;            // current bit plane (1..15)

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
    if (b == 1) {
      values[k] = ReadBit(r) ? -1 : 1;
    } else {
      const uint32_t top = 1u << (b - 1);
      const uint32_t t = ReadBits(r, uint32_t(b));
      const int m = int(top | (t & (top - 1)));
      values[k] = int16_t((t & top) ? -m : m);
    }
    return true;
  }
};

}  // namespace

void ReadCoefficients(BitReader* r, int16_t block[64]) {
  int16_t values[64] = {};
  CoefficientList list;
  ListStart(&list);
  ListAppend(&list, 4, 0);
  ListAppend(&list, 24, 0);
  ListAppend(&list, 44, 0);
  ListAppend(&list, 1, 3);
  ListAppend(&list, 2, 3);
  ListAppend(&list, 3, 3);
  // A local copy of the reader can live in registers through the walk.
  BitReader local = *r;
  ReadPolicy p{&local, values, 0};
  int run_end = list.head;
  for (int b = int(ReadBits(&local, 4)); b >= 1; --b) {
    p.b = b;
    ListWalkPass(&list, p, run_end);
    run_end = ListFrontRun(&list, run_end);
  }
  *r = local;
  for (int k = 1; k < 64; ++k) block[COEFF_SCAN[k]] = values[k];
}
