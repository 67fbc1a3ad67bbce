// Vector converters for x86-64: the same outputs as the plain converters,
// sixteen (SSE2), thirty-two (AVX2) or sixty-four (AVX-512) pixels per step. Each returns null when
// it has no converter for the request or the build is not for x86.
#pragma once
#include <cstdint>

#include "display/converter.h"

// RGB families: type 0 (bytes 1), 7-12 (bytes 2), 1-6 (bytes 4; the 24-bit
// types use the 32-bit converter of their byte order as first stage).
RowConverter Sse2RgbConverter(uint32_t type, bool alpha);
RowConverter Avx2RgbConverter(uint32_t type, bool alpha);
// Packed YUV types 13 and 14 without width doubling.
RowConverter Sse2PackedYuvConverter(uint32_t type);
RowConverter Avx2PackedYuvConverter(uint32_t type);
// Second stage of the 24-bit types: packs 32-bit scratch pixels to three
// bytes each with byte shuffles (needs SSSE3); null when not built for x86.
SecondStage Ssse3Pack24Stage();
// The 24-bit types 1 and 2 in one stage, writing three bytes a pixel.
RowConverter Avx2Rgb24Converter(uint32_t type);

// AVX-512 (F, BW, VL, VBMI): the 24/32-bit types 1-6 as 32-bit pixels, the
// 24-bit types 1 and 2 in one stage, and the packed YUV types 13 and 14.
RowConverter Avx512RgbConverter(uint32_t type, bool alpha);
RowConverter Avx512Rgb24Converter(uint32_t type);
RowConverter Avx512PackedYuvConverter(uint32_t type);
