// The copy-out against a model of its own: for a tiny picture of odd size,
// every surface type, display mode and chroma option (swapped, grayscale),
// the model says what each destination byte must be (untouched bytes keep
// the fill), from the colour equations and the placement rules written out
// here independently of the converters. A wrong chroma row or column,
// swapped U and V, a pixel doubled the wrong way or a chroma plane written
// past its end all fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/cpu_features.h"
#include "display/copy_flags.h"
#include "display/converter.h"
#include "display_test_helpers.h"

namespace {

constexpr uint8_t kFill = 0xA5;

// Red, green, blue: position and width; alpha position and width (0: none).
struct Layout {
  int pos[3], width[3], alpha_pos, alpha_width;
};
const Layout kLayouts[13] = {
    {{0, 3, 6}, {3, 3, 2}, 0, 0},     {{16, 8, 0}, {8, 8, 8}, 0, 0},  {{0, 8, 16}, {8, 8, 8}, 0, 0},
    {{16, 8, 0}, {8, 8, 8}, 0, 0},    {{0, 8, 16}, {8, 8, 8}, 0, 0},  {{16, 8, 0}, {8, 8, 8}, 24, 8},
    {{0, 8, 16}, {8, 8, 8}, 24, 8},   {{8, 4, 0}, {4, 4, 4}, 12, 4},  {{10, 5, 0}, {5, 5, 5}, 15, 1},
    {{10, 5, 0}, {5, 5, 5}, 0, 0},    {{11, 5, 0}, {5, 6, 5}, 0, 0},  {{10, 5, 0}, {6, 5, 5}, 0, 0},
    {{10, 4, 0}, {6, 6, 4}, 0, 0}};

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// One RGB pixel, from the colour equations; row and column parity pick the dither.
uint32_t ModelRgb(uint32_t type, int Y, int V, int U, int A, uint32_t row, uint32_t col) {
  const Layout& l = kLayouts[type];
  const int y = Y < 16 ? 0 : Y >= 235 ? 255 : (Y - 16) * 76392 / 65536;
  const int v = ((V - 128) * 26572) >> 16, u = ((U - 128) * 26572) >> 16;  // floor
  const int sums[3] = {y + 4 * v, y - u - 2 * v, y + 5 * u};
  int m = 0;
  for (int w : l.width) m = std::max(m, 8 - w);
  uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    const int drop = type == 0 ? 8 - l.width[c] : m;
    const int h = 1 << drop;
    const int dither[2][2] = {{0, h / 2}, {h / 4, 3 * h / 4}};
    const int d = drop ? dither[row & 1][col & 1] : 0;
    out |= uint32_t(Clamp(sums[c] + d) >> drop) << (l.pos[c] + l.width[c] - (8 - drop));
  }
  if (l.alpha_width) out |= uint32_t(A >> (8 - l.alpha_width)) << l.alpha_pos;
  return out;
}

// Mode: destination columns per source pixel, destination rows per source
// row and their spacing, and whether only every other source row is taken.
struct Mode {
  uint32_t xs, repeats, step;
  bool half;
};
const Mode kModes[8] = {{1, 1, 1, false}, {1, 2, 2, false}, {1, 1, 2, false}, {2, 1, 1, false},
                        {2, 2, 2, false}, {2, 1, 2, false}, {1, 1, 2, true},  {1, 1, 1, false}};

