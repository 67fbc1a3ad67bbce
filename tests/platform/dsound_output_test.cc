// The looping-buffer output on the headless device: its sizes, the grant
// before the start, the guard in front of the play cursor, stale readings
// and laps, untrusted readings, lost buffers, pause, enable, the initialiser
// and the volume and pan mappings.
#include <gtest/gtest.h>

#include <cstring>

#include "sound/dsound_output.h"
#include "sound/sound_drivers.h"
#include "sound_test_helpers.h"

namespace {

class DirectSoundOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SoundTestStart();
    open_ = DirectSoundInitialiser(0);
    ASSERT_NE(open_, nullptr);
  }
  void TearDown() override {
    if (record_.SoundClose) record_.SoundClose(&record_);
    SoundTestStop();
  }
  bool Open(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t frames = 300) {
    const SoundFileLength length = {frames, 30, 1};
    return open_(&record_, rate, bits, channels, 0, &length) == 1;
  }
  // Locks and commits what the output grants, filled with `value`; returns
  // the bytes written (0 when not ready).
  uint32_t Feed(uint8_t value = 0x55) {
    if (!record_.SoundReady(&record_)) return 0;
    void* dest = nullptr;
    uint32_t size = 0;
    if (!record_.SoundLock(&record_, &dest, &size)) return 0;
    std::memset(dest, value, size);
    record_.SoundCommit(&record_, size);
    return size;
  }
  // Opens 44.1 kHz stereo and plays the whole prebuffer.
  void StartPlaying() {
    ASSERT_TRUE(Open(44100, 16, 2));
    ASSERT_EQ(Feed(), T()->buffer_size);
    ASSERT_EQ(T()->playing, 1u);
  }
  DirectSoundTrack* T() { return DirectSoundTrackOf(&record_); }

  SoundOpenOp open_ = nullptr;
  TrackRecord record_{};
};

TEST_F(DirectSoundOutputTest, SizesFollowTheFormat) {
  ASSERT_TRUE(Open(44100, 16, 2));
  EXPECT_EQ(T()->buffer_size, 106496u);  // 105840 up to a multiple of 1024
  EXPECT_EQ(T()->block, 8960u);          // 8820 up to a multiple of 256
  EXPECT_EQ(T()->lap_limit, 95846u);
  EXPECT_EQ(record_.minimum_fill, 8960u);
  EXPECT_EQ(T()->prebuffer, 106496u);
  EXPECT_EQ(T()->stale_time, 540u);
  EXPECT_EQ(DirectSoundGetState().open_outputs, 1u);
  record_.SoundClose(&record_);
  EXPECT_EQ(DirectSoundGetState().open_outputs, 0u);

  ASSERT_TRUE(Open(22050, 8, 1));
  EXPECT_EQ(T()->buffer_size, 13312u);
  EXPECT_EQ(T()->block, 1280u);
  EXPECT_EQ(T()->lap_limit, 11980u);
  EXPECT_EQ(record_.minimum_fill, 2560u);
  // The whole buffer starts as silence.
  void* dest = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(record_.SoundReady(&record_));
  ASSERT_TRUE(record_.SoundLock(&record_, &dest, &size));
  EXPECT_EQ(size, 13312u);
  for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(static_cast<uint8_t*>(dest)[i], 0x80) << i;
  record_.SoundCommit(&record_, 0);
}

TEST_F(DirectSoundOutputTest, GrantBeforeTheStartIsTheMissingPrebuffer) {
  // A file of 0.2 s: the prebuffer is its 35280 bytes.
  ASSERT_TRUE(Open(44100, 16, 2, 6));
  EXPECT_EQ(T()->prebuffer, 35280u);
  ASSERT_TRUE(record_.SoundReady(&record_));
  void* dest = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(record_.SoundLock(&record_, &dest, &size));
  EXPECT_EQ(size, 35280u);
  record_.SoundCommit(&record_, 20000);
  EXPECT_EQ(T()->playing, 0u);
  ASSERT_TRUE(record_.SoundReady(&record_));
  ASSERT_TRUE(record_.SoundLock(&record_, &dest, &size));
  EXPECT_EQ(size, 15280u);
  record_.SoundCommit(&record_, size);
  EXPECT_EQ(T()->playing, 1u);
  EXPECT_EQ(T()->write_offset, 35280u);
}

TEST_F(DirectSoundOutputTest, GuardInFrontOfThePlayCursorAndTheCache) {
  StartPlaying();
  // Within 12 ms the cached cursors answer: nothing has been played.
  SoundTestAdvance(10);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  // 40 ms: 7056 bytes played, 6032 usable, below K with no grant left.
  SoundTestAdvance(30);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  // 60 ms: 10584 bytes played; all but the 1024 in front of the cursor.
  SoundTestAdvance(20);
  ASSERT_EQ(record_.SoundReady(&record_), 1);
  EXPECT_EQ(T()->last_play_cursor, 10584u);
  EXPECT_EQ(T()->grant, 10584u - 1024u);
  EXPECT_EQ(Feed(), 10584u - 1024u);
  EXPECT_EQ(record_.starved, 0u);
}

