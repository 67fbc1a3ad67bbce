#include "video/coefficients.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "video/coefficient_list.h"
#include "video/coefficients_scan.h"

// The reader follows the list walk of coefficient_list.h (which the writer and
// the tests use) bit for bit, on the readers' form of the list described
// there. Values are kept in list order, where a group of four is four
// adjacent values, and reach natural order at the end, a group as two pairs.
// Groups of planes 1 to 4, the most frequent by far, are decoded by table
// lookups (one per group in plane 1, one per two members in planes 2 to 4).
// Plane 1 is always the last pass; it keeps no list for a next one.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the group tables below pack 16-bit values in little-endian order"
#endif

namespace {

constexpr int kMid = kListMid;
constexpr int kRun = kListRun;

inline uint16_t Entry(int index, int mode) { return ListEntry(index, mode); }

// The value a coefficient gets when it becomes significant in plane b: b bits
// t (t < 2^b), the top one the sign and the others the magnitude below its
// leading one, which is implied. top = 1 << (b - 1).
constexpr int16_t PlaneValue(uint32_t t, uint32_t top) {
  const int32_t m = int32_t(t | top);
  return int16_t((t & top) ? -m : m);
}

// A group of four in plane 1 from its at most 8 bits: per member a 1 (waits)
// or a 0 and a sign bit (becomes +1 or -1).
struct PlaneOneGroups {
  uint64_t values[256];  // the four values, list order, 16 bits each
  uint8_t taken[256];    // bits taken
  uint8_t entry_taken[256];  // the same with the entry's own bit before them
};
constexpr PlaneOneGroups MakePlaneOneGroups() {
  PlaneOneGroups t{};
  for (uint32_t c = 0; c < 256; ++c) {
    uint32_t at = 0;
    uint64_t values = 0;
    for (uint32_t k = 0; k < 4; ++k) {
      if (c >> at++ & 1) continue;
      const uint16_t v = (c >> at++ & 1) ? uint16_t(0xFFFF) : uint16_t(1);
      values |= uint64_t(v) << (16 * k);
    }
    t.values[c] = values;
    t.taken[c] = uint8_t(at);
    t.entry_taken[c] = uint8_t(1 + at);
  }
  return t;
}
constexpr PlaneOneGroups kPlaneOneGroups = MakePlaneOneGroups();

// Four waiting indices in plane 1 from their at most 8 bits: per index a 0
// (still waits) or a 1 and a sign bit (becomes +1 or -1).
struct PlaneOneWaiting {
  uint64_t values[256];  // the four values, 16 bits each
  uint16_t taken[256];   // bits taken by the first k + 1 indices in nibble k
};
constexpr PlaneOneWaiting MakePlaneOneWaiting() {
  PlaneOneWaiting t{};
  for (uint32_t c = 0; c < 256; ++c) {
    uint32_t at = 0;
    for (uint32_t k = 0; k < 4; ++k) {
      if (c >> at++ & 1) {
        const uint16_t v = (c >> at++ & 1) ? uint16_t(0xFFFF) : uint16_t(1);
        t.values[c] |= uint64_t(v) << (16 * k);
      }
      t.taken[c] = uint16_t(t.taken[c] | at << (4 * k));
    }
  }
  return t;
}
constexpr PlaneOneWaiting kPlaneOneWaiting = MakePlaneOneWaiting();
// The lanes of the first n (1..4) values.
constexpr uint64_t kLanes[5] = {0, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFFFFFF, ~uint64_t(0)};

// Two members of a group in plane p (2 to 4) from their at most 2 + 2p
// bits: per member a 1 (waits) or a 0 and p value bits (the sign, then the
// bits below the leading one: -3, -2, 2 or 3 in plane 2).
template <uint32_t kPlane>
struct PlanePairs {
  static constexpr uint32_t kLook = 2 + 2 * kPlane;
  uint32_t values[1u << kLook];  // the two values, list order, 16 bits each
  uint8_t shape[1u << kLook];    // waiting members (bits 0..1) | bits taken << 2
};
template <uint32_t kPlane>
constexpr PlanePairs<kPlane> MakePlanePairs() {
  PlanePairs<kPlane> t{};
  for (uint32_t c = 0; c < (1u << t.kLook); ++c) {
    uint32_t at = 0, waiting = 0, values = 0;
    for (uint32_t k = 0; k < 2; ++k) {
      if (c >> at++ & 1) {
        waiting |= 1u << k;
        continue;
      }
      const uint32_t v = c >> at & ((1u << kPlane) - 1);
      at += kPlane;
      values |= uint32_t(uint16_t(PlaneValue(v, 1u << (kPlane - 1)))) << (16 * k);
    }
    t.values[c] = values;
    t.shape[c] = uint8_t(waiting | at << 2);
  }
  return t;
}
template <uint32_t kPlane>
inline constexpr PlanePairs<kPlane> kPlanePairs = MakePlanePairs<kPlane>();

// A whole group of four in plane 2 from its at most 12 bits, so that the bits
// it takes come from one lookup rather than two in a row: waiting members
// (bits 0..3), the bits taken by the first two members (bits 4..7) and by all
// four (bits 8..11). The values still come from the pair table, off that path.
struct PlaneTwoGroups {
  uint16_t shape[1u << 12];
};
constexpr PlaneTwoGroups MakePlaneTwoGroups() {
  PlaneTwoGroups t{};
  const PlanePairs<2>& pairs = kPlanePairs<2>;
  for (uint32_t c = 0; c < (1u << 12); ++c) {
    const uint32_t shape0 = pairs.shape[c & 63];
    const uint32_t taken0 = shape0 >> 2;
    const uint32_t shape1 = pairs.shape[(c >> taken0) & 63];
    const uint32_t waiting = (shape0 & 3) | (shape1 & 3) << 2;
    t.shape[c] = uint16_t(waiting | taken0 << 4 | (taken0 + (shape1 >> 2)) << 8);
  }
  return t;
}
constexpr PlaneTwoGroups kPlaneTwoGroups = MakePlaneTwoGroups();

// The members of a group that wait, as they lie below the list's first entry
// after being inserted in front one by one: the last one first. Four 16-bit
// offsets to store at [first - 4, first), the used ones at the top.
struct WaitingSlots {
  uint64_t offsets[16];
};
constexpr WaitingSlots MakeWaitingSlots() {
  WaitingSlots t{};
  for (uint32_t m = 0; m < 16; ++m) {
    int slot = 3;
    for (uint32_t k = 0; k < 4; ++k)
      if (m >> k & 1) t.offsets[m] |= uint64_t(k) << (16 * slot--);
  }
  return t;
}
constexpr WaitingSlots kWaiting = MakeWaitingSlots();
constexpr uint8_t kWaitingCount[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// The groups of natural rows 2m and 2m + 1, left to right: group g covers
// the squares at COEFF_SCAN[4g], so each row pair is four groups side by side.
struct RowPairGroups {
  uint8_t group[4][4];
};
constexpr RowPairGroups MakeRowPairGroups() {
  RowPairGroups t{};
  for (int g = 0; g < 16; ++g) {
    const int at = COEFF_SCAN[4 * g];
    t.group[at / 16][(at % 8) / 2] = uint8_t(g);
  }
  return t;
}
constexpr RowPairGroups kRowPairs = MakeRowPairGroups();

constexpr uint64_t kZeroes = 0;

// The value slot behind a block's 64 that takes the final pass's stores for
// the dummy entries.
constexpr int kSpareValue = 64;

// Bytes of stream left from which a block is read without end checks. A
// block takes under 2400 bits whatever the data: 4 for the plane count; per
// pass a 0 for each entry that stays (at most 63 waiting indices and 15
// others), for 15 passes; over the whole block at most 17 bits for each of
// the 63 indices (a 1 as it waits in a group, a 1 or 0 as it becomes
// significant, 15 value bits), and a few dozen for entries that change mode.
// The cache holds at most eight bytes ahead of the bits taken, and a top-up
// loads the eight bytes behind those.
constexpr uint32_t kFastReadBytes = 1024;

// The walk's state. Every member function is inlined into the reader, so the
// bit reader's fields stay in registers. With kFast the block lies well inside
// the stream (see kFastReadBytes): top-ups load eight bytes through a plain
// pointer and never look for the end.
template <bool kFast>
struct Walk {
  BitReader r;        // a local copy; with kFast its next is set at the end
  const uint8_t* at;  // with kFast: the next byte to load
  uint32_t b;   // current plane (1..15)
  uint32_t top;
  uint32_t value_mask;
  int16_t* values;  // list order
  uint16_t* out;    // the list being written by this pass
  int front;        // its first entry (inserts go below it)

  inline __attribute__((always_inline)) void Skip(uint32_t n) {
    r.cache >>= n;
    r.bits -= n;
  }

  // Tops the cache up to 56..63 bits.
  inline __attribute__((always_inline)) void Refill() {
    if constexpr (kFast) {
      at += BitCacheTopUp(&r.cache, &r.bits, at);
    } else {
      BitReaderNeed(&r, 56);
    }
  }

  // Makes at least n (n <= 56) bits available.
  inline __attribute__((always_inline)) void Need(uint32_t n) {
    if (r.bits < n) Refill();
  }

  inline __attribute__((always_inline)) uint32_t Read(uint32_t n) {
    Need(n);
    const uint32_t v = uint32_t(r.cache & ((uint64_t(1) << n) - 1));
    Skip(n);
    return v;
  }

  // A group of four: each member either becomes significant now or waits in
  // front of the list. Every member's front entry is written; only a waiting
  // one keeps it (at most 60 indices wait in front, so there is room for
  // four more below the first). The bits
  // are close to random, so nothing branches on them.
  template <int kPlane>
  inline __attribute__((always_inline)) void Group(int first) {
    Need(32);
    if constexpr (kPlane == 2) {
      const PlanePairs<2>& pairs = kPlanePairs<2>;
      const uint32_t c = uint32_t(r.cache) & 0xFFF;
      const uint32_t shape = kPlaneTwoGroups.shape[c];
      std::memcpy(&values[first], &pairs.values[c & 63], 4);
      std::memcpy(&values[first + 2], &pairs.values[(c >> ((shape >> 4) & 15)) & 63], 4);
      Skip(shape >> 8);
      const uint32_t waiting = shape & 15;
      const uint64_t slots = kWaiting.offsets[waiting] + uint64_t(Entry(first, 3)) * 0x0001000100010001ull;
      std::memcpy(&out[front - 4], &slots, 8);
      front -= kWaitingCount[waiting];
      return;
    }
    if constexpr (kPlane >= 3 && kPlane <= 4) {
      constexpr const PlanePairs<kPlane>& pairs = kPlanePairs<kPlane>;
      constexpr uint32_t look = (1u << pairs.kLook) - 1;
      const uint32_t c0 = uint32_t(r.cache) & look;
      std::memcpy(&values[first], &pairs.values[c0], 4);
      const uint32_t shape0 = pairs.shape[c0];
      Skip(shape0 >> 2);
      const uint32_t c1 = uint32_t(r.cache) & look;
      std::memcpy(&values[first + 2], &pairs.values[c1], 4);
      const uint32_t shape1 = pairs.shape[c1];
      Skip(shape1 >> 2);
      const uint32_t waiting = (shape0 & 3) | (shape1 & 3) << 2;
      const uint64_t slots = kWaiting.offsets[waiting] + uint64_t(Entry(first, 3)) * 0x0001000100010001ull;
      std::memcpy(&out[front - 4], &slots, 8);
      front -= kWaitingCount[waiting];
      return;
    }
    const bool each = b > 7;  // four members of up to 1 + 7 bits fit a refill
#pragma GCC unroll 4
    for (int k = first; k < first + 4; ++k) {
      if (each) Need(16);
      const uint32_t c = uint32_t(r.cache);
      const uint32_t now = (c & 1) - 1;  // all ones: significant now
      values[k] = int16_t(uint16_t(PlaneValue((c >> 1) & value_mask, top)) & uint16_t(now));
      out[front - 1] = Entry(k, 3);
      front -= int(c & 1);
      Skip(1 + (b & now));
    }
  }

  // One pass over the list [head, tail) of `in`; the list that stays goes to
  // `out` and is returned in head and tail. The list is the indices waiting
  // in front (*waiting of them), all inserted by groups, then the rest: the
  // start entries and what they became, with indices 1 to 3 among them.
  template <int kPlane>
  inline __attribute__((always_inline)) void Pass(uint16_t* in, int* head, int* tail, int* waiting) {
    // The plane's value width, a constant in the passes with tables.
    const uint32_t width = kPlane ? uint32_t(kPlane) : b, width_top = 1u << (width - 1);
    int i = *head, end = *tail;
    int j = kMid;
    front = kMid;
    // The waiting indices: a 1 makes one significant, and nothing else.
    for (const int waiting_end = i + *waiting;;) {
      const int left = waiting_end - i;
      if (left <= 0) break;
      const int n = left < kRun ? left : kRun;
      Need(kRun);
      const int zeros = __builtin_ctzll(r.cache | uint64_t(1) << n);
      ListCopyRun(out + j, in + i);
      i += zeros;
      j += zeros;
      Skip(uint32_t(zeros));
      if (zeros == n) continue;
      Skip(1);
      values[in[i++] & 0xFF] = PlaneValue(Read(width), width_top);
    }
    const int still_waiting = j - kMid;
    // The rest: each start entry has become at most four entries and
    // indices 1 to 3 may still wait, so it is shorter than one look.
    static_assert(3 * 4 + 3 < kRun);
    for (;;) {
      const int left = end - i;
      Need(kRun);
      const int zeros = __builtin_ctzll(r.cache | uint64_t(1) << left);
      ListCopyRun(out + j, in + i);
      i += zeros;
      j += zeros;
      Skip(uint32_t(zeros));
      if (zeros == left) break;
      Skip(1);  // entry i's bit is 1
      const uint32_t e = in[i++];
      int index = int(e & 0xFF);
      switch (e >> 8) {
        case 3:
          values[index] = PlaneValue(Read(width), width_top);
          continue;
        case 2:
          Group<kPlane>(index);
          continue;
        case 0:
          Group<kPlane>(index);
          index += 4;
          if (!Read(1)) {
            out[j++] = Entry(index, 1);
            continue;
          }
          [[fallthrough]];
        default:  // 1: splits into four groups, three of them appended
          in[end] = Entry(index + 4, 2);
          in[end + 1] = Entry(index + 8, 2);
          in[end + 2] = Entry(index + 12, 2);
          end += 3;
          if (!Read(1)) {
            out[j++] = Entry(index, 2);
            continue;
          }
          Group<kPlane>(index);
          continue;
      }
    }
    *waiting = kMid - front + still_waiting;
    *head = front;
    *tail = j;
  }

  // The last pass (plane 1): the same walk, but the list is not kept, so
  // nothing is written but the values. A group's waiting members and the
  // waiting indices that stay simply keep their zeros.
  inline __attribute__((always_inline)) void FinalPass(uint16_t* in, int i, int end, int waiting) {
    // The waiting indices, four per look. A look past the last one takes
    // no bits for the others and stores zeros for them: into entries
    // behind (coefficients not yet significant, which hold zero anyway),
    // or into the spare value behind the block for the dummies put past
    // the end.
    const int waiting_end = i + waiting;
    const uint64_t dummies = uint64_t(Entry(kSpareValue, 3)) * 0x0001000100010001ull;
    std::memcpy(&in[end], &dummies, 8);
    for (; waiting_end - i >= 4; i += 4) FinalWaiting(&in[i], 4);
    if (i < waiting_end) FinalWaiting(&in[i], waiting_end - i);
    i = waiting_end;
    // The rest, as in Pass; one top-up covers a whole step: 16 bits of the
    // look and at most 18 of a start entry's group, split and second group.
    for (;;) {
      const int left = end - i;
      Need(40);
      const int zeros = __builtin_ctzll(r.cache | uint64_t(1) << left);
      i += zeros;
      Skip(uint32_t(zeros));
      if (zeros == left) break;
      const uint32_t e = in[i++];
      int index = int(e & 0xFF);
      switch (e >> 8) {
        case 3:
          values[index] = (r.cache & 2) ? int16_t(-1) : int16_t(1);
          Skip(2);
          continue;
        case 2:
          FinalGroup(index);
          continue;
        case 0:
          FinalGroup(index);
          FinalSplit(index + 4, &in[end], &end, uint32_t(r.cache) & 1);
          continue;
        default:  // 1
          FinalSplit(index, &in[end], &end, 1);
          continue;
      }
    }
  }

  // The waiting indices at `at`: the first n (1..4) of them, one look.
  inline __attribute__((always_inline)) void FinalWaiting(const uint16_t* at, int n) {
    Need(8);
    const uint32_t c = uint32_t(r.cache) & 0xFF;
    const uint64_t v = kPlaneOneWaiting.values[c] & kLanes[n];
    values[at[0] & 0xFF] = int16_t(v);
    values[at[1] & 0xFF] = int16_t(v >> 16);
    values[at[2] & 0xFF] = int16_t(v >> 32);
    values[at[3] & 0xFF] = int16_t(v >> 48);
    Skip((kPlaneOneWaiting.taken[c] >> (4 * (n - 1))) & 15);
  }

  // A mode-1 entry at `first` whose examination bit is `split`: on a 1 it
  // splits into four groups, three of them appended, and the one kept is
  // examined at once. Without branches on the bits: the appended entries are
  // always written and only counted on a split, and a group that is not
  // coded stores the zeros it already holds and takes no bits.
  inline __attribute__((always_inline)) void FinalSplit(int first, uint16_t* append, int* end, uint32_t split) {
    append[0] = Entry(first + 4, 2);
    append[1] = Entry(first + 8, 2);
    append[2] = Entry(first + 12, 2);
    *end += 3 * int(split);
    const uint32_t now = uint32_t(r.cache >> 1) & split;
    const uint32_t c = uint32_t(r.cache >> (1 + split)) & 0xFF;
    const uint64_t v = kPlaneOneGroups.values[c] & (0 - uint64_t(now));
    std::memcpy(&values[first], &v, 8);
    Skip(1 + split + (kPlaneOneGroups.taken[c] & (0u - now)));
  }

  // The group at `first` behind the entry's own bit, which is 1.
  inline __attribute__((always_inline)) void FinalGroup(int first) {
    const uint32_t c = uint32_t(r.cache >> 1) & 0xFF;
    std::memcpy(&values[first], &kPlaneOneGroups.values[c], 8);
    Skip(kPlaneOneGroups.entry_taken[c]);
  }
};

#if defined(__SSE2__)
// Groups g0 and g1 of the list-order values in one vector: a single load
// when they are adjacent in the list, as most side-by-side groups are.
inline __attribute__((always_inline)) __m128i TwoGroups(const int16_t* values, int g0, int g1) {
  if (g1 == g0 + 1) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(&values[4 * g0]));
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&values[4 * g0])),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&values[4 * g1])));
}
#endif