// The surface after copying rectangle (sx, sy, w, h) of `p` to (dx, dy): a
// luma area of pitch x rows, then for type 15 the V and U planes of half the
// pitch and half the rows, then 64 guard bytes.
std::vector<uint8_t> Model(const TestPicture& p, uint32_t type, uint32_t mode, uint32_t chroma, uint32_t sx,
                           uint32_t sy, uint32_t w, uint32_t h, uint32_t dx, uint32_t dy, uint32_t pitch,
                           uint32_t rows) {
  const uint32_t bytes = SurfaceBytes(type);
  const uint32_t chroma_rows = rows / 2, chroma_pitch = pitch / 2;
  std::vector<uint8_t> s(pitch * rows + (type == 15 ? 2 * chroma_pitch * chroma_rows : 0) + 64, kFill);
  std::vector<bool> chroma_done(chroma_pitch * chroma_rows, false);
  const Mode& md = kModes[mode];
  const uint32_t first = md.half ? sy / 2 : sy, count = md.half ? h / 2 : h;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t walk = first + i, src_row = md.half ? 2 * walk : walk;
    for (uint32_t rep = 0; rep < md.repeats; ++rep) {
      const uint32_t row = dy + i * md.step + rep;
      for (uint32_t x = sx; x < sx + w; ++x) {
        const int Y = p.y[src_row * p.y_width + x], A = p.alpha.empty() ? 0 : p.alpha[src_row * p.y_width + x];
        const int c1 = p.c1[src_row / 2 * p.c_width + x / 2], c2 = p.c2[src_row / 2 * p.c_width + x / 2];
        const bool swapped = chroma & COPY_SWAPPED_CHROMA, gray = chroma & COPY_GRAYSCALE;
        const int V = gray ? 128 : swapped ? c2 : c1, U = gray ? 128 : swapped ? c1 : c2;
        for (uint32_t k = 0; k < md.xs; ++k) {
          const uint32_t col = dx + (x - sx) * md.xs + k;
          uint8_t* out = &s[row * pitch + col * bytes];
          if (type == 13 || type == 14) {  // a pixel's luma and the chroma of its destination column
            out[type == 14] = uint8_t(Y);
            out[type == 13] = uint8_t(col % 2 ? V : U);
          } else if (type == 15) {  // a chroma pair takes its first written pixel
            out[0] = uint8_t(Y);
            const uint32_t at = row / 2 * chroma_pitch + col / 2;
            if (row / 2 < chroma_rows && !chroma_done[at]) {
              chroma_done[at] = true;
              s[pitch * rows + at] = uint8_t(V);
              s[pitch * rows + chroma_pitch * chroma_rows + at] = uint8_t(U);
            }
          } else {
            const uint32_t v = ModelRgb(type, Y, V, U, A, walk, x);
            std::memcpy(out, &v, bytes);
          }
        }
      }
    }
  }
  return s;
}

TEST(CopyModel, EveryTypeModeAndChromaOrderMatchesTheModel) {
  const TestPicture p = MakeRandomPicture(7, 5, true, 77);
  struct Rect {
    uint32_t x, y, w, h;
  };
  // The whole picture, and a part starting on an odd row and column.
  const Rect rects[2] = {{0, 0, 7, 5}, {1, 1, 5, 4}};
  for (uint32_t features : {0u, ~0u}) {
    for (uint32_t type = 0; type < 16; ++type) {
      for (uint32_t mode = 0; mode < 8; ++mode) {
        for (uint32_t chroma : {0u, COPY_SWAPPED_CHROMA, COPY_GRAYSCALE}) {
          for (const Rect& r : rects) {
            const Mode& md = kModes[mode];
            if (md.half && r.y % 2) continue;  // half-height copies start on even rows
            const uint32_t dx = r.x * md.xs, dy = md.half ? r.y : r.y * md.step;
            const uint32_t pitch = (7 * md.xs + 1) * SurfaceBytes(type) + 2;
            // Exactly the rows the copy reaches, so the planar chroma planes
            // end where a last odd row would write past them.
            const uint32_t count = md.half ? r.h / 2 : r.h;
            const uint32_t rows = dy + (count - 1) * md.step + md.repeats;
            std::vector<uint8_t> got = Model(p, type, mode, chroma, 0, 0, 0, 0, 0, 0, pitch, rows);
            ASSERT_TRUE(CopyPictureToSurface(p.Planes(), got.data(), int32_t(pitch), rows, dx, dy,
                                             CopyRect{r.x, r.y, r.w, r.h},
                                             type | (mode << COPY_MODE_SHIFT) | chroma,
                                             false, features & UsableFeatures()));
            const std::vector<uint8_t> want = Model(p, type, mode, chroma, r.x, r.y, r.w, r.h, dx, dy, pitch, rows);
            for (size_t i = 0; i < want.size(); ++i)
              ASSERT_EQ(got[i], want[i]) << "type " << type << " mode " << mode << " chroma " << chroma
                                         << " rect at " << r.x << "," << r.y << " features " << features
                                         << " byte " << i << " (row " << i / pitch << " col " << i % pitch << ")";
          }
        }
      }
    }
  }
}

}  // namespace