TEST_F(DirectSoundOutputTest, StaleReadingPatchesSilenceAtTheWriteCursor) {
  StartPlaying();
  SoundTestAdvance(540);
  ASSERT_EQ(record_.SoundReady(&record_), 1);
  EXPECT_EQ(record_.starved, 1u);
  const uint32_t z = T()->buffer_size, k = T()->block;
  const uint32_t write_cursor = T()->last_write_cursor;
  EXPECT_EQ(T()->write_offset, (write_cursor + 2 * k) % z);
  // The patch is silence; the grant runs from after it to the guard.
  void* dest = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(record_.SoundLock(&record_, &dest, &size));
  auto* start = static_cast<uint8_t*>(dest) - T()->write_offset;
  for (uint32_t i = 0; i < 2 * k; ++i) ASSERT_EQ(start[(write_cursor + i) % z], 0) << i;
  EXPECT_EQ(start[(write_cursor + 2 * k) % z], 0x55);
  record_.SoundCommit(&record_, 0);
}

TEST_F(DirectSoundOutputTest, LapIsAnUnderrunEvenWithFreshReadings) {
  StartPlaying();
  // Readings every 100 ms, nothing written: the last 60 ms of the buffer
  // still play; at 620 ms the cursor has passed everything written.
  for (int i = 0; i < 6; ++i) {
    SoundTestAdvance(100);
    record_.SoundReady(&record_);
    ASSERT_EQ(record_.starved, 0u) << i;
  }
  EXPECT_GT(T()->pending, 0u);
  SoundTestAdvance(20);
  EXPECT_EQ(record_.SoundReady(&record_), 1);
  EXPECT_EQ(record_.starved, 1u);
  EXPECT_EQ(T()->write_offset, (T()->last_write_cursor + 2 * T()->block) % T()->buffer_size);
}

TEST_F(DirectSoundOutputTest, UntrustedReadingsAnswerZeroAndAreForgotten) {
  StartPlaying();
  SoundTestAdvance(100);
  ASSERT_EQ(record_.SoundReady(&record_), 1);
  const uint32_t play = T()->last_play_cursor;
  HeadlessAudioFaults faults{};
  faults.play_offset = T()->buffer_size * 3 / 4;  // the play cursor jumps, the write cursor does not
  HeadlessAudioSetFaults(&faults);
  SoundTestAdvance(20);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  EXPECT_EQ(T()->last_play_cursor, play);
  // Readings that never settle within 1024 bytes are not believed either.
  faults = {};
  faults.jitter_bytes = 8192;
  HeadlessAudioSetFaults(&faults);
  SoundTestAdvance(20);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  HeadlessAudioSetFaults(nullptr);
  SoundTestAdvance(20);
  EXPECT_EQ(record_.SoundReady(&record_), 1);
  EXPECT_EQ(T()->last_play_cursor, play + 4 * 44100 * 60 / 1000);
}

TEST_F(DirectSoundOutputTest, LostBuffersAreRestoredThenGivenUp) {
  StartPlaying();
  SoundTestAdvance(100);
  HeadlessAudioFaults faults{};
  faults.lose_buffer = 3;
  HeadlessAudioSetFaults(&faults);
  EXPECT_GT(Feed(), 0u);
  EXPECT_EQ(HeadlessAudioRestores(), 3u);
  EXPECT_EQ(record_.enabled, 1u);

  // A device that never comes back: about a second of retries, then the
  // track is off for good and says it starved.
  faults.lose_buffer = ~0u;
  HeadlessAudioSetFaults(&faults);
  SoundTestAdvance(100);
  EXPECT_EQ(Feed(), 0u);
  EXPECT_EQ(HeadlessAudioRestores(), 3u + kLostBufferRetries);
  EXPECT_EQ(record_.enabled, 0u);
  EXPECT_EQ(record_.starved, 1u);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  HeadlessAudioSetFaults(nullptr);
  EXPECT_EQ(record_.SoundEnable(&record_, 1), 0);
}

