// A clip's sound through the core and the looping-buffer output into the
// headless device: what the device played is the decoded track, sample for
// sample, at 16 and at 8 bits; two tracks playing at once are both in the
// mix; a device that loses its buffers for good leaves the file playing on
// without sound, counted as a sound skip.
#include <gtest/gtest.h>

#include "media/media.h"
#include "sound/dsound_output.h"
#include "sound_playback_helpers.h"
#include "sound_test_helpers.h"

namespace {

class DirectSoundPlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SoundTestStart();
    ASSERT_EQ(MediaSetSoundSystem(DirectSoundInitialiser, 0), 1);
  }
  void TearDown() override {
    SoundTestStop();
    for (const std::string& f : files_) std::remove(f.c_str());
  }
  std::string Temp(const std::string& name) {
    files_.push_back(SoundTempPath(name));
    return files_.back();
  }
  std::vector<int16_t> Decoded(const std::string& clip, uint32_t id, uint32_t* channels) {
    const std::string ref = Temp("ref" + std::to_string(id) + ".wav");
    EXPECT_EQ(RunVexa("decode " + clip + " --wav " + ref + " --track " + std::to_string(id)), 0);
    uint32_t rate = 0;
    return ReadWav16(ref, &rate, channels);
  }
  std::vector<std::string> files_;
};

TEST_F(DirectSoundPlaybackTest, DevicePlaysTheDecodedTrack) {
  const std::string clip = Temp("ds.vxa");
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 45 -o " + clip), 0);
  uint32_t channels = 0;
  const std::vector<int16_t> reference = Decoded(clip, 0, &channels);
  ASSERT_FALSE(reference.empty());
  uint32_t skips = 99;
  const std::vector<int16_t> mix = PlayThroughCore(clip, 45, 1500, {}, &skips);
  EXPECT_GE(FindInCapture(mix, reference, channels), 0);
  EXPECT_EQ(skips, 0u);
}

TEST_F(DirectSoundPlaybackTest, EightBitTrackAtEightBitPrecision) {
  const std::string in = Temp("in8.wav"), clip = Temp("ds8.vxa");
  WriteWav16(in, 22050, 1, Glide(22050, 1.5, 200, 3000, 12000));
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 45 --audio " + in + " --8bit -o " + clip), 0);
  uint32_t channels = 0;
  const std::vector<int16_t> reference = Decoded(clip, 0, &channels);
  ASSERT_FALSE(reference.empty());
  EXPECT_GE(FindInCapture(PlayThroughCore(clip, 45, 1500), reference, channels, 0xFF00), 0);
}

TEST_F(DirectSoundPlaybackTest, TwoTracksAreMixed) {
  const std::string a = Temp("a.wav"), b = Temp("b.wav"), clip = Temp("two.vxa");
  WriteWav16(a, 22050, 1, Glide(22050, 1.5, 300, 600, 9000));
  WriteWav16(b, 22050, 1, Glide(22050, 1.5, 2500, 1500, 9000));
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 45 --audio " + a + " --track-id 0 --audio " + b +
                    " --track-id 1 -o " + clip),
            0);
  uint32_t ca = 0, cb = 0;
  const std::vector<int16_t> ra = Decoded(clip, 0, &ca), rb = Decoded(clip, 1, &cb);
  ASSERT_EQ(ra.size(), rb.size());
  std::vector<int16_t> sum(ra.size());
  for (size_t i = 0; i < ra.size(); ++i) sum[i] = int16_t(ra[i] + rb[i]);
  const std::vector<int16_t> mix = PlayThroughCore(clip, 45, 1500, {0, 1});
  EXPECT_GE(FindInCapture(mix, sum, 1), 0);
}

TEST_F(DirectSoundPlaybackTest, BufferLostForGoodPlaysOnWithoutSound) {
  const std::string clip = Temp("lost.vxa");
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 60 -o " + clip), 0);
  HeadlessAudioFaults faults{};
  faults.lose_buffer = ~0u;
  uint32_t skips = 0, frames = 0;
  PlayThroughCore(clip, 60, 200, {}, &skips, [&](uint32_t frame) {
    frames = frame;
    if (frame == 30) HeadlessAudioSetFaults(&faults);
  });
  EXPECT_EQ(frames, 60u);
  EXPECT_EQ(skips, 1u);
}

}  // namespace