template <bool kFast>
inline __attribute__((always_inline)) void ReadPlanes(BitReader* r, int16_t values[kSpareValue + 1]) {
  Walk<kFast> w;
  w.r = *r;
  w.at = r->data + r->next;
  w.values = values;
  uint16_t lists[2][kListSlots];
  const uint32_t planes = w.Read(4);
  uint32_t b = planes;
  // Until a start entry has a 1, the list is the three start entries and
  // the indices 1 to 3 that are not yet significant (`waiting_low`, bits 1
  // to 3), so a pass is three 0 bits and then, per such index, a 0 or a 1
  // and its value. Those passes (most of a block's upper planes) go
  // without the list; the first 1 of a start entry leaves for the walk.
  uint32_t waiting_low = 0xE;
  for (; b >= 2; --b) {
    w.Need(3 + 3 * 16);
    if (w.r.cache & 7) break;
    w.Skip(3);
    const uint32_t top = 1u << (b - 1), mask = (1u << b) - 1;
#pragma GCC unroll 3
    for (uint32_t k = 1; k <= 3; ++k) {
      if (!(waiting_low >> k & 1)) continue;
      const uint64_t c = w.r.cache;
      const uint32_t now = uint32_t(c) & 1;
      // An index that is not yet significant holds zero.
      values[k] = int16_t(PlaneValue(uint32_t(c >> 1) & mask, top) & -int16_t(now));
      waiting_low ^= now << k;
      w.Skip(1 + (b & (0u - now)));
    }
  }
  int head = kMid, tail = kMid, waiting = 0;
  lists[0][tail++] = Entry(4, 0);
  lists[0][tail++] = Entry(24, 0);
  lists[0][tail++] = Entry(44, 0);
#pragma GCC unroll 3
  for (int k = 1; k <= 3; ++k) {
    lists[0][tail] = Entry(k, 3);
    tail += int(waiting_low >> k & 1);
  }
  int cur = 0;
  for (; b >= 2; --b) {
    w.b = b;
    w.top = 1u << (b - 1);
    w.value_mask = (1u << b) - 1;
    w.out = lists[cur ^ 1];
    if (b == 2)
      w.template Pass<2>(lists[cur], &head, &tail, &waiting);
    else if (b == 3)
      w.template Pass<3>(lists[cur], &head, &tail, &waiting);
    else if (b == 4)
      w.template Pass<4>(lists[cur], &head, &tail, &waiting);
    else
      w.template Pass<0>(lists[cur], &head, &tail, &waiting);
    cur ^= 1;
  }
  if (planes >= 1) w.FinalPass(lists[cur], head, tail, waiting);
  if constexpr (kFast) w.r.next = uint32_t(w.at - r->data);
  *r = w.r;
}

