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
#include <cstddef>
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

// A reading policy may also offer
//   static constexpr bool kZeroRuns = true;
//   int ZeroRun(int n)   consumes the 0 bits among the next n (1..32), up to
//                        the first 1, and returns how many it consumed
//   void SkipOne()       consumes a bit known to be 1
// and then ListWalkPass takes the leading run of waiting indices, [head,
// run_end) from ListFrontRun, a word of bits at a time: after the first
// pass most of the list is such indices, and most of them stay waiting.
template <class Policy, class = void>
struct HasZeroRuns {
  static constexpr bool value = false;
};
template <class Policy>
struct HasZeroRuns<Policy, decltype(void(Policy::kZeroRuns))> {
  static constexpr bool value = Policy::kZeroRuns;
};

template <class Policy>
inline bool ListWalkPass(CoefficientList* l, Policy& p, int run_end = 0) {
  int i = l->head;
  if constexpr (HasZeroRuns<Policy>::value) {
    while (i < run_end) {
      const int n = run_end - i < 32 ? run_end - i : 32;
      const int zeros = p.ZeroRun(n);
      i += zeros;
      if (zeros == n) continue;
      p.SkipOne();  // entry i's bit is 1: its index becomes significant
      const int index = int(l->entry[i] & 0xFF);
      // Drop the entry, keeping the run closed: the entries before it move
      // up by one (the list order is unchanged).
      std::memmove(&l->entry[l->head + 1], &l->entry[l->head], size_t(i - l->head) * sizeof(uint16_t));
      ++l->head;
      if (!p.Receive(index)) return false;
      ++i;
    }
  }
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

// Between passes: the leading run of waiting (mode 3) entries, [head,
// end). The pass kept its own run closed and inserted its new waiting
// entries right before it; the run may also reach further than before.
inline int ListFrontRun(const CoefficientList* l, int run_end) {
  while (run_end < l->tail && (l->entry[run_end] >> 8) == 3) ++run_end;
  return run_end;
}

// The list indices an entry answers for: its examination bit is 1 exactly
// when one of them becomes significant in the current pass.
inline int ListEntrySpan(int mode) { return mode == 0 ? 20 : mode == 1 ? 16 : mode == 2 ? 4 : 1; }
