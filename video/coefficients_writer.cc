#include "video/coefficients_writer.h"

#include <cstdlib>

#include "video/coefficient_list.h"
#include "video/coefficients_scan.h"

namespace {

struct WritePolicy {
  BitWriter* w;
  uint32_t bits;
  const int* mag;   // magnitudes, list order
  const int* sign;  // 1 when negative
  int b;
  int threshold;  // 2^(b-1): a coefficient becomes significant in this pass

  void Put(uint32_t v, uint32_t n) {
    bits += n;
    if (w) PutBits(w, v, n);
  }
  const int* group_max;  // largest magnitude of each group of four positions
  bool EntryBit(int index, int mode) {
    const int end = index + ListEntrySpan(mode);
    bool any = false;
    if ((index & 3) == 0 && (end & 3) == 0) {
      // Every entry of the list covers whole groups of four.
      for (int g = index >> 2; g < end >> 2 && g < 16; ++g) any |= group_max[g] >= threshold;
    } else {
      for (int k = index; k < end && k < 64; ++k) any |= mag[k] >= threshold;
    }
    Put(any, 1);
    return any;
  }
  bool GroupBit(int k) {
    const bool waits = mag[k] < threshold;
    Put(waits, 1);
    return waits;
  }
  bool Receive(int k) {
    if (b == 1) {
      Put(uint32_t(sign[k]), 1);
    } else {
      const uint32_t top = 1u << (b - 1);
      Put((uint32_t(mag[k]) & (top - 1)) | (sign[k] ? top : 0u), uint32_t(b));
    }
    return true;
  }
};

}  // namespace

uint32_t WriteCoefficients(BitWriter* w, const int16_t block[64]) {
  int mag[64] = {};
  int sign[64] = {};
  int largest = 0;
  for (int k = 1; k < 64; ++k) {
    const int v = block[COEFF_SCAN[k]];
    mag[k] = std::abs(v) > 32767 ? 32767 : std::abs(v);
    sign[k] = v < 0;
    if (mag[k] > largest) largest = mag[k];
  }
  int planes = 0;
  while ((1 << planes) <= largest) ++planes;  // bits of the largest magnitude
  int group_max[16];
  for (int g = 0; g < 16; ++g) {
    const int* m = mag + 4 * g;
    const int a = m[0] > m[1] ? m[0] : m[1], b = m[2] > m[3] ? m[2] : m[3];
    group_max[g] = a > b ? a : b;
  }
  WritePolicy p{w, 0, mag, sign, 0, 0, group_max};
  p.Put(uint32_t(planes), 4);
  CoefficientList list;
  ListStart(&list);
  ListAppend(&list, 4, 0);
  ListAppend(&list, 24, 0);
  ListAppend(&list, 44, 0);
  ListAppend(&list, 1, 3);
  ListAppend(&list, 2, 3);
  ListAppend(&list, 3, 3);
  for (int b = planes; b >= 1; --b) {
    p.b = b;
    p.threshold = 1 << (b - 1);
    ListWalkPass(&list, p);
  }
  return p.bits;
}
