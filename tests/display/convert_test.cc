// Colour properties of the converters, checked through the copy of whole
// pictures with the plain converters and with the best the processor offers.
#include <gtest/gtest.h>

#include <cstring>

#include "display/colour_tables.h"
#include "base/cpu_features.h"
#include "display/copy_flags.h"
#include "display/converter.h"
#include "display_test_helpers.h"

namespace {

const uint32_t kFeatureSets[] = {0u, ~0u};

void Copy(const TestPicture& p, TestSurface& s, uint32_t flags, uint32_t features, CopyRect r = {0, 0, ~0u, ~0u},
          uint32_t destX = 0, uint32_t destY = 0) {
  if (r.width == ~0u) r = CopyRect{0, 0, p.width, p.height};
  ASSERT_TRUE(CopyPictureToSurface(p.Planes(), s.data(), s.pitch, s.height, destX, destY, r, flags, false,
                                   features & UsableFeatures()));
}

TEST(ColourTables, LumaAndChromaEndPoints) {
  EXPECT_EQ(LumaTable[0], 0);
  EXPECT_EQ(LumaTable[16], 0);
  EXPECT_EQ(LumaTable[17], 1);
  EXPECT_EQ(LumaTable[234], 254);
  EXPECT_EQ(LumaTable[235], 255);
  EXPECT_EQ(LumaTable[255], 255);
  EXPECT_EQ(ChromaTable[0], -52);
  EXPECT_EQ(ChromaTable[127], -1);
  EXPECT_EQ(ChromaTable[128], 0);
  EXPECT_EQ(ChromaTable[255], 51);
}

TEST(Convert, BlackAndWhitePointsInEveryRgbType) {
  // White: every significant bit of every colour field; no alpha field bits.
  const uint32_t kWhite[13] = {0xFF,   0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                               0x0FFF, 0x7FFF,   0x7FFF,   0xFFDF,   0xFBFF,   0xF3CF};
  for (uint32_t features : kFeatureSets) {
    for (uint32_t type = 0; type <= 12; ++type) {
      for (int white = 0; white < 2; ++white) {
        TestPicture p = MakeFlatPicture(37, 5, false, white ? 235 : 16, 128, 128);
        TestSurface s = MakeSurface(type, 0, p.width, p.height);
        Copy(p, s, type, features);
        for (uint32_t y = 0; y < p.height; ++y) {
          for (uint32_t x = 0; x < p.width; ++x) {
            ASSERT_EQ(PixelAt(s, type, x, y), white ? kWhite[type] : 0u)
                << "type " << type << " at " << x << "," << y << " features " << features;
          }
        }
      }
    }
  }
}

TEST(Convert, SaturatedChromaFollowsTheEquations) {
  // U = V = 255: v = u = 51. Y = 235 gives red 255+204, green 255-51-102,
  // blue 255+255; Y = 16 gives red 204, green below zero, blue 255.
  for (uint32_t features : kFeatureSets) {
    TestPicture bright = MakeFlatPicture(20, 2, false, 235, 255, 255);
    TestPicture dark = MakeFlatPicture(20, 2, false, 16, 255, 255);
    TestSurface s3 = MakeSurface(3, 0, 20, 2), s4 = MakeSurface(4, 0, 20, 2), s10 = MakeSurface(10, 0, 20, 2);
    Copy(bright, s3, 3, features);
    Copy(bright, s4, 4, features);
    EXPECT_EQ(PixelAt(s3, 3, 5, 1), 0x00FF66FFu);
    EXPECT_EQ(PixelAt(s4, 4, 5, 1), 0x00FF66FFu);
    Copy(dark, s3, 3, features);
    Copy(dark, s4, 4, features);
    Copy(dark, s10, 10, features);
    EXPECT_EQ(PixelAt(s3, 3, 0, 0), 0x00CC00FFu);
    EXPECT_EQ(PixelAt(s4, 4, 0, 0), 0x00FF00CCu);
    // Pixel (0, 0) has dither 0: red 204 >> 3 = 25, blue 31, green 0.
    EXPECT_EQ(PixelAt(s10, 10, 0, 0), (25u << 11) | 31u);
  }
}

// A flat grey whose luma value sits 6 above a multiple of 8: in a 5-5-5
// surface the dither offsets (0, 4 / 2, 6) lift the even row's odd column and
// the whole odd row to the next level.
TEST(Convert, SixteenBitDitherIsFixedToFrameRowsAndColumns) {
  uint8_t grey = 0;
  for (uint32_t y = 100; y < 200; ++y) {
    if ((LumaTable[y] & 7) == 6) {
      grey = static_cast<uint8_t>(y);
      break;
    }
  }
  ASSERT_NE(grey, 0);
  const uint32_t k = LumaTable[grey] >> 3;
  const uint32_t lift[2][2] = {{0, 1}, {1, 1}};
  for (uint32_t features : kFeatureSets) {
    TestPicture p = MakeFlatPicture(41, 9, false, grey, 128, 128);
    const CopyRect rects[] = {{0, 0, 41, 9}, {3, 1, 35, 7}, {1, 3, 2, 5}};
    for (const CopyRect& r : rects) {
      TestSurface s = MakeSurface(9, 0, p.width, p.height, 0);
      Copy(p, s, 9, features, r, r.x, r.y);
      for (uint32_t y = r.y; y < r.y + r.height; ++y) {
        for (uint32_t x = r.x; x < r.x + r.width; ++x) {
          const uint32_t level = k + lift[y & 1][x & 1];
          ASSERT_EQ(PixelAt(s, 9, x, y), (level << 10) | (level << 5) | level)
              << x << "," << y << " rect at " << r.x << "," << r.y;
        }
      }
    }
  }
}

TEST(Convert, AlphaTypesWithoutAlphaPlaneMatchTheOpaqueTypes) {
  for (uint32_t features : kFeatureSets) {
    TestPicture p = MakeRandomPicture(53, 6, false, 7);
    const uint32_t pairs[][2] = {{5, 3}, {6, 4}, {7, 7}, {8, 9}};
    for (const auto& pair : pairs) {
      TestSurface a = MakeSurface(pair[0], 0, p.width, p.height), b = MakeSurface(pair[1], 0, p.width, p.height);
      Copy(p, a, pair[0], features);
      Copy(p, b, pair[1], features);
      for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
          const uint32_t pa = PixelAt(a, pair[0], x, y);
          ASSERT_EQ(pa, PixelAt(b, pair[1], x, y)) << pair[0] << " vs " << pair[1];
          if (pair[0] >= 5 && pair[0] <= 6) {
            ASSERT_EQ(pa >> 24, 0u);
          }
          if (pair[0] == 7) {
            ASSERT_EQ(pa >> 12, 0u);
          }
        }
      }
    }
  }
}