// Blocks near the end of their stream are rare: their reader stays out of
// the way of the hot code.
__attribute__((noinline, cold)) void ReadPlanesNearEnd(BitReader* r, int16_t values[kSpareValue + 1]) {
  ReadPlanes<false>(r, values);
}

}  // namespace

void ReadCoefficients(BitReader* r, int16_t block[64]) {
  // Cleared with plain stores: a string store costs more to start than
  // these 128 bytes take.
  alignas(16) int16_t values[kSpareValue + 1];
#pragma GCC unroll 16
  for (int k = 0; k < 64; k += 4) std::memcpy(&values[k], &kZeroes, 8);
  values[0] = block[0];  // the DC value; list index 0 is never coded
  if (r->size >= kFastReadBytes && r->next <= r->size - kFastReadBytes)
    ReadPlanes<true>(r, values);
  else
    ReadPlanesNearEnd(r, values);
  // Each group is [p, p + 1, p + 8, p + 9]: its first pair goes to the upper
  // row of its row pair, its second pair to the lower one.
#pragma GCC unroll 4
  for (int m = 0; m < 4; ++m) {
#if defined(__SSE2__)
    const uint8_t* g = kRowPairs.group[m];
    const __m128i g01 = TwoGroups(values, g[0], g[1]), g23 = TwoGroups(values, g[2], g[3]);
    const __m128 a = _mm_castsi128_ps(g01), b = _mm_castsi128_ps(g23);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&block[16 * m]), _mm_castps_si128(_mm_shuffle_ps(a, b, 0x88)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&block[16 * m + 8]), _mm_castps_si128(_mm_shuffle_ps(a, b, 0xDD)));
#else
    uint64_t g[4];
#pragma GCC unroll 4
    for (int c = 0; c < 4; ++c) std::memcpy(&g[c], &values[4 * kRowPairs.group[m][c]], 8);
    const uint64_t upper[2] = {(g[0] & 0xFFFFFFFFu) | g[1] << 32, (g[2] & 0xFFFFFFFFu) | g[3] << 32};
    const uint64_t lower[2] = {(g[0] >> 32) | (g[1] & ~uint64_t(0xFFFFFFFFu)),
                               (g[2] >> 32) | (g[3] & ~uint64_t(0xFFFFFFFFu))};
    std::memcpy(&block[16 * m], upper, 16);
    std::memcpy(&block[16 * m + 8], lower, 16);
#endif
  }
}