TEST_F(DirectSoundOutputTest, PauseAndResumeBeforeAndAfterTheStart) {
  ASSERT_TRUE(Open(44100, 16, 2));
  EXPECT_EQ(record_.SoundPause(&record_, 1), 1);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  EXPECT_EQ(record_.SoundPause(&record_, 0), 0);
  ASSERT_EQ(Feed(), T()->buffer_size);
  ASSERT_EQ(T()->playing, 1u);
  // Completing the prebuffer while paused waits for the resume.
  record_.SoundClose(&record_);
  ASSERT_TRUE(Open(44100, 16, 2));
  void* dest = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(record_.SoundReady(&record_));
  ASSERT_TRUE(record_.SoundLock(&record_, &dest, &size));
  record_.SoundPause(&record_, 1);
  record_.SoundCommit(&record_, size);
  EXPECT_EQ(T()->playing, 0u);
  EXPECT_EQ(record_.SoundPause(&record_, 0), 0);
  EXPECT_EQ(T()->playing, 1u);
  // Paused after the start, the cursor stands still.
  SoundTestAdvance(100);
  record_.SoundPause(&record_, 1);
  uint32_t p0 = 0, w = 0, p1 = 0;
  T()->api->GetCurrentPosition(T()->buffer, &p0, &w);
  SoundTestAdvance(300);
  T()->api->GetCurrentPosition(T()->buffer, &p1, &w);
  EXPECT_EQ(p0, p1);
  record_.SoundPause(&record_, 0);
  SoundTestAdvance(100);
  T()->api->GetCurrentPosition(T()->buffer, &p1, &w);
  EXPECT_EQ(p1, p0 + 17640u);
}

TEST_F(DirectSoundOutputTest, EnableOffRewindsAndSilencesOnPrebuffersAgain) {
  StartPlaying();
  SoundTestAdvance(100);
  EXPECT_EQ(record_.SoundEnable(&record_, 0), 0);
  EXPECT_EQ(record_.SoundReady(&record_), 0);
  EXPECT_EQ(record_.SoundEnable(&record_, 0), 0);
  uint32_t play = 1, write = 1;
  T()->api->GetCurrentPosition(T()->buffer, &play, &write);
  EXPECT_EQ(play, 0u);
  EXPECT_EQ(record_.SoundEnable(&record_, 1), 1);
  EXPECT_EQ(T()->playing, 0u);
  EXPECT_EQ(T()->write_offset, 0u);
  void* dest = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(record_.SoundReady(&record_));
  ASSERT_TRUE(record_.SoundLock(&record_, &dest, &size));
  EXPECT_EQ(size, T()->prebuffer);
  for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(static_cast<uint8_t*>(dest)[i], 0) << i;
  record_.SoundCommit(&record_, size);
  EXPECT_EQ(T()->playing, 1u);
  // A device that keeps saying it plays after the stop is not waited for
  // without end.
  HeadlessAudioFaults faults{};
  faults.status_stuck = true;
  HeadlessAudioSetFaults(&faults);
  EXPECT_EQ(record_.SoundEnable(&record_, 0), 0);
}

TEST_F(DirectSoundOutputTest, InitialiserTrialsAndObjectChoice) {
  // The trial reference is given back: our own object is released again.
  DirectSoundProcessState s = DirectSoundGetState();
  EXPECT_EQ(s.init_references, 0u);
  EXPECT_EQ(s.object, kDirectSoundNone);
  ASSERT_TRUE(Open(22050, 16, 1));
  s = DirectSoundGetState();
  EXPECT_EQ(s.init_references, 1u);
  EXPECT_EQ(s.own_object, 1u);
  // Another object while a track is open is refused and changes nothing.
  EXPECT_EQ(DirectSoundInitialiser(0x1234), nullptr);
  EXPECT_EQ(DirectSoundGetState().own_object, 1u);
  record_.SoundClose(&record_);
  EXPECT_EQ(DirectSoundGetState().object, kDirectSoundNone);
  // Without the driver's audio there is no output.
  SoundDriverQuit();
  HeadlessAudioFaults faults{};
  faults.no_library = true;
  HeadlessAudioSetFaults(&faults);
  SoundSelectDriver("headless");
  EXPECT_EQ(DirectSoundInitialiser(0), nullptr);
}

TEST_F(DirectSoundOutputTest, VolumeAndPanMappings) {
  EXPECT_EQ(DirectSoundVolumeFor(0x7FFF), 0);
  EXPECT_NEAR(DirectSoundVolumeFor(0x4000), -1003, 1);
  EXPECT_EQ(DirectSoundVolumeFor(0), -10000);
  EXPECT_EQ(DirectSoundVolumeFor(1), -10000);
  EXPECT_EQ(DirectSoundPanFor(0), -10000);
  EXPECT_EQ(DirectSoundPanFor(0x7FFF), 0);
  EXPECT_EQ(DirectSoundPanFor(0x8000), 0);
  EXPECT_EQ(DirectSoundPanFor(0x10000), 10000);
  EXPECT_EQ(DirectSoundPanFor(0x4000), -5000);
  ASSERT_TRUE(Open(22050, 16, 1));
  record_.SoundSetVolume(&record_, 0x9000);
  record_.SoundSetPan(&record_, 0x20000);
  EXPECT_EQ(T()->volume, 0x7FFFu);
  EXPECT_EQ(T()->pan, 0x10000u);
}

}  // namespace
