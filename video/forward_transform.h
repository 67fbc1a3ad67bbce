// The forward transform for encoders: the counterpart of the inverse
// transform, in double precision. An encoder reconstructs its blocks with
// the decoder's own InverseTransform*, so this side only needs to be close.
#pragma once
#include <cstdint>

// Orthonormal 8x8 cosine transform of in (natural order): F[0] is 8 times
// the mean.
void ForwardDct(const int16_t in[64], double out[64]);

// Coefficients that InverseTransform* with quant turns back into the block
// whose transform is F. Each is |F| / step rounded down after adding
// rounding (0.5 rounds to nearest; less leaves a dead zone around zero that
// saves bits), clamped to the 16-bit range the coefficient coding carries.
// The DC (position 0) always rounds to nearest.
void QuantizeCoefficients(const double F[64], const uint32_t quant[64], double rounding, int16_t out[64]);

// The step between neighbouring coefficient values at natural position p
// under quant, on the scale of ForwardDct's output.
double CoefficientStep(const uint32_t quant[64], int p);
// All 64 steps of quant at once (natural order). For the rows of
// INTRA_QUANT and INTER_QUANT they are made once and live for ever.
const double* CoefficientSteps(const uint32_t quant[64]);
