#include "video/residue_writer.h"

#include <bit>

#include "base/bit_count.h"
#include "video/coefficient_list.h"

namespace {

int Magnitude(int8_t v) { return v < 0 ? -int(v) : int(v); }

struct ResidueWritePolicy {
  BitWriter* w;
  uint32_t bits;
  const int* mag;
  const int8_t* target;
  int8_t* values;  // what the reader holds so far
  int mask;
  int plane;  // bit length of the values that become significant in this pass
  const uint16_t* group_planes;  // per group of four: bit b set when a value has bit length b
  int limit;
  int updates;
  uint16_t significant[64];
  int significant_count;

  void Put(uint32_t v, uint32_t n) {
    bits += n;
    if (w) PutBits(w, v, n);
  }
  bool Changed() {
    if (updates == limit) return false;
    ++updates;
    return true;
  }
  bool EntryBit(int index, int mode) {
    const int end = index + ListEntrySpan(mode);
    bool any = false;
    if ((index & 3) == 0 && (end & 3) == 0) {
      // Every entry but a single index covers whole groups of four.
      uint32_t planes = 0;
      for (int g = index >> 2; g < end >> 2 && g < 16; ++g) planes |= group_planes[g];
      any = (planes >> plane) & 1;
    } else {
      for (int k = index; k < end && k < 64; ++k) any |= mag[k] >= mask && mag[k] < 2 * mask;
    }
    Put(any, 1);
    return any;
  }
  bool GroupBit(int k) {
    const bool waits = mag[k] < mask;
    Put(waits, 1);
    return waits;
  }
  bool Receive(int k) {
    significant[significant_count++] = uint16_t(k);
    Put(target[k] < 0, 1);
    values[k] = int8_t(target[k] < 0 ? -mask : mask);
    return Changed();
  }
  bool Refine() {
    for (int i = 0; i < significant_count; ++i) {
      const int k = significant[i];
      const bool set = (mag[k] & mask) != 0;
      Put(set, 1);
      if (!set) continue;
      values[k] = int8_t(values[k] < 0 ? values[k] - mask : values[k] + mask);
      if (!Changed()) return false;
    }
    return true;
  }
};

int TopMask(const int* mag) {
  int largest = 0;
  for (int k = 0; k < 64; ++k)
    if (mag[k] > largest) largest = mag[k];
  int c = 0;
  while (c < 7 && (2 << c) <= largest) ++c;
  return c;
}

}  // namespace

int ResidueChanges(const int8_t target[64]) {
  // Magnitudes are at most 128: eight to a word, counted together.
  int n = 0;
  for (int k = 0; k < 64; k += 8) {
    uint64_t word = 0;
    for (int i = 0; i < 8; ++i) word |= uint64_t(Magnitude(target[k + i])) << (8 * i);
    n += BitCount64(word);
  }
  return n;
}

uint32_t WriteResidue(BitWriter* w, const int8_t target[64], int limit, int8_t decoded[64]) {
  int mag[64];
  for (int k = 0; k < 64; ++k) mag[k] = Magnitude(target[k]);
  uint16_t group_planes[16] = {};
  for (int k = 0; k < 64; ++k) group_planes[k >> 2] |= uint16_t(1u << std::bit_width(unsigned(mag[k])));
  int8_t values[64] = {};
  ResidueWritePolicy p{};
  p.group_planes = group_planes;
  p.w = w;
  p.mag = mag;
  p.target = target;
  p.values = values;
  p.limit = limit;
  const int c = TopMask(mag);
  p.Put(uint32_t(c), 3);
  CoefficientList list;
  ListStart(&list);
  ListAppend(&list, 4, 0);
  ListAppend(&list, 24, 0);
  ListAppend(&list, 44, 0);
  ListAppend(&list, 0, 2);
  for (int mask = 1 << c; mask >= 1; mask >>= 1) {
    p.mask = mask;
    p.plane = std::bit_width(unsigned(mask));
    if (!p.Refine() || !ListWalkPass(&list, p)) break;
  }
  if (decoded)
    for (int k = 0; k < 64; ++k) decoded[k] = values[k];
  return p.bits;
}
