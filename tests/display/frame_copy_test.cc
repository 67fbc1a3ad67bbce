// The frame-level steps of the copy: what it does with the playback clock's
// verdict, the open flags it inherits, the output-to-picture scaling and the
// choice of walk. (The clock's own rules are tested with the core.)
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/copy_flags.h"
#include "base/cpu_features.h"
#include "display/copy_walk.h"
#include "display/converter.h"
#include "display/frame_copy.h"
#include "video/frame_buffers.h"

namespace {

// A playback clock that gives a set verdict and records what it was asked.
struct FakeClock {
  CopyLateness verdict = LATENESS_ON_TIME;
  uint32_t skipped = 0;
  int judged = 0;
  bool no_skip = false;
};
uint32_t FakeSkipped(const void* clock) { return static_cast<const FakeClock*>(clock)->skipped; }
CopyLateness FakeJudge(void* clock, bool no_skip) {
  auto* c = static_cast<FakeClock*>(clock);
  c->judged += 1;
  c->no_skip = no_skip;
  if (c->verdict == LATENESS_SKIPPED) c->skipped = 1;
  return c->verdict;
}
const CopyClockOps kFakeClockOps = {&FakeSkipped, &FakeJudge};

class FrameCopy : public ::testing::Test {
 protected:
  void SetUp() override {
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
    clock_ = FakeClock{};
    state_.clock_ops = &kFakeClockOps;
    state_.clock = &clock_;
    surface_.assign(kPitch * kHeight * 2, 0);
  }
  void TearDown() override { FrameBuffersFree(fb_); }
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
  FakeClock clock_;
  CopyFrameState state_{};
};

TEST_F(FrameCopy, OnTimeAndLateShownFramesAreCopied) {
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
  EXPECT_TRUE(SurfaceTouched());
  EXPECT_EQ(clock_.judged, 1);
  EXPECT_EQ(mark_.load(), 0u);
  std::fill(surface_.begin(), surface_.end(), 0);
  clock_.verdict = LATENESS_LATE_SHOWN;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 1);
  EXPECT_TRUE(SurfaceTouched());
  // Without a clock every frame is on time.
  state_.clock_ops = nullptr;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 0);
}

TEST_F(FrameCopy, ASkippedCopyWritesNothingAndIsJudgedOnce) {
  clock_.verdict = LATENESS_SKIPPED;
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 1);
  EXPECT_FALSE(SurfaceTouched());
  EXPECT_EQ(mark_.load(), 0u);
  // The same frame again: still skipped, not judged (nor counted) twice.
  EXPECT_EQ(Copy(SURFACE_XRGB32 | COPY_ALL), 1);
  EXPECT_EQ(clock_.judged, 1);
  EXPECT_FALSE(SurfaceTouched());
}

TEST_F(FrameCopy, NoSkipFromTheCopyOrTheOpenFlagsReachesTheClock) {
  Copy(SURFACE_XRGB32 | COPY_ALL);
  EXPECT_FALSE(clock_.no_skip);
  Copy(SURFACE_XRGB32 | COPY_ALL | COPY_NO_SKIP);
  EXPECT_TRUE(clock_.no_skip);
  state_.open_flags = COPY_NO_SKIP;
  Copy(SURFACE_XRGB32 | COPY_ALL);
  EXPECT_TRUE(clock_.no_skip);
}

TEST_F(FrameCopy, InheritsOpenFlagsAndScalesTheOutputRectangle) {
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
                                   state_.last_copy_flags, false, UsableFeatures()));
  EXPECT_EQ(surface_, expected);
}

TEST_F(FrameCopy, ConvertsOnlyChangedBlocksWhenMostStayedUnchanged) {
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
