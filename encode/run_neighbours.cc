#include "encode/run_neighbours.h"

#include "base/cpu_features.h"
#include "video/scan_tables.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VEXA_RUN_SSSE3 1
#endif

namespace {

#if defined(VEXA_RUN_SSSE3)
// Byte shuffles that gather a scan from the block's four 16-byte quarters:
// for scan s, sixteen pixels j, quarter q, the shuffle picks the pixels
// that lie in q (0x80 elsewhere). at[1] gathers the pixel after each.
struct Gathers {
  alignas(16) uint8_t at[2][16][4][4][16];
  Gathers() {
    for (int next = 0; next < 2; ++next)
      for (int s = 0; s < 16; ++s)
        for (int j = 0; j < 4; ++j)
          for (int q = 0; q < 4; ++q)
            for (int l = 0; l < 16; ++l) {
              const int i = 16 * j + l + next;
              const int p = i < 64 ? RUN_SCANS[s][i] : -1;
              at[next][s][j][q][l] = uint8_t(p >= 0 && p / 16 == q ? p % 16 : 0x80);
            }
  }
};

const Gathers& Tables() {
  static const Gathers g;
  return g;
}

__attribute__((target("ssse3"))) inline __m128i Gather(const __m128i quarter[4], const uint8_t (*at)[16]) {
  __m128i picked[4];
  for (int q = 0; q < 4; ++q)
    picked[q] = _mm_shuffle_epi8(quarter[q], _mm_load_si128(reinterpret_cast<const __m128i*>(at[q])));
  return _mm_or_si128(_mm_or_si128(picked[0], picked[1]), _mm_or_si128(picked[2], picked[3]));
}

__attribute__((target("ssse3"))) uint64_t EqualNeighboursSsse3(const uint8_t s[64], int scan) {
  const Gathers& g = Tables();
  __m128i quarter[4];
  for (int q = 0; q < 4; ++q) quarter[q] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * q));
  uint64_t equal = 0;
  for (int j = 0; j < 4; ++j) {
    const __m128i here = Gather(quarter, g.at[0][scan][j]);
    const __m128i next = Gather(quarter, g.at[1][scan][j]);
    equal |= uint64_t(uint16_t(_mm_movemask_epi8(_mm_cmpeq_epi8(here, next)))) << (16 * j);
  }
  return equal & ~(uint64_t(1) << 63);  // the last pixel has no next
}
#endif

uint64_t (*g_equal)(const uint8_t*, int) = &EqualNeighboursPlain;

void ChooseEqualNeighbours(uint32_t usable) {
  g_equal = &EqualNeighboursPlain;
#if defined(VEXA_RUN_SSSE3)
  if (usable & CPU_SSSE3) {
    Tables();
    g_equal = &EqualNeighboursSsse3;
  }
#else
  (void)usable;
#endif
}
[[maybe_unused]] const bool kRegistered = RegisterFeatureChoice(&ChooseEqualNeighbours);

}  // namespace

uint64_t EqualNeighboursPlain(const uint8_t s[64], int scan) {
  const uint8_t* order = RUN_SCANS[scan];
  uint64_t equal = 0;
  for (int i = 0; i < 63; ++i) equal |= uint64_t(s[order[i]] == s[order[i + 1]]) << i;
  return equal;
}

uint64_t EqualNeighbours(const uint8_t s[64], int scan) { return g_equal(s, scan); }
