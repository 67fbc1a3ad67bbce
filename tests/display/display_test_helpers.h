// Test pictures for the copy-out: planes with the decoder's layout (pitch =
// width rounded up to 8) filled flat or with pseudo-random samples.
#pragma once
#include <cstdint>
#include <vector>

#include "display/copy_walk.h"

struct TestPicture {
  uint32_t width = 0, height = 0;
  uint32_t y_width = 0, y_height = 0, c_width = 0, c_height = 0;
  std::vector<uint8_t> y, c1, c2, alpha, map;
  CopyPlanes Planes() const;
};

// Planes for a width x height picture; alpha plane only when withAlpha. All
// samples set to (y, c1, c2, a); change map all zero.
TestPicture MakeFlatPicture(uint32_t width, uint32_t height, bool withAlpha, uint8_t y, uint8_t c1,
                            uint8_t c2, uint8_t a = 255);
// Pseudo-random samples from seed (deterministic).
TestPicture MakeRandomPicture(uint32_t width, uint32_t height, bool withAlpha, uint32_t seed);
void FillRandom(std::vector<uint8_t>& bytes, uint32_t seed);

// Bytes of one destination pixel of a surface type (planar: luma bytes).
uint32_t SurfaceBytes(uint32_t type);

// A destination surface with generous room, pre-filled with a marker byte so
// untouched bytes show.
struct TestSurface {
  int32_t pitch = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bytes;
  uint8_t* data() { return bytes.data(); }
};
// Room for a width x height picture copied in `mode` into a surface of type
// `type` (planar surfaces get their two chroma planes below).
TestSurface MakeSurface(uint32_t type, uint32_t mode, uint32_t width, uint32_t height, uint8_t fill = 0xA5);

// Reads the pixel at (x, y) of an RGB/packed surface as a little-endian word.
uint32_t PixelAt(const TestSurface& s, uint32_t type, uint32_t x, uint32_t y);
