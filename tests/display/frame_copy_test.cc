// The frame-level steps of the copy: lateness and skipping, the open flags it
// inherits, the output-to-picture scaling and the choice of walk.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/copy_flags.h"
#include "display/copy_walk.h"
#include "display/converter.h"
#include "display/frame_copy.h"
#include "base/timer.h"
#include "base/clock.h"
#include "video/frame_buffers.h"

namespace {

uint32_t g_now = 0;
uint32_t FakeTicks(void*) { return g_now; }
bool NoCounter(void*, uint64_t*) { return false; }
uint64_t NoFrequency(void*) { return 0; }
const PlatformClock kFakeClock = {&FakeTicks, &NoCounter, &NoFrequency, &FakeTicks, nullptr, nullptr};

class FrameCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformSetClock(&kFakeClock);
    MediaTimerReset();
    g_now = 5000;
    fb_ = FrameBuffersAllocate(kWidth, kHeight, 0, true, nullptr, kWidth);
    ASSERT_NE(fb_, nullptr);
    // A picture with some colour so that copies are visible.
    PlaneSet& set = fb_->sets[fb_->current];
    for (uint32_t i = 0; i < fb_->y_width * fb_->y_height; ++i) set.plane[PLANE_Y].pixels[i] = uint8_t(40 + i % 150);
    map_.assign(ChangeMapPitch(kWidth) * ChangeMapRows(kHeight), 0);
    state_ = CopyFrameState{};
    state_.frames = fb_;
    state_.video_width = state_.output_width = kWidth;
    state_.video_height = state_.output_height = kHeight;
    state_.change_map = map_.data();
    state_.change_map_pitch = ChangeMapPitch(kWidth);
    state_.block_count = static_cast<uint32_t>(map_.size());
    state_.decode_mark = &mark_;
    // 30 frames a second with a sound track; frame 10 is due 333 ms after
    // the clock base.
    state_.open_tracks = 1;
    state_.rate_dividend = 30;
    state_.rate_divisor = 1;
    state_.late_threshold = 66;
    state_.frames_decoded = 10;
    state_.clock_base = 1000;
    state_.clock_base_frame = 0;
    surface_.assign(kPitch * kHeight * 2, 0);
  }
  void TearDown() override {
    FrameBuffersFree(fb_);
    PlatformSetClock(nullptr);
    MediaTimerReset();
  }
  int Copy(uint32_t flags) {
    return CopyFrameToSurface(&state_, surface_.data(), kPitch, kHeight, 0, 0, 0, 0, state_.output_width,
                              state_.output_height, flags);
  }
  bool SurfaceTouched() const {
    for (uint8_t b : surface_) {
      if (b) return true;
    }
    return false;
  }

  static constexpr uint32_t kWidth = 40, kHeight = 24;
  static constexpr int32_t kPitch = 4 * 2 * kWidth;
  FrameBuffers* fb_ = nullptr;
  std::vector<uint8_t> map_, surface_;
  std::atomic<uint32_t> mark_{0};
  CopyFrameState state_{};
};

TEST_F(FrameCopy, OnTimeFrameIsCopied) {
  state_.consecutive_skips = 2;
  state_.previous_blit_skipped = 1;
  g_now = 1000 + 333 + 66;  // late by exactly the threshold
  MediaTimerReset();
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
  EXPECT_TRUE(SurfaceTouched());
  EXPECT_EQ(state_.consecutive_skips, 0u);
  EXPECT_EQ(state_.previous_blit_skipped, 0u);
  EXPECT_EQ(mark_.load(), 0u);
}

TEST_F(FrameCopy, LateFramesSkipThreeCopiesAndShowTheFourth) {
  g_now = 1000 + 333 + 200;
  MediaTimerReset();
  for (uint32_t n = 1; n <= 3; ++n) {
    EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 1);
    EXPECT_FALSE(SurfaceTouched());
    EXPECT_EQ(state_.skip_flag, 1u);
    EXPECT_EQ(state_.previous_blit_skipped, 1u);
    EXPECT_EQ(state_.skipped_blits, n);
    EXPECT_EQ(mark_.load(), 0u);
    // The same frame again: still skipped, nothing counted twice.
    EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 1);
    EXPECT_EQ(state_.skipped_blits, n);
    state_.skip_flag = 0;  // the next frame is read
  }
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 1);
  EXPECT_TRUE(SurfaceTouched());
  EXPECT_EQ(state_.consecutive_skips, 0u);
  EXPECT_EQ(state_.skipped_blits, 3u);
}

