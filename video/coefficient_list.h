// The significance list that the coefficient and residue readers (and their
// writers) walk. Entries are (index, mode) pairs, index 0..63 in list order:
//   mode 0: a start entry; on a 1 it codes its own group of four and turns
//           into a mode-1 entry for the sixteen list indices after it;
//   mode 1: on a 1 it splits into four mode-2 groups (one kept, three
//           appended at the end);
//   mode 2: on a 1 it codes its group of four;
//   mode 3: a single index waiting to become significant; inserted in front.
// Entry (0, 0) is empty. Entries are emptied, never removed.
//
// The structure itself bounds the list: only the three start entries ever
// reach mode 1, so at most nine entries are appended, and at most one
// entry per list index is inserted in front (64 when index 0 takes part, as
// in the residue). The array below holds that worst case whatever the bits.
#pragma once
#include <cstdint>
#include <cstring>

struct CoefficientList {
  static constexpr int kFront = 72;  // room for 64 front inserts (+ margin)
  static constexpr int kSize = kFront + 8 + 12;
  // index | mode << 8; 0 is the empty entry. Not a byte array, so that
  // stores into the list cannot alias the bit reader's state.
  uint16_t entry[kSize];
  int head;  // first entry
  int tail;  // one past the last entry
};

inline void ListStart(CoefficientList* l) { l->head = l->tail = CoefficientList::kFront; }
inline void ListAppend(CoefficientList* l, int index, int mode) {
  l->entry[l->tail++] = uint16_t(index | mode << 8);
}
inline void ListInsertFront(CoefficientList* l, int index) { l->entry[--l->head] = uint16_t(index | 3 << 8); }
inline void ListClear(CoefficientList* l, int i) { l->entry[i] = 0; }

// One pass of the list walk, shared by the readers and the writers so that
// both follow the same structure. The policy supplies the bits and the
// coefficient values:
//   bool EntryBit(int index, int mode)  the examination bit of an entry
//   bool GroupBit(int k)                1: k waits (inserted in front),
//                                       0: k becomes significant now
//   bool Receive(int k)                 k becomes significant; false stops
//                                       the whole read (residue limit)
// Entries appended during the walk are visited in the same pass; entries
// inserted in front are not. Returns false when the policy stopped.
template <class Policy>
inline bool ListProcessGroup(CoefficientList* l, Policy& p, int first) {
  for (int k = first; k < first + 4; ++k) {
    if (p.GroupBit(k)) {
      ListInsertFront(l, k);
    } else if (!p.Receive(k)) {
      return false;
    }
  }
  return true;
}

template <class Policy>
inline bool ListWalkPass(CoefficientList* l, Policy& p) {
  int i = l->head;
  for (; i < l->tail; ++i) {
    for (;;) {
      const uint32_t e = l->entry[i];
      if (e == 0) break;
      const int index = int(e & 0xFF);
      const int mode = int(e >> 8);
      if (!p.EntryBit(index, mode)) break;
      if (mode == 0) {
        l->entry[i] = uint16_t((index + 4) | 1 << 8);
        if (!ListProcessGroup(l, p, index)) return false;
        continue;  // the same entry is examined again as mode 1
      }
      if (mode == 1) {
        l->entry[i] = uint16_t(index | 2 << 8);
        ListAppend(l, index + 4, 2);
        ListAppend(l, index + 8, 2);
        ListAppend(l, index + 12, 2);
        continue;  // and again as mode 2
      }
      ListClear(l, i);
      if (mode == 2) {
        if (!ListProcessGroup(l, p, index)) return false;
      } else if (!p.Receive(index)) {
        return false;
      }
      break;
    }
  }
  return true;
}

// The list indices an entry answers for: its examination bit is 1 exactly
// when one of them becomes significant in the current pass.
inline int ListEntrySpan(int mode) { return mode == 0 ? 20 : mode == 1 ? 16 : mode == 2 ? 4 : 1; }

// The readers' form of the list (coefficients.cc, residue.cc). A pass reads
// the list from one array and writes the entries that stay into another:
// indices inserted in front go below kListMid, the entries that stay from
// kListMid up, so the list is always one contiguous run and is never moved
// in place; entries are dropped rather than emptied. An entry whose bit is 0
// stays as it is, so a pass takes all entries up to the next 1 bit together
// (the trailing zeros of the next bits) and carries them over with one
// fixed-size copy.
constexpr int kListMid = 64;     // room below for 64 inserts
constexpr int kListRun = 16;     // entries taken per look at the bits
constexpr int kListSlots = 192;  // kListMid + 77 live + 9 appended + a run's copy

inline uint16_t ListEntry(int index, int mode) { return uint16_t(index | mode << 8); }

// Copies kListRun entries from one of the pass's arrays to the other (those
// past the run are don't-cares).
inline void ListCopyRun(uint16_t* to, const uint16_t* from) { std::memcpy(to, from, kListRun * sizeof(uint16_t)); }
