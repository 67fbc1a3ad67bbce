// The queued-buffer output on the headless device: its sizes, the
// prebuffering and restart after an underrun, short files, pause, enable
// and the volume arithmetic.
#include <gtest/gtest.h>

#include <cstring>

#include "sound/wave_output.h"
#include "sound_test_helpers.h"

namespace {

class WaveOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SoundTestStart();
    open_ = WaveOutInitialiser(0);
  }
  void TearDown() override {
    if (record_.SoundClose) record_.SoundClose(&record_);
    SoundTestStop();
  }
  bool Open(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t frames = 300) {
    const SoundFileLength length = {frames, 30, 1};
    return open_(&record_, rate, bits, channels, 0, &length) == 1;
  }
  // One lock and commit of `bytes` bytes of `value`; false when not ready.
  bool Feed(uint32_t bytes, uint8_t value = 0x11) {
    if (!record_.SoundReady(&record_)) return false;
    void* dest = nullptr;
    uint32_t size = 0;
    if (!record_.SoundLock(&record_, &dest, &size)) return false;
    EXPECT_LE(bytes, size);
    std::memset(dest, value, bytes);
    return record_.SoundCommit(&record_, bytes) == 1;
  }
  WaveOutTrack* T() { return WaveOutTrackOf(&record_); }
  bool Done(int i) { return WaveHeaderFlags(T()->headers[i]) & WHDR_DONE; }

  SoundOpenOp open_ = nullptr;
  TrackRecord record_{};
};

TEST_F(WaveOutputTest, SizesFollowTheFormat) {
  ASSERT_TRUE(Open(22050, 16, 2));
  EXPECT_EQ(T()->buffer_size, 5536u);       // 88200 / 16 = 5512, up to a multiple of 32
  EXPECT_EQ(T()->start_threshold, 44128u);  // 44100 up to a multiple of 32
  EXPECT_EQ(record_.minimum_fill, 5536u);
  EXPECT_EQ(record_.latency, 0u);
  EXPECT_EQ(record_.enabled, 1u);
  EXPECT_EQ(T()->volume, 0x7FFFu);
  EXPECT_EQ(T()->pan, 0x7FFFu);
  EXPECT_EQ(record_.SoundSetVolume != nullptr, true);
  record_.SoundClose(&record_);

  ASSERT_TRUE(Open(11025, 8, 1));
  EXPECT_EQ(T()->buffer_size, 704u);
  EXPECT_EQ(T()->start_threshold, 5536u);  // 5512 up to a multiple of 32
  EXPECT_EQ(record_.minimum_fill, 1408u);
  for (uint32_t i = 0; i < kWaveBuffers * 704; ++i) ASSERT_EQ(T()->data[i], 0x80) << i;
  for (uint32_t i = 0; i < kWaveBuffers; ++i) EXPECT_TRUE(Done(int(i)));
}

TEST_F(WaveOutputTest, PrebuffersToTheThresholdThenPlaysInOrder) {
  ASSERT_TRUE(Open(22050, 16, 2));
  // 44128 / 5536: the eighth buffer reaches the threshold.
  for (int i = 0; i < 7; ++i) {
    ASSERT_TRUE(Feed(5536));
    EXPECT_EQ(T()->last_buffer, i);
    EXPECT_EQ(T()->playing, 0u);
    EXPECT_TRUE(Done(i));  // waiting buffers keep their free mark
  }
  ASSERT_TRUE(Feed(5536));
  EXPECT_EQ(T()->playing, 1u);
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(Done(i));
  // 5536 bytes are 1384 frames, 62.8 ms: after 63 ms the first is done.
  SoundTestAdvance(63);
  HeadlessAudioAdvance();
  EXPECT_TRUE(Done(0));
  EXPECT_FALSE(Done(1));
  // Ready hands out the buffer after the last committed, not the free 0.
  ASSERT_TRUE(record_.SoundReady(&record_));
  EXPECT_EQ(T()->next_buffer, 8);
  ASSERT_TRUE(Feed(5536));
  EXPECT_FALSE(Done(8));
  EXPECT_EQ(record_.starved, 0u);
}

