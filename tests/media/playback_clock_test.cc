// The playback clock's lateness rules for the copy, on an injected clock:
// the threshold, three skips then a late frame shown, the cases that are
// never judged, and starting the clock.
#include <gtest/gtest.h>

#include "base/clock.h"
#include "base/timer.h"
#include "media/playback_clock.h"

namespace {

uint32_t g_now = 0;
uint32_t FakeTicks(void*) { return g_now; }
bool NoCounter(void*, uint64_t*) { return false; }
uint64_t NoFrequency(void*) { return 0; }
const PlatformClock kFakeClock = {&FakeTicks, &NoCounter, &NoFrequency, &FakeTicks, nullptr, nullptr};

class ClockJudge : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformSetClock(&kFakeClock);
    // 30 frames a second with a sound track; frame 10 is due 333 ms after
    // the clock base, and more than 66 ms after that it is late.
    ClockInit(&c_, 30, 1);
    c_.sound_tracks = 1;
    c_.frames_decoded = 10;
    c_.clock_base = 1000;
    c_.clock_base_frame = 0;
  }
  void TearDown() override {
    PlatformSetClock(nullptr);
    MediaTimerReset();
  }
  static void At(uint32_t ms) {
    g_now = ms;
    MediaTimerReset();
  }
  PlaybackClock c_{};
};

TEST_F(ClockJudge, WithinTheThresholdIsOnTime) {
  EXPECT_EQ(c_.late_threshold, 66u);
  c_.consecutive_skips = 2;
  c_.previous_blit_skipped = 1;
  At(1000 + 333 + 66);  // late by exactly the threshold
  EXPECT_EQ(ClockJudgeCopy(&c_, false), LATENESS_ON_TIME);
  EXPECT_EQ(c_.consecutive_skips, 0u);
  EXPECT_EQ(c_.previous_blit_skipped, 0u);
}

TEST_F(ClockJudge, ThreeLateCopiesAreSkippedAndTheFourthIsShown) {
  At(1000 + 333 + 200);
  for (uint32_t n = 1; n <= 3; ++n) {
    EXPECT_EQ(ClockJudgeCopy(&c_, false), LATENESS_SKIPPED);
    EXPECT_EQ(c_.skip_flag, 1u);
    EXPECT_EQ(c_.previous_blit_skipped, 1u);
    EXPECT_EQ(c_.skipped_blits, n);
    c_.skip_flag = 0;  // the next frame is read
  }
  EXPECT_EQ(ClockJudgeCopy(&c_, false), LATENESS_LATE_SHOWN);
  EXPECT_EQ(c_.consecutive_skips, 0u);
  EXPECT_EQ(c_.skipped_blits, 3u);
  EXPECT_EQ(c_.previous_blit_skipped, 0u);
  // With no-skip a late frame is shown at once.
  EXPECT_EQ(ClockJudgeCopy(&c_, true), LATENESS_LATE_SHOWN);
  EXPECT_EQ(c_.skipped_blits, 3u);
}

TEST_F(ClockJudge, OnlyJudgedWithSoundRunningAtAKnownRate) {
  At(1000 + 333 + 5000);
  c_.sound_tracks = 0;
  EXPECT_EQ(ClockJudgeCopy(&c_, false), LATENESS_ON_TIME);
  c_.sound_tracks = 1;
  c_.paused = 1;
  EXPECT_EQ(ClockJudgeCopy(&c_, false), LATENESS_ON_TIME);
  c_.paused = 0;
  c_.rate_dividend = 0;
  EXPECT_EQ(ClockJudgeCopy(&c_, false), LATENESS_ON_TIME);
  c_.rate_dividend = 30;
  // A late credit that hides the lateness.
  c_.late_credit = 6000;
  EXPECT_EQ(ClockJudgeCopy(&c_, false), LATENESS_ON_TIME);
  EXPECT_EQ(c_.skipped_blits, 0u);
}

TEST_F(ClockJudge, StartsTheClockWhenItIsNotRunning) {
  c_.clock_base = 0;
  At(5000);
  EXPECT_EQ(ClockJudgeCopy(&c_, false), LATENESS_ON_TIME);
  EXPECT_EQ(c_.clock_base, 5000u);
  EXPECT_EQ(c_.clock_base_frame, 9u);
}

}  // namespace
