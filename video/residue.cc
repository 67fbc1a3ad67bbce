#include "video/residue.h"

#include <cstring>

#include "video/coefficient_list.h"
#include "video/coefficients_scan.h"

// The reader follows the list walk of coefficient_list.h bit for bit, on the
// readers' form of the list described there, with the residue's own steps:
// the refinement of the significant values before each pass, one sign bit
// per new value, and the limit on changes, which may end reading anywhere.
namespace {

struct ResidueWalk {
  BitReader r;  // a local copy, so that it can live in registers
  int8_t* values;
  int mask;
  int limit;
  int updates;
  uint8_t significant[64];  // in the order the indices became significant
  int significant_count;
  uint16_t* out;  // the list being written by this pass
  int front;      // its first entry (inserts go below it)

  // Counts one change; false once the limit has been reached.
  bool Changed() {
    if (updates == limit) return false;
    ++updates;
    return true;
  }

  bool Receive(int k) {
    // Each list index becomes significant once (the list structure sees to
    // it); the guard only keeps the array safe.
    if (significant_count < 64) significant[significant_count++] = uint8_t(k);
    values[k] = int8_t(ReadBit(&r) ? -mask : mask);
    return Changed();
  }

  bool Refine() {
    for (int i = 0; i < significant_count; ++i) {
      if (!ReadBit(&r)) continue;
      const int k = significant[i];
      values[k] = int8_t(values[k] < 0 ? values[k] - mask : values[k] + mask);
      if (!Changed()) return false;
    }
    return true;
  }

  bool Group(int first) {
    for (int k = first; k < first + 4; ++k) {
      if (ReadBit(&r))
        out[--front] = ListEntry(k, 3);
      else if (!Receive(k))
        return false;
    }
    return true;
  }

  // One pass over the list [head, tail) of `in`; the list that stays goes to
  // `out` and is returned in head and tail. False when the limit ended it.
  bool Pass(uint16_t* in, int* head, int* tail) {
    int i = *head, end = *tail;
    int j = kListMid;
    front = kListMid;
    while (i < end) {
      const int n = end - i < kListRun ? end - i : kListRun;
      BitReaderNeed(&r, kListRun);
      const int zeros = __builtin_ctzll(r.cache | uint64_t(1) << n);
      ListCopyRun(out + j, in + i);
      i += zeros;
      j += zeros;
      SkipBits(&r, uint32_t(zeros));
      if (zeros == n) continue;
      SkipBits(&r, 1);  // entry i's bit is 1
      const uint32_t e = in[i++];
      int index = int(e & 0xFF);
      switch (e >> 8) {
        case 3:
          if (!Receive(index)) return false;
          continue;
        case 2:
          if (!Group(index)) return false;
          continue;
        case 0:
          if (!Group(index)) return false;
          index += 4;
          if (!ReadBit(&r)) {
            out[j++] = ListEntry(index, 1);
            continue;
          }
          [[fallthrough]];
        default:  // 1: splits into four groups, three of them appended
          in[end] = ListEntry(index + 4, 2);
          in[end + 1] = ListEntry(index + 8, 2);
          in[end + 2] = ListEntry(index + 12, 2);
          end += 3;
          if (!ReadBit(&r)) {
            out[j++] = ListEntry(index, 2);
            continue;
          }
          if (!Group(index)) return false;
          continue;
      }
    }
    *head = front;
    *tail = j;
    return true;
  }
};

}  // namespace

void ReadResidue(BitReader* r, int limit, int8_t out[64]) {
  std::memset(out, 0, 64);
  ResidueWalk w;
  w.r = *r;
  w.values = out;
  w.limit = limit;
  w.updates = 0;
  w.significant_count = 0;
  uint16_t lists[2][kListSlots];
  int head = kListMid, tail = kListMid;
  lists[0][tail++] = ListEntry(4, 0);
  lists[0][tail++] = ListEntry(24, 0);
  lists[0][tail++] = ListEntry(44, 0);
  lists[0][tail++] = ListEntry(0, 2);
  int cur = 0;
  const int c = int(ReadBits(&w.r, 3));
  for (int mask = 1 << c; mask >= 1; mask >>= 1) {
    w.mask = mask;
    w.out = lists[cur ^ 1];
    if (!w.Refine() || !w.Pass(lists[cur], &head, &tail)) break;
    cur ^= 1;
  }
  *r = w.r;
}

void ResidueAdd(const int8_t residue[64], uint8_t* dst, int pitch, const uint8_t* src, int src_pitch) {
  uint8_t natural[64];
  for (int k = 0; k < 64; ++k) natural[COEFF_SCAN[k]] = uint8_t(residue[k]);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) dst[y * pitch + x] = uint8_t(src[y * src_pitch + x] + natural[y * 8 + x]);
}
