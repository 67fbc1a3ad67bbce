// Dequantisation multipliers of the transform blocks: 16 quantiser indices
// (the 4-bit value a transform block carries) by 64 multipliers in natural
// order (row * 8 + column). A coefficient is multiplied by its entry and
// shifted right by 11 before the inverse transform; the entries fold the
// transform's own per-frequency scale into the quantiser step, so the
// transform itself needs no scaling multiplications.
#pragma once
#include <cstdint>

extern const uint32_t INTRA_QUANT[16][64];
extern const uint32_t INTER_QUANT[16][64];
