// The inverse transform's implementations: the plain one (the reference)
// and vector ones for x86, which give the same bytes for every input. The
// public functions of inverse_transform.h run the table chosen for the
// usable features (base/kernel_table.h); tests and benchmarks may build the
// table for any feature word.
#pragma once
#include <cstdint>

#include "base/kernel_table.h"

struct InverseTransformKernels {
  const char* name;  // of the set that provided the entries
  void (*put)(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch);
  void (*put_scaled)(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch);
  void (*add)(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch, const uint8_t* src,
              int src_pitch);
};

// The plain set: needs nothing.
const InverseTransformKernels* PlainInverseTransform();
// The vector sets put their entries in a table; nothing when the build is
// not for x86.
void Sse2InverseTransformOverride(InverseTransformKernels* table);
void Avx2InverseTransformOverride(InverseTransformKernels* table);
// The optimised sets in the order they override the plain one.
extern const KernelSet<InverseTransformKernels> kInverseTransformSets[2];

// The table for a feature word: the plain set overridden by every set the
// features allow.
InverseTransformKernels InverseTransformFor(uint32_t features);

// The table the public functions run: InverseTransformFor(UsableFeatures()),
// chosen again when the feature mask changes.
const InverseTransformKernels* ActiveInverseTransform();

// Whether the 8x8 blocks at a and b, rows `pitch` bytes apart in both,
// share any byte. A vector add falls back to the plain one when its source
// shares bytes with its destination other than exactly (same block), since
// the plain add then reads pixels it has already written.
inline bool BlocksOverlap(const uint8_t* a, const uint8_t* b, int pitch) {
  const intptr_t d = intptr_t(a) - intptr_t(b);
  const intptr_t reach = 7 * (pitch < 0 ? -intptr_t(pitch) : intptr_t(pitch)) + 8;
  if (d >= reach || d <= -reach) return false;
  for (intptr_t k = -7; k <= 7; ++k) {
    const intptr_t e = d + k * intptr_t(pitch);
    if (e > -8 && e < 8) return true;
  }
  return false;
}
