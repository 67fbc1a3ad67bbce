// Display buffers of every blitting style on the SDL2 backend, in a real
// window under a virtual X server: a decoded frame goes through lock, copy,
// unlock and blit, and the window's pixels read back from the renderer are
// the frame as our own converter draws it (exactly for the RGB styles).
// Runs with the GPU renderer and with SDL's software renderer.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "display/copy_flags.h"
#include "display/display_buffer.h"
#include "display/frame_copy.h"
#include "media/media.h"
#include "platform/sdl/sdl_display.h"
#include "platform/sdl/sdl_display_driver.h"
#include "tests/platform/platform_test_helpers.h"

namespace {

constexpr uint32_t kW = 160, kH = 120;

class SdlBufferTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (std::getenv("VEXA_NO_DISPLAY")) GTEST_SKIP() << "no X server for a real window (xvfb-run is not installed)";
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, GetParam());
    ASSERT_TRUE(SdlDisplayRegister()) << SdlWindowError();
    ASSERT_TRUE(OpenDecodedClip(&clip_, kW, kH, 3));
    expected_ = ExpectedPixels(&clip_);
    SdlWindowParams p{"Vexa", 16, 16, 2 * kW, 2 * kH, SDL_WINDOW_FRAME_CAPTION, false, false, false, 0};
    window_ = SdlWindowCreate(&p);
    ASSERT_NE(window_, nullptr) << SdlWindowError();
    SDL_PumpEvents();
  }
  void TearDown() override {
    if (buffer_) DisplayBufferClose(buffer_);
    if (window_) SdlWindowDestroy(window_);
    if (!std::getenv("VEXA_NO_DISPLAY")) SdlDisplayUnregister();
  }

  void Show() {
    ASSERT_EQ(DisplayBufferLock(buffer_), 1);
    uint32_t rows = buffer_->style == 1 ? buffer_->screen_height - uint32_t(buffer_->screen_y) : buffer_->height;
    CopyFrameToSurface(MediaCopyState(clip_.media), buffer_->surface, buffer_->pitch, rows, 0, 0, 0, 0, kW, kH,
                       buffer_->surface_word | COPY_ALL | COPY_NO_SKIP);
    DisplayBufferUnlock(buffer_);
    DisplayBufferBlit(buffer_, nullptr, 1);
  }

  // Mean and largest channel difference of the client area's w x h corner
  // against the expected frame scaled to that size.
  void ExpectShown(uint32_t w, uint32_t h, bool exact, const std::string& what) {
    std::vector<uint32_t> got(size_t(w) * h);
    ASSERT_TRUE(SdlScreenReadPixels(SdlScreenGet(window_), {0, 0, int32_t(w), int32_t(h)}, got.data(),
                                    int32_t(w) * 4));
    double sum = 0;
    int worst = 0;
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) {
        uint32_t a = got[size_t(y) * w + x], b = expected_[size_t(y * kH / h) * kW + x * kW / w];
        for (int shift = 0; shift < 24; shift += 8) {
          int e = std::abs(int((a >> shift) & 255) - int((b >> shift) & 255));
          worst = std::max(worst, e);
          sum += e;
        }
      }
    double mean = sum / (3.0 * w * h);
    if (exact) {
      EXPECT_EQ(worst, 0) << what;
    } else {
      // SDL's YUV conversion rounds its own way: close on average.
      EXPECT_LE(mean, 4.0) << what;
    }
  }

  DecodedClip clip_;
  std::vector<uint32_t> expected_;
  SdlWindow* window_ = nullptr;
  DisplayBuffer* buffer_ = nullptr;
};

TEST_P(SdlBufferTest, EveryStyleShowsTheDecodedFrameAtItsSizeAndScaled) {
  PlatformWindow* w = SdlDisplayWindowHandle(window_);
  for (uint32_t style = 0; style <= 10; ++style) {
    std::string what = std::string("style ") + std::to_string(style) + " (" + GetParam() + ")";
    buffer_ = DisplayBufferOpen(w, kW, kH, style);
    ASSERT_NE(buffer_, nullptr) << what << ": " << DisplayBufferError();
    // Automatic: the first style in the order, the screen itself.
    EXPECT_EQ(buffer_->style, style ? style : 1u) << what;
    const bool exact = buffer_->style <= 2 || buffer_->style >= 9;
    Show();
    ExpectShown(kW, kH, exact, what);
    if (buffer_->style != 1) {  // every other style scales
      ASSERT_EQ(DisplayBufferSetScale(2 * kW, buffer_, 2 * kH), 1) << what;
      Show();
      ExpectShown(2 * kW, 2 * kH, exact, what + " twice the size");
    }
    DisplayBufferClose(buffer_);
    buffer_ = nullptr;
  }
}

TEST_P(SdlBufferTest, ALostSurfaceIsRestoredByTheNextLockWhichCopiesEverything) {
  buffer_ = DisplayBufferOpen(SdlDisplayWindowHandle(window_), kW, kH, 6);
  ASSERT_NE(buffer_, nullptr) << DisplayBufferError();
  Show();
  SDL_Event reset{};
  reset.type = SDL_RENDER_DEVICE_RESET;
  SDL_PushEvent(&reset);
  ASSERT_EQ(DisplayBufferLock(buffer_), 1);
  EXPECT_NE(buffer_->surface_word & SURFACE_COPY_ALL, 0u);
  DisplayBufferUnlock(buffer_);
  ASSERT_TRUE(DecodeNextFrame(&clip_));
  expected_ = ExpectedPixels(&clip_);
  Show();
  ExpectShown(kW, kH, false, "after the reset");
}

INSTANTIATE_TEST_SUITE_P(Renderers, SdlBufferTest, ::testing::Values("", "software"),
                         [](const auto& info) { return std::string(*info.param ? info.param : "default"); });

}  // namespace
