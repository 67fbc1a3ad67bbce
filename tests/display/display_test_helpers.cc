#include "display_test_helpers.h"

#include <cstring>

#include "display/copy_flags.h"

namespace {
uint32_t Round8(uint32_t v) { return (v + 7) & ~7u; }
}  // namespace

CopyPlanes TestPicture::Planes() const {
  CopyPlanes p{};
  p.y = y.data();
  p.y_pitch = static_cast<int32_t>(y_width);
  p.chroma1 = c1.data();
  p.chroma1_pitch = static_cast<int32_t>(c_width);
  p.chroma2 = c2.data();
  p.chroma2_pitch = static_cast<int32_t>(c_width);
  p.alpha = alpha.empty() ? nullptr : alpha.data();
  p.alpha_pitch = static_cast<int32_t>(y_width);
  p.width = width;
  p.height = height;
  p.change_map = map.data();
  p.change_map_pitch = (width + 15) / 16;
  return p;
}

TestPicture MakeFlatPicture(uint32_t width, uint32_t height, bool withAlpha, uint8_t y, uint8_t c1, uint8_t c2,
                            uint8_t a) {
  TestPicture p;
  p.width = width;
  p.height = height;
  p.y_width = Round8(width);
  p.y_height = Round8(height);
  p.c_width = Round8((width + 1) / 2);
  p.c_height = Round8((height + 1) / 2);
  p.y.assign(static_cast<size_t>(p.y_width) * p.y_height, y);
  p.c1.assign(static_cast<size_t>(p.c_width) * p.c_height, c1);
  p.c2.assign(static_cast<size_t>(p.c_width) * p.c_height, c2);
  if (withAlpha) p.alpha.assign(p.y.size(), a);
  p.map.assign(static_cast<size_t>((width + 15) / 16) * ((height + 15) / 16), 0);
  return p;
}

void FillRandom(std::vector<uint8_t>& bytes, uint32_t seed) {
  uint32_t s = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    b = static_cast<uint8_t>(s >> 3);
  }
}

TestPicture MakeRandomPicture(uint32_t width, uint32_t height, bool withAlpha, uint32_t seed) {
  TestPicture p = MakeFlatPicture(width, height, withAlpha, 0, 0, 0);
  FillRandom(p.y, seed);
  FillRandom(p.c1, seed + 1);
  FillRandom(p.c2, seed + 2);
  if (withAlpha) FillRandom(p.alpha, seed + 3);
  return p;
}

uint32_t SurfaceBytes(uint32_t type) {
  static const uint8_t kBytes[16] = {1, 3, 3, 4, 4, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2, 1};
  return kBytes[type & 15];
}

TestSurface MakeSurface(uint32_t type, uint32_t mode, uint32_t width, uint32_t height, uint8_t fill) {
  TestSurface s;
  const uint32_t xs = CopyModeDoublesWidth(mode) ? 2 : 1;
  const uint32_t ys = (CopyModeDoublesHeight(mode) || mode == 2 || mode == 5) ? 2 : 1;
  s.pitch = static_cast<int32_t>(((width * xs + 3) * SurfaceBytes(type) + 15) & ~15u);
  s.height = height * ys + 2;
  s.bytes.assign(static_cast<size_t>(s.pitch) * s.height * 2, fill);
  return s;
}

uint32_t PixelAt(const TestSurface& s, uint32_t type, uint32_t x, uint32_t y) {
  const uint32_t bytes = SurfaceBytes(type);
  uint32_t v = 0;
  std::memcpy(&v, s.bytes.data() + static_cast<size_t>(y) * s.pitch + static_cast<size_t>(x) * bytes, bytes);
  return v;
}
