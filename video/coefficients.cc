#include "video/coefficients.h"

#include <cstring>

#include "video/coefficient_list.h"
#include "video/coefficients_scan.h"

// The reader walks the list of coefficient_list.h in the same order as
// ListWalkPass does (the writer and the tests use that walk), specialised to
// the shape the coefficient list keeps:
//  - the waiting indices are exactly the entries in front of the start
//    entries, [head, kFront): the entry at kFront is the first start entry,
//    which is never a waiting one, so the leading run never reaches past it;
//  - the rest of the list, [kFront, tail), holds the start entries, the
//    waiting indices 1 to 3 and the appended groups.
// The bits of a group of four and of a waiting index in the rest of the list
// are taken without branching on their values: the coded bits are close to
// random there, and a wrong guess costs more than the few extra operations.
namespace {

// The value a coefficient gets when it becomes significant in plane b: b
// bits t (t < 2^b), the top one the sign and the others the magnitude below
// its leading one, which is implied. top = 1 << (b - 1).
inline int16_t PlaneValue(uint32_t t, uint32_t top, int b) {
  const int32_t m = int32_t(t | top);
  const int32_t s = int32_t(t << (32 - b)) >> 31;  // 0 or -1
  return int16_t((m ^ s) - s);
}

struct Walk {
  BitReader r;          // a local copy, so that it can live in registers
  int16_t* block;
  int b;                // current bit plane (1..15)
  uint32_t value_mask;  // (1 << b) - 1
  uint32_t top;         // 1 << (b - 1)
  CoefficientList list;

  // Index k becomes significant now.
  void Receive(int k) {
    block[COEFF_SCAN[k]] = PlaneValue(ReadBits(&r, uint32_t(b)), top, b);
  }

  // One bit, then b value bits when that bit is `value_on`: the shared step
  // of a group member (0: significant now, 1: waiting) and a waiting index
  // (1: significant now). Returns the first bit. The index is not yet
  // significant, so its block position holds zero until it becomes so; the
  // store and the bit count are masked rather than branched on. Needs
  // 1 + b bits in the cache.
  uint32_t Step(int k, uint32_t value_on) {
    const uint32_t w = uint32_t(r.cache);
    const uint32_t bit = w & 1;
    const uint32_t keep = 0u - (bit ^ value_on ^ 1u);  // all ones: significant now
    const int16_t v = PlaneValue((w >> 1) & value_mask, top, b);
    block[COEFF_SCAN[k]] = int16_t(uint16_t(v) & uint16_t(keep));
    const uint32_t n = 1 + (uint32_t(b) & keep);
    r.cache >>= n;
    r.bits -= n;
    return bit;
  }

  // A group of four: each index either becomes significant or waits in
  // front of the list. The front entry is written whether or not the index
  // waits; only a waiting one keeps it (the front has room for one more
  // entry than can ever wait). Up to plane 7 one load covers the group's
  // at most 32 bits; above it each step makes sure of its own.
  void Group(int first) {
    const bool each = b > 7;
    if (r.bits < 32) BitReaderLoad(&r);
#pragma GCC unroll 4
    for (int k = first; k < first + 4; ++k) {
      if (each && r.bits < 16) BitReaderLoad(&r);
      list.entry[list.head - 1] = uint16_t(k | 3 << 8);
      list.head -= int(Step(k, 0));
    }
  }

  // The waiting indices, a word of bits at a time (see ListWalkPass).
  void WaitingRun() {
    int i = list.head;
    while (i < CoefficientList::kFront) {
      const int n = CoefficientList::kFront - i < 32 ? CoefficientList::kFront - i : 32;
      const uint32_t bits = PeekBits(&r, uint32_t(n));
      const int zeros = bits ? __builtin_ctz(bits) : n;
      i += zeros;
      if (zeros == n) {
        SkipBits(&r, uint32_t(n));
        continue;
      }
      SkipBits(&r, uint32_t(zeros) + 1);
      const int index = int(list.entry[i] & 0xFF);
      std::memmove(&list.entry[list.head + 1], &list.entry[list.head], size_t(i - list.head) * sizeof(uint16_t));
      ++list.head;
      Receive(index);
      ++i;
    }
  }

  // The rest of the list, entries appended on the way included. Entries
  // that are done are dropped as the walk passes them (the others keep
  // their order), so no later pass steps over them.
  void Rest() {
    int j = CoefficientList::kFront;
    for (int i = CoefficientList::kFront; i < list.tail; ++i) {
      const uint32_t e = list.entry[i];
      int index = int(e & 0xFF);
      switch (e >> 8) {
        case 3: {
          if (r.bits < 16) BitReaderLoad(&r);
          list.entry[j] = uint16_t(e);
          j += int(Step(index, 1) ^ 1u);
          continue;
        }
        case 0:
          if (!ReadBit(&r)) {
            list.entry[j++] = uint16_t(e);
            continue;
          }
          Group(index);
          index += 4;
          if (!ReadBit(&r)) {
            list.entry[j++] = uint16_t(index | 1 << 8);
            continue;
          }
          [[fallthrough]];
        case 1:
          if (e >> 8 == 1 && !ReadBit(&r)) {
            list.entry[j++] = uint16_t(e);
            continue;
          }
          ListAppend(&list, index + 4, 2);
          ListAppend(&list, index + 8, 2);
          ListAppend(&list, index + 12, 2);
          if (!ReadBit(&r)) {
            list.entry[j++] = uint16_t(index | 2 << 8);
            continue;
          }
          Group(index);
          continue;
        default:  // 2
          if (!ReadBit(&r)) {
            list.entry[j++] = uint16_t(e);
            continue;
          }
          Group(index);
          continue;
      }
    }
    list.tail = j;
  }
};

}  // namespace

void ReadCoefficients(BitReader* r, int16_t block[64]) {
  const int16_t dc = block[0];
  std::memset(block, 0, 64 * sizeof(int16_t));
  block[0] = dc;
  Walk w;
  w.r = *r;
  w.block = block;
  ListStart(&w.list);
  ListAppend(&w.list, 4, 0);
  ListAppend(&w.list, 24, 0);
  ListAppend(&w.list, 44, 0);
  ListAppend(&w.list, 1, 3);
  ListAppend(&w.list, 2, 3);
  ListAppend(&w.list, 3, 3);
  for (int b = int(ReadBits(&w.r, 4)); b >= 1; --b) {
    w.b = b;
    w.value_mask = (1u << b) - 1;
    w.top = 1u << (b - 1);
    w.WaitingRun();
    w.Rest();
  }
  *r = w.r;
}
