// The choice among the complex FFT's implementations.
#include "base/cpu_features.h"
#include "audio/complex_fft.h"
#include "audio/complex_fft_kernels.h"

namespace {

// The table ComplexFftForward/Backward run; plain until the first choice.
ComplexFftKernels g_active = *PlainComplexFft();

void ChooseComplexFft(uint32_t usable) { g_active = ComplexFftFor(usable); }
[[maybe_unused]] const bool kRegistered = RegisterFeatureChoice(&ChooseComplexFft);

}  // namespace

const KernelSet<ComplexFftKernels> kComplexFftSets[2] = {
    {"sse2", CPU_SSE2, &Sse2ComplexFftOverride},
    {"avx2", CPU_AVX2, &Avx2ComplexFftOverride},
};

ComplexFftKernels ComplexFftFor(uint32_t features) {
  return BuildKernelTable(*PlainComplexFft(), kComplexFftSets, features);
}

const ComplexFftKernels* ActiveComplexFft() { return &g_active; }

void ComplexFftForward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) {
  g_active.forward(n, a, ip, w, nw);
}

void ComplexFftBackward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) {
  g_active.backward(n, a, ip, w, nw);
}

void ComplexFftRealStep(uint32_t n, float* a, uint32_t nc, const float* c, float sign) {
  g_active.real_step(n, a, nc, c, sign);
}
