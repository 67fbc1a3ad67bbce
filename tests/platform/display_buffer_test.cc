// The display buffer's choices and failures on configured headless screens:
// the automatic order and every error text, scaling classes, the shared
// DirectDraw and display-mode state, positions, the cursor, lost surfaces.
#include <gtest/gtest.h>

#include <cstring>

#include "base/core_alloc.h"
#include "display/converter.h"
#include "display/copy_flags.h"
#include "display/display_shared.h"
#include "tests/platform/headless_display_helpers.h"

namespace {

constexpr uint32_t kScale2x = SCALE_WIDTH_ENLARGE_INTEGER | SCALE_HEIGHT_ENLARGE_INTEGER;
constexpr uint32_t kScale15 = SCALE_WIDTH_ENLARGE | SCALE_HEIGHT_ENLARGE;

class DisplayBufferTest : public ::testing::Test {
 protected:
  void Install(const HeadlessDisplayConfig& c) {
    for (DisplayBuffer* b : open) DisplayBufferClose(b);
    open.clear();
    HeadlessDisplayInstall(c);
    window = HeadlessWindowCreate(100, 60, 64, 48, true);
  }
  DisplayBuffer* Open(uint32_t flags, uint32_t w = 64, uint32_t h = 48) {
    DisplayBuffer* b = DisplayBufferOpen(window, w, h, flags);
    if (b) open.push_back(b);
    return b;
  }
  void Close(DisplayBuffer* b) {
    open.erase(std::find(open.begin(), open.end(), b));
    DisplayBufferClose(b);
  }
  // The style the automatic order picks, closed again at once.
  uint32_t AutoStyle(uint32_t flags = 0) {
    DisplayBuffer* b = Open(flags);
    if (!b) return 0;
    uint32_t s = b->style;
    Close(b);
    return s;
  }
  void TearDown() override {
    for (DisplayBuffer* b : open) DisplayBufferClose(b);
    EXPECT_EQ(DisplaySharedState()->ddraw_references, 0);
    EXPECT_EQ(DisplaySharedState()->mode_references, 0);
  }
  PlatformWindow* window = nullptr;
  std::vector<DisplayBuffer*> open;
};

TEST_F(DisplayBufferTest, AutomaticOrderAndFailureTexts) {
  HeadlessDisplayConfig c = FullConfig(32);
  c.ddraw = false;
  Install(c);
  EXPECT_EQ(AutoStyle(), 2u);  // no DirectDraw: the DIB section
  EXPECT_EQ(Open(1), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "DirectDraw is not available");
  EXPECT_EQ(Open(7), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "DirectDraw is not available");

  Install(FullConfig(32));
  EXPECT_EQ(AutoStyle(), 1u);          // unscaled: the primary first
  EXPECT_EQ(AutoStyle(kScale2x), 2u);  // the primary never scales
  EXPECT_EQ(Open(1 | kScale2x), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "No capable blitting style available.");

  c = FullConfig(32);
  c.primary_cant_lock = true;
  c.dib_fails = true;
  Install(c);
  EXPECT_EQ(AutoStyle(), 3u);
  EXPECT_EQ(Open(2), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "Unable to create DIBSection.");
  c.overlay_fourccs = kHeadlessUYVY;
  c.offscreen_fourccs = kHeadlessYUY2;
  Install(c);
  EXPECT_EQ(AutoStyle(), 5u);
  c.overlay_fourccs = 0;
  Install(c);
  EXPECT_EQ(AutoStyle(), 7u);
  c.offscreen_fourccs = 0;
  Install(c);
  EXPECT_EQ(AutoStyle(), 9u);
  c.offscreen_rgb = false;
  Install(c);
  EXPECT_EQ(Open(0), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "No capable blitting style available.");
  EXPECT_EQ(HeadlessScreen().ddraw_objects_open, 0u);

  // An 8-bit screen without YUV surfaces: nothing works.
  c = FullConfig(8);
  c.overlay_fourccs = c.offscreen_fourccs = 0;
  Install(c);
  EXPECT_EQ(Open(0), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "256 color mode not supported.");
  EXPECT_EQ(Open(2), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "256 color mode not supported.");
  EXPECT_EQ(Open(1), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "256 color mode not supported.");
  // A zero size opens nothing.
  EXPECT_EQ(Open(0, 0, 48), nullptr);

  // Out of memory for the record: everything given back.
  Install(FullConfig(32));
  uint64_t before = CoreBytesInUse();
  CoreSetAllocationLimit(before + 8);
  EXPECT_EQ(Open(3), nullptr);
  CoreSetAllocationLimit(0);
  EXPECT_STREQ(DisplayBufferError(), "Out of memory.");
  EXPECT_EQ(HeadlessScreen().surfaces_open, 0u);
  EXPECT_EQ(CoreBytesInUse(), before);
}

TEST_F(DisplayBufferTest, IntegerOnlyScalerTakesTwiceAndRefusesOneAndAHalf) {
  HeadlessDisplayConfig c = FullConfig(32);
  c.fx_caps = DDFXCAPS_BLTSTRETCHXN | DDFXCAPS_BLTSTRETCHYN;
  c.overlay_fourccs = 0;
  c.dib_fails = true;
  Install(c);
  DisplayBuffer* b = Open(kScale2x);
  ASSERT_NE(b, nullptr) << DisplayBufferError();
  EXPECT_EQ(b->style, 6u);
  EXPECT_EQ(b->caps, 0x88000000u);
  EXPECT_TRUE(b->surface_word & SURFACE_STRETCHED);
  EXPECT_EQ(DisplayBufferSetScale(128, b, 96), 1);
  EXPECT_EQ(b->dest_width, 128u);
  EXPECT_EQ(b->window_width, 128u + 2 * kHeadlessFrameSide);
  EXPECT_EQ(DisplayBufferSetScale(96, b, 72), 0);  // 1.5x: kept at 2x
  EXPECT_EQ(b->dest_width, 128u);
  EXPECT_EQ(b->dest_height, 96u);
  EXPECT_EQ(DisplayBufferSetScale(64, b, 144), 1);  // same width, 3x height
  EXPECT_EQ(DisplayBufferSetScale(32, b, 48), 0);   // halving is not offered
  EXPECT_EQ(b->dest_width, 64u);
  EXPECT_EQ(Open(kScale15), nullptr);
  EXPECT_STREQ(DisplayBufferError(), "No capable blitting style available.");

  // The overlay and blit FX bits translate into their classes.
  EXPECT_EQ(OverlayCapsFromFx(DDFXCAPS_OVERLAYSTRETCHX | DDFXCAPS_OVERLAYSHRINKYN), 0xC2000000u);
  EXPECT_EQ(BlitCapsFromFx(DDFXCAPS_BLTSHRINKX | DDFXCAPS_BLTSTRETCHY), 0x3C000000u);
  EXPECT_EQ(OverlayCapsFromFx(DDFXCAPS_BLTSTRETCHX), 0u);
}

TEST_F(DisplayBufferTest, DepthOrdersAndModeChanges) {
  uint32_t d[3];
  EXPECT_EQ(DepthCandidates(0, d), 0u);
  ASSERT_EQ(DepthCandidates(1, d), 3u);
  EXPECT_EQ((std::vector<uint32_t>{d[0], d[1], d[2]}), (std::vector<uint32_t>{16, 32, 24}));
  ASSERT_EQ(DepthCandidates(2, d), 3u);
  EXPECT_EQ((std::vector<uint32_t>{d[0], d[1], d[2]}), (std::vector<uint32_t>{32, 24, 16}));
  ASSERT_EQ(DepthCandidates(3, d), 2u);
  EXPECT_EQ((std::vector<uint32_t>{d[0], d[1]}), (std::vector<uint32_t>{32, 24}));
  ASSERT_EQ(DepthCandidates(8, d), 1u);
  EXPECT_EQ(d[0], 8u);

  // Code 1 on a card with 32 and 24 bits but not 16 ends in 32-bit mode;
  // a second buffer shares the object and changes nothing.
  HeadlessDisplayConfig c = FullConfig(16);
  c.modes = {{800, 600, 32}, {800, 600, 24}};
  Install(c);
  DisplaySetRequest(DisplayRequest{800, 600, 1});
  DisplayBuffer* a = Open(9 | DISPLAY_CHANGE_MODE);
  ASSERT_NE(a, nullptr) << DisplayBufferError();
  EXPECT_EQ(HeadlessScreen().bits_per_pixel, 32u);
  EXPECT_EQ(a->screen_width, 800u);
  EXPECT_EQ(a->screen_bits, 32u);
  EXPECT_EQ(DisplaySharedState()->request.width, 0);  // used once
  DisplayBuffer* b = Open(3 | DISPLAY_CHANGE_MODE);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(HeadlessScreen().ddraw_objects_created, 1u);
  EXPECT_EQ(HeadlessScreen().set_display_mode_calls, 1u);
  EXPECT_EQ(DisplaySharedState()->ddraw_references, 2);
  Close(a);
  EXPECT_EQ(HeadlessScreen().width, 800u);  // the mode stays while a buffer holds it
  Close(b);
  EXPECT_EQ(HeadlessScreen().width, 640u);
  EXPECT_EQ(HeadlessScreen().bits_per_pixel, 16u);

  // Code 3 never tries 16 bits, so a card with only 16 keeps its mode.
  c.modes = {{800, 600, 16}};
  Install(c);
  DisplaySetRequest(DisplayRequest{800, 600, 3});
  ASSERT_NE(Open(9 | DISPLAY_CHANGE_MODE), nullptr);
  EXPECT_EQ(HeadlessScreen().set_display_mode_calls, 0u);
  EXPECT_EQ(HeadlessScreen().width, 640u);
}

TEST_F(DisplayBufferTest, GdiModeChangeUndoesAWrongDepthThenSetsTheSizeAlone) {
  HeadlessDisplayConfig c = FullConfig(32);
  c.ddraw = false;
  c.modes = {{800, 600, 16}, {800, 600, 32}};
  c.gdi_forced_depth = 24;  // asking for 16 bits gives 24
  Install(c);
  DisplaySetRequest(DisplayRequest{800, 600, 16});
  DisplayBuffer* b = Open(DISPLAY_CHANGE_MODE);
  ASSERT_NE(b, nullptr) << DisplayBufferError();
  EXPECT_EQ(HeadlessScreen().change_settings_calls, 3u);  // 16 (came out 24), undo, size alone
  EXPECT_EQ(HeadlessScreen().width, 800u);
  EXPECT_EQ(HeadlessScreen().bits_per_pixel, 32u);
  EXPECT_EQ(b->screen_width, 800u);
  EXPECT_EQ(b->surface_word & COPY_TYPE_MASK, uint32_t(SURFACE_XRGB32));
  Close(b);
  EXPECT_EQ(HeadlessScreen().width, 640u);
  // Without the mode flag the request stays for later.
  DisplaySetRequest(DisplayRequest{800, 600, 32});
  ASSERT_NE(Open(2), nullptr);
  EXPECT_EQ(HeadlessScreen().width, 640u);
  DisplaySetRequest(DisplayRequest{});
}

TEST_F(DisplayBufferTest, ColourKeysAndSurfaceTypes) {
  EXPECT_EQ(ColourKeyOf(DDPixelFormat{DDPF_RGB, 0, 16, 0xF800, 0x7E0, 0x1F, 0}), 0x0801u);
  EXPECT_EQ(ColourKeyOf(DDPixelFormat{DDPF_RGB, 0, 16, 0x7C00, 0x3E0, 0x1F, 0}), 0x0401u);
  EXPECT_EQ(ColourKeyOf(DDPixelFormat{DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}), 0x010001u);
  EXPECT_EQ(ColourKeyOf(DDPixelFormat{DDPF_RGB | DDPF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0}), 253u);
  HeadlessDisplayConfig c = FullConfig(8);
  Install(c);
  ASSERT_NE(Open(3), nullptr);
  EXPECT_EQ(DisplaySharedState()->colour_key, 253u);

  struct Case {
    DDPixelFormat f;
    int32_t type;
  };
  const Case cases[] = {
      {{DDPF_FOURCC, FOURCC_UYVY, 16, 0, 0, 0, 0}, 14},
      {{DDPF_FOURCC, FOURCC_YV12, 8, 0, 0, 0, 0}, 15},
      {{DDPF_FOURCC, FOURCC_YUY2, 16, 0, 0, 0, 0}, 13},
      {{DDPF_FOURCC, MakeFourCC('I', '4', '2', '0'), 8, 0, 0, 0, 0}, -1},
      {{DDPF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0}, 1},
      {{DDPF_RGB, 0, 24, 0xFF, 0xFF00, 0xFF0000, 0}, 2},
      {{DDPF_RGB, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0}, 4},
      {{DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 5},
      {{DDPF_RGB | DDPF_ALPHAPIXELS, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000}, 8},
      {{DDPF_RGB, 0, 16, 0xFC00, 0x3E0, 0x1F, 0}, 11},
      {{DDPF_RGB, 0, 16, 0xFC00, 0x3F0, 0xF, 0}, 12},
      {{DDPF_RGB | DDPF_ALPHAPIXELS, 0, 16, 0xF00, 0xF0, 0xF, 0xF000}, 7},
      {{DDPF_RGB, 0, 16, 0x1F, 0x7E0, 0xF800, 0}, -1},
  };
  for (const Case& k : cases) EXPECT_EQ(SurfaceTypeOfPixelFormat(k.f), k.type) << k.type;
}

TEST_F(DisplayBufferTest, FillSurfaceBlackLeavesNoStaleBytes) {
  std::vector<uint8_t> m(64 * 8, 0xEE);
  FillSurfaceBlack(SURFACE_YUY2, m.data(), 16, 5, 2);
  EXPECT_EQ((std::vector<uint8_t>(m.begin(), m.begin() + 11)),
            (std::vector<uint8_t>{0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0xEE}));
  std::fill(m.begin(), m.end(), 0xEE);
  FillSurfaceBlack(SURFACE_UYVY, m.data(), 16, 3, 1);
  EXPECT_EQ((std::vector<uint8_t>(m.begin(), m.begin() + 7)),
            (std::vector<uint8_t>{0x80, 0, 0x80, 0, 0x80, 0, 0xEE}));
  std::fill(m.begin(), m.end(), 0xEE);
  FillSurfaceBlack(SURFACE_YV12, m.data(), 16, 8, 4);  // Y 16x4, V and U 8x2 each
  EXPECT_EQ(m[0], 16);
  EXPECT_EQ(m[7], 16);
  EXPECT_EQ(m[8], 0xEE);
  EXPECT_EQ(m[64], 128);
  EXPECT_EQ(m[64 + 3], 128);
  EXPECT_EQ(m[64 + 4], 0xEE);
  EXPECT_EQ(m[64 + 8 * 3 + 3], 128);  // U plane, last row
  EXPECT_EQ(m[64 + 8 * 4], 0xEE);
  // The types with alpha or reversed order are black too.
  for (uint32_t type : {2u, 4u, 5u, 6u, 7u, 8u}) {
    std::fill(m.begin(), m.end(), 0xEE);
    FillSurfaceBlack(type, m.data(), 32, 3, 2);
    const uint32_t row = 3 * TypeBytes(type);
    EXPECT_EQ(m[row - 1], 0) << type;
    EXPECT_EQ(m[row], 0xEE) << type;
    EXPECT_EQ(m[32 + row - 1], 0) << type;
  }
}

TEST_F(DisplayBufferTest, CheckPositionKeepsThePrimaryPictureOnScreenAndAligned) {
  for (uint32_t bits : {32u, 24u, 16u}) {
    SCOPED_TRACE(bits);
    Install(FullConfig(bits));
    DisplayBuffer* b = Open(1);
    ASSERT_NE(b, nullptr) << DisplayBufferError();
    ASSERT_EQ(b->style, 1u);
    const int32_t align = bits == 32 ? 2 : bits == 24 ? 8 : 4;
    int32_t x = 101, y = 50;
    DisplayBufferCheckPosition(&x, b, &y);
    EXPECT_EQ((x + kHeadlessFrameSide) % align, 0);
    EXPECT_GE(x + kHeadlessFrameSide, 101 + kHeadlessFrameSide);
    EXPECT_LT(x - 101, align);
    EXPECT_EQ(y, 50);
    x = 630;  // past the right edge
    y = 470;
    DisplayBufferCheckPosition(&x, b, &y);
    EXPECT_LE(x + kHeadlessFrameSide + 64, 640);
    EXPECT_EQ((x + kHeadlessFrameSide) % align, 0);
    EXPECT_EQ(y + kHeadlessFrameTop + 48, 480);
    x = -50;
    y = -50;
    DisplayBufferCheckPosition(&x, b, &y);
    EXPECT_EQ(x + kHeadlessFrameSide, 0);
    EXPECT_EQ(y + kHeadlessFrameTop, 0);
    // A picture partly off the screen is never written.
    HeadlessWindowMove(window, 600, 10);
    DisplayBufferSetOffset(0, b, 0);
    EXPECT_EQ(DisplayBufferLock(b), 0);
    EXPECT_TRUE(b->surface_word & SURFACE_COPY_ALL);
    Close(b);
    HeadlessWindowMove(window, 100, 60);
  }
}

TEST_F(DisplayBufferTest, CursorProbeAndHidingOverThePicture) {
  HeadlessDisplayConfig c = FullConfig(32);
  c.cursor_x = 300;
  c.cursor_y = 200;
  Install(c);
  DisplayBuffer* b = Open(1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->software_cursor, 0);  // a hardware cursor: the write survived
  EXPECT_EQ(HeadlessScreen().pixels[200 * HeadlessScreen().pitch + 300 * 4], 0);  // and was put back
  EXPECT_EQ(HeadlessCursorCount(), 0);
  Close(b);
  // Under the hot spot a red pixel, whose first byte (blue) is already 0:
  // the probe still sees its write survive.
  Install(c);
  HeadlessScreenInfo screen = HeadlessScreen();
  screen.pixels[200 * screen.pitch + 300 * 4 + 2] = 0xFF;
  b = Open(1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->software_cursor, 0);
  EXPECT_EQ(screen.pixels[200 * screen.pitch + 300 * 4], 0);
  Close(b);

  c.software_cursor = true;
  Install(c);
  b = Open(1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->software_cursor, 1);
  EXPECT_EQ(HeadlessCursorCount(), 0);
  // The cursor over the picture is hidden while the surface is locked and
  // shown again at the unlock; elsewhere it is left alone.
  HeadlessSetCursorPos(b->screen_x + 10, b->screen_y + 10);
  ASSERT_EQ(DisplayBufferLock(b), 1);
  EXPECT_LT(HeadlessCursorCount(), 0);
  DisplayBufferUnlock(b);
  EXPECT_EQ(HeadlessCursorCount(), 0);
  HeadlessSetCursorPos(500, 400);
  ASSERT_EQ(DisplayBufferLock(b), 1);
  EXPECT_EQ(HeadlessCursorCount(), 0);
  DisplayBufferUnlock(b);

  c.mouse = false;
  Install(c);
  b = Open(1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->software_cursor, 0);
}

TEST_F(DisplayBufferTest, LostSurfaceIsRestoredAndCopiedWhole) {
  HeadlessDisplayConfig c = FullConfig(32);
  Install(c);
  const Picture pic = MakePicture(64, 48, 5);
  for (uint32_t style : {1u, 4u, 9u}) {
    SCOPED_TRACE(style);
    DisplayBuffer* b = Open(style);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(ShowPicture(b, pic));
    EXPECT_FALSE(b->surface_word & SURFACE_COPY_ALL);
    HeadlessLoseSurfaces();
    ASSERT_EQ(DisplayBufferLock(b), 1);
    EXPECT_TRUE(b->surface_word & SURFACE_COPY_ALL);  // the next copy converts everything
    DisplayBufferUnlock(b);
    EXPECT_FALSE(b->surface_word & SURFACE_COPY_ALL);
    Close(b);
  }
  c.restore_fails = true;
  Install(c);
  DisplayBuffer* b = Open(9);
  ASSERT_NE(b, nullptr);
  HeadlessLoseSurfaces();
  EXPECT_EQ(DisplayBufferLock(b), 0);
  EXPECT_TRUE(b->surface_word & SURFACE_COPY_ALL);
  EXPECT_EQ(b->surface, nullptr);
}

TEST_F(DisplayBufferTest, MinimisedWindowRefusesLocksAndHidesTheOverlay) {
  Install(FullConfig(32));
  const Picture pic = MakePicture(64, 48, 9);
  DisplayBuffer* b = Open(3);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->surface_word & SURFACE_DIRECT);
  EXPECT_EQ(b->overlay_shown, 0);  // hidden until the first unlock
  ASSERT_TRUE(ShowPicture(b, pic));
  EXPECT_EQ(b->overlay_shown, 1);
  HeadlessWindowSetMinimised(window, true);
  EXPECT_EQ(DisplayBufferSetOffset(0, b, 0), 1);
  EXPECT_EQ(b->minimised, 1);
  EXPECT_EQ(DisplayBufferLock(b), 0);
  EXPECT_EQ(DisplayBufferClear(b), 0);
  // Restored and moved: the overlay follows the window.
  HeadlessWindowSetMinimised(window, false);
  HeadlessWindowMove(window, 200, 100);
  DisplayBufferSetOffset(0, b, 0);
  EXPECT_EQ(b->screen_x, 200 + kHeadlessFrameSide);
  EXPECT_EQ(DisplayBufferLock(b), 1);
  DisplayBufferUnlock(b);
  EXPECT_STREQ(DisplayBufferStyleName(b), "DirectDraw YV12 overlay");
  Close(b);

  // A doubled overlay hanging off the screen's left edge: what is cut from
  // the destination is cut from the source in source pixels.
  HeadlessWindowMove(window, -24, 100);  // client from x = -20
  HeadlessWindowResizeClient(window, 128, 96);
  b = Open(3 | kScale2x);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(DisplayBufferSetScale(128, b, 96), 1);
  ASSERT_TRUE(ShowPicture(b, pic));
  std::vector<uint8_t> want = ConvertToMemory(pic, SURFACE_XRGB32, 0);
  std::vector<uint32_t> got = HeadlessReadScreen(0, 100 + kHeadlessFrameTop, 108, 96);
  for (uint32_t y = 0; y < 96; y += 7)
    for (uint32_t x = 0; x < 108; x += 3) {
      uint32_t expect;
      memcpy(&expect, want.data() + (size_t(y / 2) * 64 + (x + 20) / 2) * 4, 4);
      ASSERT_EQ(got[size_t(y) * 108 + x], expect & 0xFFFFFF) << x << "," << y;
    }
  HeadlessWindowMove(window, 100, 60);
  EXPECT_EQ(DisplayBufferStyleName(nullptr), nullptr);
  // The DIB style writes to memory whatever the window does.
  HeadlessWindowSetMinimised(window, true);
  DisplayBuffer* d = Open(2);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(DisplayBufferLock(d), 1);
  DisplayBufferUnlock(d);
}

}  // namespace
