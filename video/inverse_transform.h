// The 8x8 inverse transform of the transform blocks and the ways its result
// reaches the plane. All arithmetic is 32-bit integer that wraps (done in
// unsigned arithmetic, so no overflow is undefined); results are taken
// modulo 256 with no clamping, exactly as every decoder of the format must.
//
// block: 64 coefficients in natural order (row * 8 + column), position 0 the
// DC value. quant: one row of INTRA_QUANT or INTER_QUANT.
//
// Each function runs the fastest implementation the processor allows (see
// inverse_transform_kernels.h); every implementation gives the same bytes.
#pragma once
#include <cstdint>

// The 64 result values (low 8 bits of each) in natural order.
void InverseTransform(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]);

// Writes the 8x8 result at dst.
void InverseTransformPut(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch);

// Writes each result value as a 2x2 square: 16x16 pixels at dst.
void InverseTransformPutScaled(const int16_t block[64], const uint32_t quant[64], uint8_t* dst,
                               int pitch);

// dst pixel = (src pixel + result) modulo 256; src is the displaced
// reference block. dst and src may be the same block.
void InverseTransformAdd(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch,
                         const uint8_t* src, int src_pitch);