TEST(Convert, AlphaPlaneFillsTheAlphaFieldAndCanStandInForLuma) {
  for (uint32_t features : kFeatureSets) {
    TestPicture p = MakeRandomPicture(35, 4, true, 11);
    TestSurface s5 = MakeSurface(5, 0, 35, 4), s7 = MakeSurface(7, 0, 35, 4), s8 = MakeSurface(8, 0, 35, 4);
    Copy(p, s5, 5, features);
    Copy(p, s7, 7, features);
    Copy(p, s8, 8, features);
    for (uint32_t y = 0; y < 4; ++y) {
      for (uint32_t x = 0; x < 35; ++x) {
        const uint8_t a = p.alpha[y * p.y_width + x];
        ASSERT_EQ(PixelAt(s5, 5, x, y) >> 24, a);
        ASSERT_EQ(PixelAt(s7, 7, x, y) >> 12, a >> 4u);
        ASSERT_EQ(PixelAt(s8, 8, x, y) >> 15, a >> 7u);
      }
    }
    // Alpha as luma: the same as a picture whose Y and alpha planes are exchanged.
    TestPicture swapped = p;
    std::swap(swapped.y, swapped.alpha);
    TestSurface viaFlag = MakeSurface(5, 0, 35, 4), viaSwap = MakeSurface(5, 0, 35, 4);
    Copy(p, viaFlag, 5 | COPY_ALPHA_AS_LUMA, features);
    Copy(swapped, viaSwap, 5, features);
    EXPECT_EQ(viaFlag.bytes, viaSwap.bytes);
    // Without an alpha plane the flag changes nothing.
    TestPicture opaque = MakeRandomPicture(35, 4, false, 11);
    TestSurface plainCopy = MakeSurface(3, 0, 35, 4), flagged = MakeSurface(3, 0, 35, 4);
    Copy(opaque, plainCopy, 3, features);
    Copy(opaque, flagged, 3 | COPY_ALPHA_AS_LUMA, features);
    EXPECT_EQ(plainCopy.bytes, flagged.bytes);
  }
}

