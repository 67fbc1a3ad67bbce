// The processor feature word, probed once per process, and the mask that
// limits what the optimised routines (the inverse transform, the colour
// converters) may use. Every choice between a plain routine and its
// optimised twins goes through UsableFeatures().
#pragma once
#include <cstdint>

constexpr uint32_t CPU_MMX = 1u << 0;
constexpr uint32_t CPU_3DNOW = 1u << 1;
constexpr uint32_t CPU_SSE = 1u << 2;
constexpr uint32_t CPU_SSE2 = 1u << 3;
constexpr uint32_t CPU_SSSE3 = 1u << 4;
constexpr uint32_t CPU_SSE41 = 1u << 5;
constexpr uint32_t CPU_AVX2 = 1u << 6;  // only when the OS saves the wide registers
// AVX-512 F, BW, VL and VBMI together, with the OS saving the mask and
// 512-bit register state; implies CPU_AVX2.
constexpr uint32_t CPU_AVX512 = 1u << 7;
constexpr uint32_t CPU_PROBED = 1u << 31;  // marks the cached copy as computed

// Asks the processor (x86 only; 0 elsewhere). Bit 31 is never set here.
uint32_t ProbeProcessorFeatures();

// The cached word with CPU_PROBED set, probing on first use. Safe from any
// thread: every caller computes the same value.
uint32_t ProcessorFeatures();

// ProcessorFeatures() limited by the feature mask.
uint32_t UsableFeatures();
// Limits the features the optimised routines may use (all by default);
// tests and benchmarks set 0 to force the plain routines. Every family of
// routines registered below chooses again at once. Not thread-safe: call it
// while no decode or copy runs.
void SetFeatureMask(uint32_t mask);
uint32_t FeatureMask();
// A family of routines that keeps one choice for the process registers how
// to choose (at most eight families): `choose` runs now and after every
// SetFeatureMask with the usable features. Returns true, for use in a
// static initialiser.
bool RegisterFeatureChoice(void (*choose)(uint32_t usable));
