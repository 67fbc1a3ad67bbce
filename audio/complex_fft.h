// The complex fast Fourier transform under both real audio transforms.
//
// Data: n floats holding n/2 complex values (re, im). The twiddle table `w`
// holds nw = n/4 floats as built by AudioBuildTwiddles: a main table for
// blocks of n/4 complex points followed by sub-tables, each for blocks half
// the size of the one before; the table for blocks of Q complex points
// starts at w + nw - Q. `ip` is the integer scratch (at least
// round(sqrt(n/2)) entries) refilled by the bit-reversal permutation.
#pragma once
#include <cstdint>

// In place: X[k] = sum_j x[j] e^(+2 pi i j k / (n/2)), natural order out.
void ComplexFftForward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw);
// In place: X[k] = sum_j x[j] e^(-2 pi i j k / (n/2)), natural order out.
void ComplexFftBackward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw);

// The real <-> complex step around the transform, shared by the inverse
// real DFT (sign -1, unfolding before the backward transform) and the
// cosine transform (sign +1, folding after the forward one): for
// j = 2, 4, .. < n/2 the complex entries at a[j] and a[n-j] are combined
// with the cosine table c of nc entries (c[kk] and c[nc-kk], kk = j/2 *
// 4nc/n).
void ComplexFftRealStep(uint32_t n, float* a, uint32_t nc, const float* c, float sign);
