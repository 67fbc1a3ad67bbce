// Constant tables of the audio block format (see audio_tables.cc).
#pragma once
#include <cstdint>

constexpr uint32_t kAudioBandEdgeCount = 25;
constexpr uint32_t kAudioBandScaleCount = 96;

// Band edges in hertz; the band count of a track is the number of leading
// edges below its effective Nyquist frequency.
extern const uint32_t kAudioBandEdges[kAudioBandEdgeCount];
// Scale of a band for its 8-bit code (codes above 95 use entry 95).
extern const float kAudioBandScale[kAudioBandScaleCount];
// Long-run lengths in units of 8 coefficients, by 4-bit code.
extern const uint32_t kAudioRunLength[16];
// Power of two for the 5-bit exponent of the two directly coded coefficients.
extern const float kAudioExponent[32];
