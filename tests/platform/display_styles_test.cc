// Every blitting style on every screen depth it allows: the picture that
// reaches the window is the one the copy-out makes in memory, exactly for
// the RGB styles and within the colour conversion's rounding for YUV ones;
// scaled blits land on their destination rectangles.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "base/cpu_features.h"
#include "display/converter.h"
#include "display/copy_flags.h"
#include "display/frame_copy.h"
#include "media/media.h"
#include "tests/media/clip_helpers.h"
#include "tests/platform/headless_display_helpers.h"

namespace {

struct Depth {
  uint32_t bits;
  bool rgb555;
};
constexpr Depth kDepths[] = {{8, false}, {16, false}, {16, true}, {24, false}, {32, false}};

bool StyleAllows(uint32_t style, uint32_t bits) {
  if (bits == 8) return style >= 3 && style <= 8;  // only YUV surfaces can show on a palette screen
  return true;
}

bool IsRgbStyle(uint32_t style) { return style == 1 || style == 2 || style >= 9; }

// Largest channel difference between two 0xRRGGBB words.
int ChannelDistance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8)
    d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
  return d;
}

class StylesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (buffer) DisplayBufferClose(buffer);
  }
  DisplayBuffer* buffer = nullptr;
};

TEST_F(StylesTest, EveryStyleShowsTheCopiedPictureOnEveryDepth) {
  const Picture pic = MakePicture(50, 30, 7);
  for (const Depth& depth : kDepths) {
    for (uint32_t style = 1; style <= 10; ++style) {
      SCOPED_TRACE(testing::Message() << "style " << style << " depth " << depth.bits << (depth.rgb555 ? " 555" : ""));
      HeadlessDisplayInstall(FullConfig(depth.bits, depth.rgb555));
      PlatformWindow* w = HeadlessWindowCreate(100, 80, 50, 30, true);
      buffer = DisplayBufferOpen(w, pic.width, pic.height, style);
      if (!StyleAllows(style, depth.bits)) {
        EXPECT_EQ(buffer, nullptr);
        DisplayBufferClose(buffer);
        buffer = nullptr;
        continue;
      }
      ASSERT_NE(buffer, nullptr) << DisplayBufferError();
      EXPECT_EQ(buffer->style, style);
      ASSERT_TRUE(ShowPicture(buffer, pic));
      const HeadlessScreenInfo screen = HeadlessScreen();
      if (IsRgbStyle(style)) {
        // The screen's bytes under the client area are the converted bytes.
        const uint32_t type = buffer->surface_word & COPY_TYPE_MASK;
        const uint32_t row = pic.width * TypeBytes(type);
        std::vector<uint8_t> want = ConvertToMemory(pic, type, 0);
        const uint32_t bpp = screen.bits_per_pixel / 8;
        for (uint32_t y = 0; y < pic.height; ++y) {
          const uint8_t* got = screen.pixels + size_t(80 + kHeadlessFrameTop + y) * screen.pitch +
                               size_t(100 + kHeadlessFrameSide) * bpp;
          ASSERT_EQ(memcmp(got, want.data() + size_t(y) * row, row), 0) << "row " << y;
        }
      } else {
        std::vector<uint8_t> want = ConvertToMemory(pic, SURFACE_XRGB32, 0);
        std::vector<uint32_t> got = HeadlessReadClient(w);
        // Overlays are composed at full precision; off-screen blits land in
        // the screen's format.
        const int tolerance = (style <= 5 || depth.bits >= 24) ? 1 : depth.bits == 16 ? 9 : 43;  // 3-3-2: steps of 85 in blue
        int worst = 0;
        for (size_t i = 0; i < got.size(); ++i) {
          uint32_t expect;
          memcpy(&expect, want.data() + i * 4, 4);
          worst = std::max(worst, ChannelDistance(got[i], expect & 0xFFFFFF));
        }
        EXPECT_LE(worst, tolerance);
      }
      DisplayBufferClose(buffer);
      buffer = nullptr;
      EXPECT_EQ(HeadlessScreen().surfaces_open, 0u);
      EXPECT_EQ(HeadlessScreen().ddraw_objects_open, 0u);
    }
  }
}

