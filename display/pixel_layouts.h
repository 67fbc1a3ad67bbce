// Channel layouts of the RGB surface types and the clamp-and-pack tables
// built from them.
//
// A converter sums luma, chroma term and dither offset for each channel and
// looks the sum up in the channel's table, which clamps it to 0-255, drops
// the low bits the channel cannot hold and moves the rest into position; the
// three looked-up words are OR-ed into the pixel. For the 16-bit types every
// channel keeps the top (8 - m) bits of its value, m being the largest number
// of bits any of the three drops, so that one dither set serves all three.
#pragma once
#include <cstdint>

// A channel sum lies in [-260, 558] (blue: 0 + 5 * -52 at the bottom,
// 255 + 48 + 5 * 51 at the top); tables are indexed by sum + kClampBias.
inline constexpr int32_t kClampBias = 320;
inline constexpr int32_t kClampSize = 1024;

enum Channel : uint32_t { CHANNEL_RED = 0, CHANNEL_GREEN = 1, CHANNEL_BLUE = 2 };

struct PixelLayout {
  uint32_t surface_type;
  uint32_t bytes_per_pixel;  // of the packed word: 1, 2 or 4 (the 24-bit types pack 4, then trim)
  // Per channel (red, green, blue): bits dropped from the clamped value and
  // the left shift of what remains.
  uint8_t shift_right[3];
  uint8_t shift_left[3];
  // Alpha sample << alpha_shift, masked with alpha_mask (0: the type has no alpha field).
  uint8_t alpha_shift;
  uint32_t alpha_mask;
  // Dither offsets [row parity][column parity][channel]; all zero for the
  // 24- and 32-bit types.
  int16_t dither[2][2][3];
};

struct PackTables {
  uint32_t channel[3][kClampSize];  // red, green, blue: sum + kClampBias -> bits in position
  uint32_t alpha[256];              // alpha sample -> bits in position
};

// The layout of an RGB surface type (0-12); null for the YUV types and codes
// above 15.
const PixelLayout* LayoutOfSurfaceType(uint32_t type);
// The clamp-and-pack tables of an RGB surface type (0-12), built on first use
// for every type at once; null for other codes. Safe to call from any thread.
const PackTables* PackTablesOfSurfaceType(uint32_t type);