TEST_F(FrameCopy, NoSkipCopiesALateFrameAndReportsIt) {
  g_now = 1000 + 333 + 500;
  MediaTimerReset();
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL | COPY_NO_SKIP), 1);
  EXPECT_TRUE(SurfaceTouched());
  EXPECT_EQ(state_.skipped_blits, 0u);
  std::fill(surface_.begin(), surface_.end(), 0);
  state_.open_flags = COPY_NO_SKIP;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 1);
  EXPECT_TRUE(SurfaceTouched());
}

TEST_F(FrameCopy, LatenessIsOnlyJudgedWithSoundRunning) {
  g_now = 1000 + 333 + 5000;
  MediaTimerReset();
  state_.open_tracks = 0;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
  state_.open_tracks = 1;
  state_.paused = 1;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
  // A late credit that hides the lateness.
  state_.paused = 0;
  state_.late_credit = 6000;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
  EXPECT_EQ(state_.skipped_blits, 0u);
}

TEST_F(FrameCopy, StartsTheClockWhenItIsNotRunning) {
  state_.clock_base = 0;
  MediaTimerReset();
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
  EXPECT_EQ(state_.clock_base, g_now);
  EXPECT_EQ(state_.clock_base_frame, 9u);
}

TEST_F(FrameCopy, InheritsOpenFlagsAndScalesTheOutputRectangle) {
  state_.open_tracks = 0;
  // The player doubled the width by display mode: output size is twice the picture.
  state_.open_flags = (uint32_t{COPY_MODE_WIDTH_DOUBLED} << COPY_MODE_SHIFT) | COPY_GRAYSCALE | 0x00000400u;
  state_.output_width = 2 * kWidth;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
  EXPECT_EQ(state_.last_copy_flags,
            SURFACE_XRGB32 | COPY_ALL | (uint32_t{COPY_MODE_WIDTH_DOUBLED} << COPY_MODE_SHIFT) | COPY_GRAYSCALE);
  // The same as converting the whole picture with those flags.
  std::vector<uint8_t> expected(surface_.size(), 0);
  const PlaneSet& set = fb_->sets[fb_->current];
  CopyPlanes planes{set.plane[0].pixels, set.plane[0].pitch, set.plane[1].pixels, set.plane[1].pitch,
                    set.plane[2].pixels, set.plane[2].pitch, nullptr, 0, kWidth, kHeight, nullptr, 0};
  ASSERT_TRUE(CopyPictureToSurface(planes, expected.data(), kPitch, kHeight, 0, 0, CopyRect{0, 0, kWidth, kHeight},
                                   state_.last_copy_flags, false, ConverterFeatures()));
  EXPECT_EQ(surface_, expected);
}

TEST_F(FrameCopy, ConvertsOnlyChangedBlocksWhenMostStayedUnchanged) {
  state_.open_tracks = 0;
  map_[1] = 1;  // block (1, 0)
  state_.unchanged_areas = state_.block_count / 4;
  EXPECT_EQ(Copy(SURFACE_XRGB32), 0);
  auto pixel = [&](uint32_t x, uint32_t y) {
    uint32_t v;
    std::memcpy(&v, surface_.data() + y * kPitch + x * 4, 4);
    return v;
  };
  EXPECT_NE(pixel(20, 3), 0u);
  EXPECT_EQ(pixel(3, 3), 0u);
  EXPECT_EQ(pixel(20, 20), 0u);
  // Too few unchanged areas, or copy-all: the whole picture.
  state_.unchanged_areas = state_.block_count / 4 - 1;
  EXPECT_EQ(Copy(SURFACE_XRGB32), 0);
  EXPECT_NE(pixel(3, 3), 0u);
}

TEST_F(FrameCopy, NothingWithoutPictureOrDestination) {
  EXPECT_EQ(CopyFrameToSurface(nullptr, surface_.data(), kPitch, kHeight, 0, 0, 0, 0, 10, 10, 3), 0);
  EXPECT_EQ(CopyFrameToSurface(&state_, nullptr, kPitch, kHeight, 0, 0, 0, 0, 10, 10, 3), 0);
  state_.frames = nullptr;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
  EXPECT_FALSE(SurfaceTouched());
}

}  // namespace