TEST_F(WaveOutputTest, UnderrunRestartsFromBufferZeroAtTheThreshold) {
  ASSERT_TRUE(Open(22050, 16, 2));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Feed(5536));
  ASSERT_EQ(T()->playing, 1u);
  SoundTestAdvance(10 * 63 + 5);
  ASSERT_TRUE(record_.SoundReady(&record_));
  EXPECT_EQ(record_.starved, 1u);
  EXPECT_EQ(T()->playing, 0u);
  EXPECT_EQ(T()->next_buffer, 0);
  EXPECT_EQ(T()->queued_bytes, 0u);
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(Feed(5536));
  EXPECT_EQ(T()->playing, 0u);
  ASSERT_TRUE(Feed(5536));
  EXPECT_EQ(T()->playing, 1u);
}

TEST_F(WaveOutputTest, ShortFileStartsOnceAllOfItIsCommitted) {
  // Six frames at 30 per second: 0.2 s, 17640 bytes.
  ASSERT_TRUE(Open(22050, 16, 2, 6));
  EXPECT_EQ(T()->start_threshold, 17640u);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Feed(5536));
  EXPECT_EQ(T()->playing, 0u);
  ASSERT_TRUE(Feed(17640 - 3 * 5536));
  EXPECT_EQ(T()->playing, 1u);
  // The short last buffer plays only what it holds.
  EXPECT_EQ(T()->headers[3]->dwBufferLength, 17640u - 3 * 5536);
}

TEST_F(WaveOutputTest, PauseHoldsTheDeviceAndEnableReleasesIt) {
  ASSERT_TRUE(Open(22050, 16, 2));
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(Feed(5536));
  EXPECT_EQ(record_.SoundPause(&record_, 1), 1);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  SoundTestAdvance(2000);
  HeadlessAudioAdvance();
  EXPECT_FALSE(Done(0));  // nothing played while paused
  EXPECT_EQ(record_.SoundPause(&record_, 0), 0);
  SoundTestAdvance(63);
  HeadlessAudioAdvance();
  EXPECT_TRUE(Done(0));

  EXPECT_EQ(record_.SoundEnable(&record_, 1), 1);  // already on: nothing changes
  EXPECT_EQ(T()->playing, 1u);
  EXPECT_EQ(record_.SoundEnable(&record_, 0), 0);
  EXPECT_EQ(T()->device, nullptr);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  EXPECT_EQ(record_.SoundEnable(&record_, 0), 0);
  EXPECT_EQ(record_.SoundEnable(&record_, 1), 1);
  EXPECT_EQ(T()->playing, 0u);
  ASSERT_TRUE(record_.SoundReady(&record_));
  EXPECT_EQ(T()->next_buffer, 0);
}

TEST_F(WaveOutputTest, OpenFailuresAndVolumeArithmetic) {
  HeadlessAudioFaults faults{};
  faults.fail_open = true;
  HeadlessAudioSetFaults(&faults);
  EXPECT_FALSE(Open(22050, 16, 2));
  HeadlessAudioSetFaults(nullptr);
  ASSERT_TRUE(Open(22050, 16, 2));
  record_.SoundSetVolume(&record_, 0xFFFF);
  EXPECT_EQ(T()->volume, 0x7FFFu);
  record_.SoundSetVolume(&record_, 0x12345);
  EXPECT_EQ(T()->volume, 0x7FFFu);
  record_.SoundSetVolume(&record_, 0x8000);
  EXPECT_EQ(T()->volume, 0x3FFFu);
  record_.SoundSetPan(&record_, 0x20000);
  EXPECT_EQ(T()->pan, 0x10000u);
  // Full right, half volume: the left channel is silent, the right at
  // 0x3FFF of 0xFFFF.
  int16_t mix[2 * 4000];
  HeadlessAudioCaptureMemory(mix, 4000);
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(record_.SoundReady(&record_));
    void* dest = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(record_.SoundLock(&record_, &dest, &size));
    auto* s = static_cast<int16_t*>(dest);
    for (uint32_t k = 0; k < size / 2; ++k) s[k] = 16000;
    record_.SoundCommit(&record_, size);
  }
  SoundTestAdvance(50);
  ASSERT_GT(HeadlessAudioCapturedFrames(), 1000u);
  EXPECT_EQ(mix[2 * 1000], 0);
  EXPECT_NEAR(mix[2 * 1000 + 1], 16000.0 * 0x3FFF / 0xFFFF, 1.0);
}

}  // namespace
