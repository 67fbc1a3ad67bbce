// A clip's sound through the core and the Wave output on the SDL driver,
// in real time, into SDL's file-writing audio driver: the file holds the
// decoded track, aligned and complete.
#include <gtest/gtest.h>

#include "media/media.h"
#include "sound/wave_output.h"
#include "sound_playback_helpers.h"

namespace {

TEST(SdlWaveTest, DiskDriverFileHoldsTheTrack) {
  const std::string clip = SoundTempPath("sdl.vxa"), ref = SoundTempPath("sdl_ref.wav"),
                    disk = SoundTempPath("sdl.raw");
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 45 -o " + clip), 0);
  ASSERT_EQ(RunVexa("decode " + clip + " --wav " + ref + " --track 0"), 0);
  uint32_t rate = 0, channels = 0;
  const std::vector<int16_t> reference = ReadWav16(ref, &rate, &channels);
  ASSERT_EQ(channels, 2u);
  UseSdlDiskAudio(disk);
  ASSERT_EQ(MediaSetSoundSystem(WaveOutInitialiser, 0), 1);
  const std::vector<int16_t> played = PlayThroughSdlDisk(clip, 45, 800, disk);
  EXPECT_GE(FindInCapture(played, reference, 2), 0) << played.size() << " samples written";
  std::remove(clip.c_str());
  std::remove(ref.c_str());
  std::remove(disk.c_str());
}

}  // namespace