TEST(Convert, PlanarChromaFollowsTheDestinationPairsWhenParitiesDiffer) {
  // Source (3, 1) to destination (0, 0): each destination chroma sample
  // comes from the source pixel on its even destination row and column.
  TestPicture p = MakeRandomPicture(40, 20, false, 8);
  const int32_t pitch = 48;
  const uint32_t height = 20;
  std::vector<uint8_t> surface(pitch * height * 3 / 2, 0xEE);
  ASSERT_TRUE(CopyPictureToSurface(p.Planes(), surface.data(), pitch, height, 0, 0, CopyRect{3, 1, 36, 18}, 15,
                                   false, UsableFeatures()));
  const uint8_t* vPlane = surface.data() + pitch * height;
  for (uint32_t r = 0; r < 9; ++r) {
    for (uint32_t c = 0; c < 18; ++c) {
      ASSERT_EQ(vPlane[r * (pitch / 2) + c], p.c1[((2 * r + 1) / 2) * p.c_width + (2 * c + 3) / 2]) << r << "," << c;
    }
  }
}

// Grayscale output equals the copy of the same luma with neutral chroma, in
// every type: it carries no colour.
TEST(Convert, GrayscaleOutputHasNoColourInAnyType) {
  for (uint32_t features : kFeatureSets) {
    TestPicture p = MakeRandomPicture(300, 3, false, 5);  // wider than one grayscale chunk
    TestPicture neutral = p;
    std::fill(neutral.c1.begin(), neutral.c1.end(), 128);
    std::fill(neutral.c2.begin(), neutral.c2.end(), 128);
    for (uint32_t type = 0; type < 15; ++type) {
      TestSurface a = MakeSurface(type, 0, 300, 3), b = MakeSurface(type, 0, 300, 3);
      Copy(p, a, type | COPY_GRAYSCALE, features);
      Copy(neutral, b, type, features);
      ASSERT_EQ(a.bytes, b.bytes) << "type " << type;
    }
  }
}

TEST(Convert, NegativePitchStoresTheRowsBottomUp) {
  TestPicture p = MakeRandomPicture(21, 7, false, 9);
  for (uint32_t type : {0u, 1u, 3u, 10u, 13u}) {
    TestSurface up = MakeSurface(type, 0, 21, 7);
    TestSurface down = up;
    const uint32_t rows = 7;
    Copy(p, up, type, ~0u, CopyRect{0, 0, 21, 7});
    ASSERT_TRUE(CopyPictureToSurface(p.Planes(), down.data(), -down.pitch, rows, 0, 0, CopyRect{0, 0, 21, 7},
                                     type, false, UsableFeatures()));
    for (uint32_t y = 0; y < rows; ++y) {
      ASSERT_EQ(0, std::memcmp(up.data() + y * up.pitch, down.data() + (rows - 1 - y) * down.pitch, up.pitch))
          << "type " << type << " row " << y;
    }
  }
}

TEST(Convert, WritesStayInsideTheSurface) {
  // A surface narrower and shorter than the picture, with guard bytes around.
  TestPicture p = MakeRandomPicture(64, 32, true, 13);
  for (uint32_t type = 0; type < 16; ++type) {
    for (uint32_t mode : {0u, 1u, 4u, 6u}) {
      const int32_t pitch = 40;
      const uint32_t height = 10;
      const size_t guard = 256;
      std::vector<uint8_t> buf(guard + pitch * height * 2 + guard, 0x5A);
      uint8_t* surface = buf.data() + guard;
      const size_t bytes = type == 15 ? pitch * height + 2 * (pitch / 2) * (height / 2) : pitch * height;
      for (int32_t sign : {1, -1}) {
        CopyPictureToSurface(p.Planes(), surface, sign * pitch, height, 3, 2, CopyRect{0, 0, 64, 32},
                             type | (mode << COPY_MODE_SHIFT), false, UsableFeatures());
        for (size_t i = 0; i < guard; ++i) ASSERT_EQ(buf[i], 0x5A) << "type " << type << " mode " << mode;
        for (size_t i = guard + bytes; i < buf.size(); ++i) {
          ASSERT_EQ(buf[i], 0x5A) << "type " << type << " mode " << mode << " sign " << sign;
        }
      }
    }
  }
}

}  // namespace
