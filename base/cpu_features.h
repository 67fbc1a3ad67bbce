// The processor feature word, probed once per process and shared by the
// decoder and the colour converters.
#pragma once
#include <cstdint>

constexpr uint32_t CPU_MMX = 1u << 0;
constexpr uint32_t CPU_3DNOW = 1u << 1;
constexpr uint32_t CPU_SSE = 1u << 2;
constexpr uint32_t CPU_SSE2 = 1u << 3;
constexpr uint32_t CPU_SSSE3 = 1u << 4;
constexpr uint32_t CPU_SSE41 = 1u << 5;
constexpr uint32_t CPU_AVX2 = 1u << 6;  // only when the OS saves the wide registers
constexpr uint32_t CPU_PROBED = 1u << 31;  // marks the cached copy as computed

// Asks the processor (x86 only; 0 elsewhere). Bit 31 is never set here.
uint32_t ProbeProcessorFeatures();

// The cached word with CPU_PROBED set, probing on first use. Safe from any
// thread: every caller computes the same value.
uint32_t ProcessorFeatures();
