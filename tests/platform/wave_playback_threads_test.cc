// A clip's sound through the core and the queued-buffer output into the
// headless device: what the device played is the decoded track, sample for
// sample, at 16 and at 8 bits.
#include <gtest/gtest.h>

#include "media/media.h"
#include "sound/wave_output.h"
#include "sound_playback_helpers.h"
#include "sound_test_helpers.h"

namespace {

class WavePlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SoundTestStart();
    ASSERT_EQ(MediaSetSoundSystem(WaveOutInitialiser, 0), 1);
  }
  void TearDown() override { SoundTestStop(); }
};

TEST_F(WavePlaybackTest, DevicePlaysTheDecodedTrack) {
  const std::string clip = SoundTempPath("wave.vxa"), ref = SoundTempPath("wave_ref.wav");
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 45 -o " + clip), 0);
  ASSERT_EQ(RunVexa("decode " + clip + " --wav " + ref + " --track 0"), 0);
  uint32_t rate = 0, channels = 0;
  const std::vector<int16_t> reference = ReadWav16(ref, &rate, &channels);
  ASSERT_FALSE(reference.empty());
  uint32_t skips = 99;
  const std::string wav = SoundTempPath("wave_mix.wav");
  ASSERT_TRUE(HeadlessAudioCaptureWav(wav.c_str()));
  const std::vector<int16_t> mix = PlayThroughCore(clip, 45, 1500, {}, &skips);
  ASSERT_TRUE(HeadlessAudioCaptureWav(nullptr));
  EXPECT_EQ(HeadlessAudioRate(), rate);
  EXPECT_GE(FindInCapture(mix, reference, channels), 0);
  EXPECT_EQ(skips, 0u);
  // The WAV file holds the same mix.
  uint32_t wav_rate = 0, wav_channels = 0;
  EXPECT_EQ(ReadWav16(wav, &wav_rate, &wav_channels), mix);
  EXPECT_EQ(wav_rate, rate);
  EXPECT_EQ(wav_channels, 2u);
  std::remove(wav.c_str());
  std::remove(clip.c_str());
  std::remove(ref.c_str());
}

TEST_F(WavePlaybackTest, EightBitTrackAtEightBitPrecision) {
  const std::string in = SoundTempPath("in8.wav"), clip = SoundTempPath("wave8.vxa"),
                    ref = SoundTempPath("wave8_ref.wav");
  WriteWav16(in, 11025, 1, Glide(11025, 1.5, 200, 2000, 12000));
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 45 --audio " + in + " --8bit -o " + clip), 0);
  ASSERT_EQ(RunVexa("decode " + clip + " --wav " + ref + " --track 0"), 0);
  uint32_t rate = 0, channels = 0;
  const std::vector<int16_t> reference = ReadWav16(ref, &rate, &channels);
  ASSERT_FALSE(reference.empty());
  const std::vector<int16_t> mix = PlayThroughCore(clip, 45, 1500);
  EXPECT_GE(FindInCapture(mix, reference, channels, 0xFF00), 0);
  std::remove(in.c_str());
  std::remove(clip.c_str());
  std::remove(ref.c_str());
}

}  // namespace
