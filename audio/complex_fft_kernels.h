// The complex FFT's implementations, with the real <-> complex step around it: the plain one (the reference, which
// follows the table layout of complex_fft.h) and vector ones for x86, which
// agree with it within float rounding. ComplexFftForward/Backward run the
// table chosen for the usable features (base/kernel_table.h); tests and
// benchmarks may build the table for any feature word.
#pragma once
#include <cstdint>

#include "base/kernel_table.h"

using ComplexFftFn = void (*)(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw);
using RealStepFn = void (*)(uint32_t n, float* a, uint32_t nc, const float* c, float sign);

struct ComplexFftKernels {
  const char* name;  // of the set that provided the entries
  ComplexFftFn forward;
  ComplexFftFn backward;
  RealStepFn real_step;  // ComplexFftRealStep
};

// The plain set: needs nothing.
const ComplexFftKernels* PlainComplexFft();
// The vector sets put their entries in a table; nothing when the build is
// not for x86.
void Sse2ComplexFftOverride(ComplexFftKernels* table);
void Avx2ComplexFftOverride(ComplexFftKernels* table);
// The optimised sets in the order they override the plain one.
extern const KernelSet<ComplexFftKernels> kComplexFftSets[2];

// The table for a feature word: the plain set overridden by every set the
// features allow.
ComplexFftKernels ComplexFftFor(uint32_t features);

// The table ComplexFftForward/Backward run: ComplexFftFor(UsableFeatures()),
// chosen again when the feature mask changes.
const ComplexFftKernels* ActiveComplexFft();