// Scaled by 2 in both directions: each picture pixel covers a 2x2 square of
// the client area, and a partial blit touches only its own rectangle.
TEST_F(StylesTest, ScaledBlitsLandOnTheirDestinationRectangles) {
  const Picture pic = MakePicture(40, 24, 3);
  std::vector<uint8_t> want = ConvertToMemory(pic, SURFACE_XRGB32, 0);
  for (uint32_t style : {2u, 3u, 6u, 7u, 9u, 10u}) {
    SCOPED_TRACE(testing::Message() << "style " << style);
    HeadlessDisplayInstall(FullConfig(32));
    PlatformWindow* w = HeadlessWindowCreate(20, 30, 80, 48, true);
    buffer = DisplayBufferOpen(w, pic.width, pic.height, style | SCALE_WIDTH_ENLARGE_INTEGER | SCALE_HEIGHT_ENLARGE_INTEGER);
    ASSERT_NE(buffer, nullptr) << DisplayBufferError();
    ASSERT_EQ(DisplayBufferSetScale(80, buffer, 48), 1);
    // A partial blit first: only the scaled image of (8, 4, 16, 8) changes.
    ASSERT_TRUE(DisplayBufferLock(buffer));
    CopyPictureToSurface(pic.Planes(), buffer->surface, buffer->pitch, buffer->height, 0, 0,
                         CopyRect{0, 0, pic.width, pic.height}, buffer->surface_word, false, UsableFeatures());
    DisplayBufferUnlock(buffer);
    const DisplayBlitRect part{8, 4, 16, 8};
    DisplayBufferBlit(buffer, &part, 1);
    std::vector<uint32_t> got = HeadlessReadClient(w);
    const bool overlay = style == 3;  // the key fill is unscaled: the overlay shows in its screen rectangle
    for (uint32_t y = 0; y < 48; ++y) {
      for (uint32_t x = 0; x < 80; ++x) {
        bool inside = overlay ? (x >= 8 && x < 24 && y >= 4 && y < 12) : (x >= 16 && x < 48 && y >= 8 && y < 24);
        uint32_t expect = 0;
        if (inside) memcpy(&expect, want.data() + (size_t(y / 2) * pic.width + x / 2) * 4, 4);
        ASSERT_LE(ChannelDistance(got[size_t(y) * 80 + x], expect & 0xFFFFFF), 1) << x << "," << y;
      }
    }
    // The whole picture.
    DisplayBufferBlit(buffer, nullptr, 1);
    got = HeadlessReadClient(w);
    for (uint32_t y = 0; y < 48; ++y)
      for (uint32_t x = 0; x < 80; ++x) {
        uint32_t expect;
        memcpy(&expect, want.data() + (size_t(y / 2) * pic.width + x / 2) * 4, 4);
        ASSERT_LE(ChannelDistance(got[size_t(y) * 80 + x], expect & 0xFFFFFF), 1) << x << "," << y;
      }
    DisplayBufferClose(buffer);
    buffer = nullptr;
  }
}

// A frame decoded by the playback core, copied as the player copies it
// (the buffer's surface word in the copy flags), reaches the window as the
// same copy into memory shows it.
TEST_F(StylesTest, DecodedFrameThroughEveryStyle) {
  ClipSpec spec;
  spec.width = 56;
  spec.height = 40;
  spec.frames = 2;
  std::vector<uint8_t> clip = MakeClip(spec);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), OPEN_NO_SKIP);
  ASSERT_NE(m, nullptr) << MediaGetError();
  ASSERT_EQ(MediaDecodeFrame(m), 0);
  std::vector<uint8_t> want(56 * 40 * 4);
  CopyFrameToSurface(MediaCopyState(m), want.data(), 56 * 4, 40, 0, 0, 0, 0, 56, 40, SURFACE_XRGB32 | COPY_ALL);
  ASSERT_NE(memcmp(want.data(), want.data() + want.size() / 2, want.size() / 2), 0);  // a real picture
  for (uint32_t style = 1; style <= 10; ++style) {
    SCOPED_TRACE(testing::Message() << "style " << style);
    HeadlessDisplayInstall(FullConfig(32));
    PlatformWindow* w = HeadlessWindowCreate(30, 20, 56, 40, true);
    buffer = DisplayBufferOpen(w, 56, 40, style);
    ASSERT_NE(buffer, nullptr) << DisplayBufferError();
    ASSERT_TRUE(DisplayBufferLock(buffer));
    CopyFrameToSurface(MediaCopyState(m), buffer->surface, buffer->pitch, buffer->height, 0, 0, 0, 0, 56, 40,
                       buffer->surface_word);
    DisplayBufferUnlock(buffer);
    DisplayBufferBlit(buffer, nullptr, 1);
    std::vector<uint32_t> got = HeadlessReadClient(w);
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i) {
      uint32_t expect;
      memcpy(&expect, want.data() + i * 4, 4);
      worst = std::max(worst, ChannelDistance(got[i], expect & 0xFFFFFF));
    }
    EXPECT_LE(worst, IsRgbStyle(style) ? 0 : 1);
    DisplayBufferClose(buffer);
    buffer = nullptr;
  }
  MediaClose(m);
}

}  // namespace
