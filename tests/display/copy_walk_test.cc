// The row walks: a sub-rectangle converts to exactly the same bytes as the
// same area of a full copy (dither and chroma pairs stay fixed to the
// picture), and converting only changed blocks frame after frame leaves the
// same surface as full copies.
#include <gtest/gtest.h>

#include "display/copy_flags.h"
#include "base/cpu_features.h"
#include "display/converter.h"
#include "display_test_helpers.h"

namespace {

const uint32_t kFeatureSets[] = {0u, ~0u};

uint32_t Features(uint32_t set) { return set & UsableFeatures(); }

// Where a picture row/column lands in the destination of a full copy.
uint32_t DestX(uint32_t mode, uint32_t x) { return CopyModeDoublesWidth(mode) ? 2 * x : x; }
uint32_t DestY(uint32_t mode, uint32_t y) {
  if (mode == 6) return y;  // half height: source row 2j goes to row 2j
  return (CopyModeDoublesHeight(mode) || CopyModeInterlaces(mode)) ? 2 * y : y;
}

TEST(CopyWalk, SubRectangleEqualsTheSameAreaOfAFullCopy) {
  const TestPicture p = MakeRandomPicture(45, 22, true, 31);
  for (uint32_t features : kFeatureSets) {
    for (uint32_t type = 0; type < 16; ++type) {
      for (uint32_t mode = 0; mode < 8; ++mode) {
        const uint32_t flags = type | (mode << COPY_MODE_SHIFT);
        // Odd first row and column (half-height copies start on an even row).
        const CopyRect sub{5, mode == 6 ? 4u : 3u, 26, 13};
        TestSurface full = MakeSurface(type, mode, p.width, p.height, 0);
        ASSERT_TRUE(CopyPictureToSurface(p.Planes(), full.data(), full.pitch, full.height, 0, 0,
                                         CopyRect{0, 0, p.width, p.height}, flags, false, Features(features)));
        TestSurface parts[2] = {MakeSurface(type, mode, p.width, p.height, 0x00),
                                MakeSurface(type, mode, p.width, p.height, 0xFF)};
        for (TestSurface& s : parts) {
          ASSERT_TRUE(CopyPictureToSurface(p.Planes(), s.data(), s.pitch, s.height, DestX(mode, sub.x),
                                           DestY(mode, sub.y), sub, flags, false, Features(features)));
        }
        // Bytes the sub-copy wrote are those equal under both fills; they
        // must match the full copy, and cover exactly the rectangle's area
        // (for the planar type: its luma rows).
        const uint32_t bytes = SurfaceBytes(type);
        const uint32_t xs = CopyModeDoublesWidth(mode) ? 2 : 1;
        const size_t colBegin = static_cast<size_t>(DestX(mode, sub.x)) * bytes;
        const size_t colEnd = colBegin + static_cast<size_t>(sub.width) * xs * bytes;
        const size_t lumaBytes = static_cast<size_t>(full.pitch) * full.height;
        for (size_t i = 0; i < parts[0].bytes.size(); ++i) {
          const bool written = parts[0].bytes[i] == parts[1].bytes[i];
          if (written) {
            ASSERT_EQ(parts[0].bytes[i], full.bytes[i])
                << "type " << type << " mode " << mode << " byte " << i << " features " << features;
          }
          if (type == 15 && i >= lumaBytes) continue;
          const size_t row = i / full.pitch, col = i % full.pitch;
          bool inside = col >= colBegin && col < colEnd && row >= DestY(mode, sub.y);
          if (inside) {
            const size_t r = row - DestY(mode, sub.y);
            if (mode == 6) {
              inside = r % 2 == 0 && r / 2 < sub.height / 2;
            } else if (CopyModeDoublesHeight(mode)) {
              inside = r < 2 * sub.height;
            } else if (CopyModeInterlaces(mode)) {
              inside = r % 2 == 0 && r / 2 < sub.height;
            } else {
              inside = r < sub.height;
            }
          }
          ASSERT_EQ(written, inside) << "type " << type << " mode " << mode << " row " << row << " col " << col;
        }
      }
    }
  }
}

// Changes a few 16x16 blocks of the picture (all planes) and marks them.
void ChangeBlocks(TestPicture& p, uint32_t frame) {
  std::fill(p.map.begin(), p.map.end(), 0);
  const uint32_t across = (p.width + 15) / 16, down = (p.height + 15) / 16;
  for (uint32_t k = 0; k < 3; ++k) {
    const uint32_t bx = (frame * 7 + k * 5) % across, by = (frame * 3 + k) % down;
    p.map[by * across + bx] = 1;
    for (uint32_t y = by * 16; y < by * 16 + 16 && y < p.y_height; ++y) {
      for (uint32_t x = bx * 16; x < bx * 16 + 16 && x < p.y_width; ++x) {
        p.y[y * p.y_width + x] = static_cast<uint8_t>(p.y[y * p.y_width + x] * 5 + frame);
        if (!p.alpha.empty()) p.alpha[y * p.y_width + x] ^= static_cast<uint8_t>(frame * 37);
      }
    }
    for (uint32_t y = by * 8; y < by * 8 + 8 && y < p.c_height; ++y) {
      for (uint32_t x = bx * 8; x < bx * 8 + 8 && x < p.c_width; ++x) {
        p.c1[y * p.c_width + x] = static_cast<uint8_t>(p.c1[y * p.c_width + x] + 41 * frame);
        p.c2[y * p.c_width + x] = static_cast<uint8_t>(p.c2[y * p.c_width + x] ^ (frame * 13));
      }
    }
  }
}

TEST(CopyWalk, ChangedBlockWalkKeepsTheSurfaceEqualToFullCopies) {
  for (uint32_t features : kFeatureSets) {
    for (uint32_t type = 0; type < 16; ++type) {
      for (uint32_t mode : {0u, 1u, 3u, 4u, 5u, 6u}) {
        TestPicture p = MakeRandomPicture(70, 50, true, 41);
        const uint32_t flags = type | (mode << COPY_MODE_SHIFT);
        TestSurface changed = MakeSurface(type, mode, p.width, p.height, 0);
        TestSurface full = changed;
        const CopyRect rect{3, 1, 66, 48};
        ASSERT_TRUE(CopyPictureToSurface(p.Planes(), changed.data(), changed.pitch, changed.height, 0, 0, rect,
                                         flags, false, Features(features)));
        for (uint32_t frame = 1; frame <= 6; ++frame) {
          ChangeBlocks(p, frame);
          ASSERT_TRUE(CopyPictureToSurface(p.Planes(), changed.data(), changed.pitch, changed.height, 0, 0, rect,
                                           flags, true, Features(features)));
          ASSERT_TRUE(CopyPictureToSurface(p.Planes(), full.data(), full.pitch, full.height, 0, 0, rect, flags,
                                           false, Features(features)));
          ASSERT_EQ(changed.bytes, full.bytes) << "type " << type << " mode " << mode << " frame " << frame;
        }
      }
    }
  }
}

TEST(CopyWalk, ChangedBlockWalkLeavesUnmarkedBlocksAlone) {
  TestPicture p = MakeRandomPicture(48, 32, false, 3);
  p.map[1] = 1;  // block (1, 0) only
  TestSurface s = MakeSurface(3, 0, 48, 32, 0);
  ASSERT_TRUE(CopyPictureToSurface(p.Planes(), s.data(), s.pitch, s.height, 0, 0, CopyRect{0, 0, 48, 32}, 3, true,
                                   UsableFeatures()));
  for (uint32_t y = 0; y < 32; ++y) {
    for (uint32_t x = 0; x < 48; ++x) {
      const bool marked = y < 16 && x >= 16 && x < 32;
      ASSERT_EQ(PixelAt(s, 3, x, y) != 0, marked) << x << "," << y;
    }
  }
}

}  // namespace
