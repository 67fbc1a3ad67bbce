#include "sound/memory_output.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>


namespace {

struct ManualClock {
  uint32_t ms = 1000;
};
uint32_t ReadClock(void* p) { return static_cast<ManualClock*>(p)->ms; }

class MemoryOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = MemoryOutputConfig{};
    config_.clock = ReadClock;
    config_.clock_context = &clock_;
    config_.log = log_;
    config_.log_capacity = 64;
    capture_.resize(200000);
    config_.capture[0] = {capture_.data(), uint32_t(capture_.size()), 0, 0};
    open_ = MemoryOutputInitialiser(reinterpret_cast<uintptr_t>(&config_));
    file_.frame_count = 300;  // ten seconds at 30 fps
    file_.rate_dividend = 30;
    file_.rate_divisor = 1;
  }
  void TearDown() override { MemoryOutputInitialiser(0); }

  // Feeds until the output stops taking data; returns the bytes committed.
  uint32_t FeedAll(TrackRecord* r, uint8_t value) {
    uint32_t total = 0;
    while (r->SoundReady(r)) {
      void* dest = nullptr;
      uint32_t bytes = 0;
      if (!r->SoundLock(r, &dest, &bytes)) break;
      std::memset(dest, value, bytes);
      r->SoundCommit(r, bytes);
      total += bytes;
    }
    return total;
  }

  ManualClock clock_;
  MemoryOutputConfig config_{};
  MemoryOutputCall log_[64];
  std::vector<uint8_t> capture_;
  SoundOpenOp open_ = nullptr;
  SoundFileLength file_{};
};

TEST_F(MemoryOutputTest, OpensWithSixteenthSecondChunksAndPlaysByTheClock) {
  TrackRecord r;
  ASSERT_EQ(open_(&r, 22050, 16, 2, 0, &file_), 1);
  // 22050 x 4 bytes a second: chunks of 1/16 s rounded up to 32 bytes.
  EXPECT_EQ(r.minimum_fill, 5536u);
  EXPECT_EQ(r.enabled, 1u);
  EXPECT_EQ(r.sample_rate, 22050u);
  EXPECT_EQ(FeedAll(&r, 7), 16u * 5536);  // one second of device
  EXPECT_TRUE(MemoryOutputPlaying(&r));
  EXPECT_EQ(config_.capture[0].length, 16u * 5536);
  EXPECT_EQ(capture_[100], 7);
  clock_.ms += 250;  // a quarter second plays, in whole sample frames
  EXPECT_EQ(MemoryOutputPlayedBytes(&r), 22048u);
  EXPECT_EQ(MemoryOutputQueuedBytes(&r), 16u * 5536 - 22048);
  // Paused time does not play.
  EXPECT_EQ(r.SoundPause(&r, 1), 1);
  EXPECT_EQ(r.SoundReady(&r), 0);
  clock_.ms += 5000;
  EXPECT_EQ(r.SoundPause(&r, 0), 0);
  EXPECT_EQ(MemoryOutputPlayedBytes(&r), 22048u);
  EXPECT_EQ(r.starved, 0u);
  // Nothing fed for two seconds: the device runs dry and says so.
  clock_.ms += 2000;
  r.SoundReady(&r);
  EXPECT_EQ(r.starved, 1u);
  EXPECT_FALSE(MemoryOutputPlaying(&r));
  r.SoundClose(&r);
}

TEST_F(MemoryOutputTest, WaitsForHalfASecondOrTheWholeFileBeforePlaying) {
  TrackRecord r;
  file_.frame_count = 6;  // 0.2 s of sound in all
  ASSERT_EQ(open_(&r, 8000, 8, 1, 0, &file_), 1);
  EXPECT_EQ(r.minimum_fill, 2u * 512);  // 8-bit: twice the chunk
  void* dest;
  uint32_t bytes;
  ASSERT_TRUE(r.SoundReady(&r));
  ASSERT_TRUE(r.SoundLock(&r, &dest, &bytes));
  r.SoundCommit(&r, 1000);  // more than locked is cut to the chunk
  EXPECT_FALSE(MemoryOutputPlaying(&r));
  ASSERT_TRUE(r.SoundLock(&r, &dest, &bytes));
  r.SoundCommit(&r, bytes);
  ASSERT_TRUE(r.SoundLock(&r, &dest, &bytes));
  r.SoundCommit(&r, bytes);
  EXPECT_FALSE(MemoryOutputPlaying(&r));  // 1536 < 1600
  ASSERT_TRUE(r.SoundLock(&r, &dest, &bytes));
  r.SoundCommit(&r, bytes);
  EXPECT_TRUE(MemoryOutputPlaying(&r));
  r.SoundClose(&r);
}

TEST_F(MemoryOutputTest, RecordsCallsInOrderAndHonoursEnable) {
  TrackRecord r;
  ASSERT_EQ(open_(&r, 11025, 16, 1, 0, &file_), 1);
  void* dest;
  uint32_t bytes;
  r.SoundReady(&r);
  r.SoundLock(&r, &dest, &bytes);
  r.SoundCommit(&r, 10);
  EXPECT_EQ(r.SoundEnable(&r, 0), 0);
  EXPECT_EQ(r.SoundReady(&r), 0);
  EXPECT_EQ(r.SoundEnable(&r, 0), 0);  // already off: unchanged
  config_.fail_enable = true;
  EXPECT_EQ(r.SoundEnable(&r, 1), 0);
  config_.fail_enable = false;
  EXPECT_EQ(r.SoundEnable(&r, 1), 1);
  r.SoundClose(&r);
  const std::vector<uint8_t> expected = {kMemOpen, kMemReady, kMemLock, kMemCommit, kMemEnable, kMemReady,
                                         kMemEnable, kMemEnable, kMemEnable, kMemClose};
  ASSERT_EQ(config_.log_count, expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(log_[i].op, expected[i]) << i;
  EXPECT_EQ(log_[3].argument, 10u);
}

TEST_F(MemoryOutputTest, InstantOutputPlaysEverythingAtOnce) {
  config_.instant = true;
  TrackRecord r;
  ASSERT_EQ(open_(&r, 44100, 16, 2, 0, &file_), 1);
  uint32_t fed = 0;
  void* dest;
  uint32_t bytes;
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(r.SoundReady(&r));
    ASSERT_TRUE(r.SoundLock(&r, &dest, &bytes));
    r.SoundCommit(&r, bytes);
    fed += bytes;
  }
  EXPECT_EQ(MemoryOutputQueuedBytes(&r), 0u);
  EXPECT_EQ(config_.capture[0].total, uint64_t(fed));
  r.SoundClose(&r);
}

TEST_F(MemoryOutputTest, RefusedOpenReportsFailure) {
  TrackRecord r;
  config_.fail_open = true;
  EXPECT_EQ(open_(&r, 22050, 16, 1, 0, &file_), 0);
  EXPECT_EQ(open_(&r, 22050, 12, 1, 0, &file_), 0);
  EXPECT_EQ(open_(&r, 22050, 16, 1, 0, &file_), 1);
  r.SoundClose(&r);
}

}  // namespace
