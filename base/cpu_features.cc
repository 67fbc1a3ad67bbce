#include "base/cpu_features.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define VEXA_X86 1
#endif

namespace {
std::atomic<uint32_t> g_features{0};
uint32_t g_mask = ~0u;
constexpr int kMaxFamilies = 8;
void (*g_families[kMaxFamilies])(uint32_t) = {};
int g_family_count = 0;

#if VEXA_X86
// Extended control register 0: which register states the OS saves.
uint64_t ReadXcr0() {
  uint32_t lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (uint64_t(hi) << 32) | lo;
}
#endif
}  // namespace

uint32_t ProbeProcessorFeatures() {
  uint32_t features = 0;
#if VEXA_X86
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  if (!(d & (1u << 23))) return 0;  // no MMX: nothing else is tested
  features |= CPU_MMX;
  if (d & (1u << 25)) {
    features |= CPU_SSE;
    if (d & (1u << 26)) {
      features |= CPU_SSE2;
      if (c & (1u << 9)) features |= CPU_SSSE3;
      if ((features & CPU_SSSE3) && (c & (1u << 19))) features |= CPU_SSE41;
    }
  }
  const bool osxsave = (c & (1u << 27)) != 0, avx = (c & (1u << 28)) != 0;
  if ((features & CPU_SSE41) && osxsave && avx && (ReadXcr0() & 6) == 6) {
    unsigned a7, b7, c7, d7;
    if (__get_cpuid_count(7, 0, &a7, &b7, &c7, &d7) && (b7 & (1u << 5))) {
      features |= CPU_AVX2;
      // F (bit 16), BW (30), VL (31) and VBMI (ecx bit 1); XCR0 bits 5-7
      // are the opmask and upper register states.
      const unsigned kAvx512Bits = (1u << 16) | (1u << 30) | (1u << 31);
      if ((b7 & kAvx512Bits) == kAvx512Bits && (c7 & (1u << 1)) && (ReadXcr0() & 0xE6) == 0xE6)
        features |= CPU_AVX512;
    }
  }
  unsigned ext = __get_cpuid_max(0x80000000u, nullptr);
  if (ext >= 0x80000001u && __get_cpuid(0x80000001u, &a, &b, &c, &d) && (d & (1u << 31)))
    features |= CPU_3DNOW;
#endif
  return features;
}

uint32_t ProcessorFeatures() {
  uint32_t f = g_features.load(std::memory_order_acquire);
  if (f & CPU_PROBED) return f;
  f = ProbeProcessorFeatures() | CPU_PROBED;
  g_features.store(f, std::memory_order_release);
  return f;
}

uint32_t UsableFeatures() { return ProcessorFeatures() & g_mask; }

uint32_t FeatureMask() { return g_mask; }

void SetFeatureMask(uint32_t mask) {
  g_mask = mask;
  for (int i = 0; i < g_family_count; ++i) g_families[i](UsableFeatures());
}

bool RegisterFeatureChoice(void (*choose)(uint32_t usable)) {
  if (g_family_count < kMaxFamilies) g_families[g_family_count++] = choose;
  choose(UsableFeatures());
  return true;
}
