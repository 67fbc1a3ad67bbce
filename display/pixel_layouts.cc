#include "display/pixel_layouts.h"

#include <array>
#include <memory>

namespace {

// Position and width of red, green, blue and alpha for surface types 0-12
// (alpha width 0: no alpha field).
struct ChannelSpec {
  uint8_t pos[4];
  uint8_t width[4];
  uint8_t bytes;
};
constexpr ChannelSpec kChannelSpecs[13] = {
    {{0, 3, 6, 0}, {3, 3, 2, 0}, 1},      // 0: 3-3-2 palette index
    {{16, 8, 0, 0}, {8, 8, 8, 0}, 4},     // 1: 24-bit B, G, R (packed as 3)
    {{0, 8, 16, 0}, {8, 8, 8, 0}, 4},     // 2: 24-bit R, G, B
    {{16, 8, 0, 0}, {8, 8, 8, 0}, 4},     // 3
    {{0, 8, 16, 0}, {8, 8, 8, 0}, 4},     // 4
    {{16, 8, 0, 24}, {8, 8, 8, 8}, 4},    // 5
    {{0, 8, 16, 24}, {8, 8, 8, 8}, 4},    // 6
    {{8, 4, 0, 12}, {4, 4, 4, 4}, 2},     // 7: 4-4-4-4
    {{10, 5, 0, 15}, {5, 5, 5, 1}, 2},    // 8: 1-5-5-5
    {{10, 5, 0, 0}, {5, 5, 5, 0}, 2},     // 9: 5-5-5
    {{11, 5, 0, 0}, {5, 6, 5, 0}, 2},     // 10: 5-6-5
    {{10, 5, 0, 0}, {6, 5, 5, 0}, 2},     // 11: 6-5-5
    {{10, 4, 0, 0}, {6, 6, 4, 0}, 2},     // 12: 6-6-4
};

// Even rows (0, h/2), odd rows (h/4, 3h/4), h = 2^dropped bits.
constexpr void SetDither(PixelLayout& l, int channel, int dropped) {
  if (dropped == 0) return;
  const int h = 1 << dropped;
  l.dither[0][0][channel] = 0;
  l.dither[0][1][channel] = static_cast<int16_t>(h / 2);
  l.dither[1][0][channel] = static_cast<int16_t>(h / 4);
  l.dither[1][1][channel] = static_cast<int16_t>(3 * h / 4);
}

constexpr PixelLayout MakeLayout(uint32_t type) {
  const ChannelSpec& s = kChannelSpecs[type];
  PixelLayout l{};
  l.surface_type = type;
  l.bytes_per_pixel = s.bytes;
  if (s.width[3] != 0) {
    // The field keeps the sample's top bits: shift left by (position -
    // dropped bits) and mask to the field.
    const int dropped = 8 - s.width[3];
    l.alpha_shift = static_cast<uint8_t>(s.pos[3] - dropped);
    l.alpha_mask = ((1u << s.width[3]) - 1u) << s.pos[3];
  }
  if (type == 0) {
    // Each channel of the palette index has its own quantisation and dither.
    for (int c = 0; c < 3; ++c) {
      const int dropped = 8 - s.width[c];
      l.shift_right[c] = static_cast<uint8_t>(dropped);
      l.shift_left[c] = s.pos[c];
      SetDither(l, c, dropped);
    }
    return l;
  }
  int m = 0;
  for (int c = 0; c < 3; ++c) m = (8 - s.width[c]) > m ? 8 - s.width[c] : m;
  for (int c = 0; c < 3; ++c) {
    const int dropped = 8 - s.width[c];
    l.shift_right[c] = static_cast<uint8_t>(m);
    l.shift_left[c] = static_cast<uint8_t>(s.pos[c] - dropped + m);
    SetDither(l, c, m);
  }
  return l;
}

constexpr std::array<PixelLayout, 13> MakeLayouts() {
  std::array<PixelLayout, 13> all{};
  for (uint32_t t = 0; t < 13; ++t) all[t] = MakeLayout(t);
  return all;
}

constexpr std::array<PixelLayout, 13> kLayouts = MakeLayouts();
static_assert(kLayouts[10].shift_left[CHANNEL_GREEN] == 6 && kLayouts[12].shift_left[CHANNEL_RED] == 12);
static_assert(kLayouts[7].dither[1][1][0] == 12 && kLayouts[0].dither[0][1][CHANNEL_BLUE] == 32);

struct AllPackTables {
  PackTables type[13];
};

const AllPackTables* BuildPackTables() {
  // Built once and kept for the life of the process.
  static const std::unique_ptr<AllPackTables> tables = [] {
    auto all = std::make_unique<AllPackTables>();
    for (uint32_t t = 0; t < 13; ++t) {
      const PixelLayout& l = kLayouts[t];
      PackTables& p = all->type[t];
      for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < kClampSize; ++i) {
          int v = i - kClampBias;
          v = v < 0 ? 0 : (v > 255 ? 255 : v);
          p.channel[c][i] = (static_cast<uint32_t>(v) >> l.shift_right[c]) << l.shift_left[c];
        }
      }
      for (uint32_t a = 0; a < 256; ++a) p.alpha[a] = (a << l.alpha_shift) & l.alpha_mask;
    }
    return all;
  }();
  return tables.get();
}

}  // namespace

const PixelLayout* LayoutOfSurfaceType(uint32_t type) {
  return type < 13 ? &kLayouts[type] : nullptr;
}

const PackTables* PackTablesOfSurfaceType(uint32_t type) {
  return type < 13 ? &BuildPackTables()->type[type] : nullptr;
}
