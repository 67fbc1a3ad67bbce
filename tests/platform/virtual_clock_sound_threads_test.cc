// The whole chain on the virtual clock: the core with its service threads,
// the looping output and the headless device with its ticker thread; time
// moves only when every thread waits, and the device plays the decoded
// track sample for sample.
#include <gtest/gtest.h>

#include "base/clock.h"
#include "base/thread.h"
#include "media/media.h"
#include "platform/headless/headless_audio.h"
#include "sound/dsound_output.h"
#include "sound/sound_drivers.h"
#include "sound_playback_helpers.h"

namespace {

TEST(VirtualClockSoundTest, DevicePlaysTheDecodedTrack) {
  const std::string clip = SoundTempPath("virtual.vxa"), ref = SoundTempPath("virtual_ref.wav");
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 45 -o " + clip), 0);
  ASSERT_EQ(RunVexa("decode " + clip + " --wav " + ref + " --track 0"), 0);
  uint32_t rate = 0, channels = 0;
  const std::vector<int16_t> reference = ReadWav16(ref, &rate, &channels);
  ASSERT_FALSE(reference.empty());

  PlatformUseVirtualClock(1000);
  SoundRegisterDriver(&kHeadlessSoundDriver);
  HeadlessAudioSetTicker(true);
  SoundSelectDriver("headless");
  ASSERT_EQ(MediaSetSoundSystem(DirectSoundInitialiser, 0), 1);
  std::vector<int16_t> capture(size_t(2) * 48000 * 10);
  HeadlessAudioCaptureMemory(capture.data(), uint32_t(capture.size() / 2));
  MediaFile* m = MediaOpen(clip.c_str(), 0);
  ASSERT_NE(m, nullptr);
  for (uint32_t i = 0; i < 45; ++i) {
    while (MediaWait(m)) PlatformSleep(1);
    ASSERT_EQ(MediaDecodeFrame(m), 0);
    if (i + 1 < 45) MediaNextFrame(m);
  }
  PlatformSleep(1500);  // the audio thread feeds the rest meanwhile
  MediaClose(m);
  capture.resize(size_t(HeadlessAudioCapturedFrames()) * 2);
  HeadlessAudioCaptureMemory(nullptr, 0);
  SoundDriverQuit();
  EXPECT_GE(FindInCapture(capture, reference, channels), 0);
  std::remove(clip.c_str());
  std::remove(ref.c_str());
}

}  // namespace
