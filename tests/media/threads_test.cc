// Playback with both service threads running: the reader thread filling the
// read-ahead ring and the audio thread feeding a clock-driven output while
// the caller decodes. No timing is asserted; the point is that the threads
// share the file without a fault (this suite also runs under the thread
// sanitizer).
#include <gtest/gtest.h>

#include <vector>

#include "base/clock.h"
#include "base/thread.h"
#include "clip_helpers.h"
#include "media/media.h"
#include "media/media_file.h"
#include "media/service_thread.h"
#include "sound/memory_output.h"

namespace {

TEST(PlaybackThreads, ReaderAndAudioThreadsServeTwoFiles) {
  ClipSpec spec;
  spec.width = 320;
  spec.height = 240;
  spec.frames = 40;
  spec.tracks = {{0, 22050, 2, true, true, 0}, {3, 11025, 1, false, false, 0}};
  const std::vector<uint8_t> clip = MakeClip(spec);
  ClipFile file(clip);
  static MemoryOutputConfig config{};
  config.instant = false;  // plays by the real clock: the audio thread keeps feeding it
  MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&config));

  MediaFile* files[2] = {};
  for (MediaFile*& m : files) {
    const uint32_t ids[2] = {0, 3};
    MediaSetSoundTracks(2, ids);
    MediaSetReadBufferSize(65536);
    MediaSetFrameRate(0, 0);
    m = MediaOpen(file.path(), OPEN_SOUND_TRACKS | OPEN_READ_BUFFER_SIZE | OPEN_FRAME_RATE);
    ASSERT_NE(m, nullptr) << MediaGetError();
    ASSERT_EQ(m->opened_count, 2u);
  }
  ASSERT_NE(*ProcessServiceThread(SERVICE_READER), nullptr);
  ASSERT_NE(*ProcessServiceThread(SERVICE_AUDIO), nullptr);
  // Twice through the file, pausing now and then.
  for (uint32_t i = 0; i < 2 * spec.frames; ++i) {
    for (MediaFile* m : files) {
      if (i % 25 == 10) {
        MediaPause(m, 1);
        MediaPause(m, 0);
      }
      ASSERT_EQ(MediaDecodeFrame(m), 0);
      MediaNextFrame(m);
    }
  }
  for (MediaFile* m : files) {
    PlaybackSummary s;
    MediaGetSummary(m, &s);
    EXPECT_EQ(s.word[SUMMARY_FRAMES_PLAYED], 2 * spec.frames);
    EXPECT_EQ(s.word[SUMMARY_CORRUPT_FRAMES], 0u);
  }
  MediaClose(files[0]);
  EXPECT_NE(*ProcessServiceThread(SERVICE_AUDIO), nullptr);
  MediaClose(files[1]);
  EXPECT_EQ(*ProcessServiceThread(SERVICE_READER), nullptr);
  EXPECT_EQ(*ProcessServiceThread(SERVICE_AUDIO), nullptr);
}

// The same threads on the virtual clock, playing at the file's rate: the
// caller waits for each frame by sleeping, the output plays by the clock,
// and the audio thread keeps it fed, so nothing starves and no frame is late
// however slowly this machine runs. The clock switch is process-wide: this
// test stays last in the file.
TEST(PlaybackThreads, VirtualClockKeepsFeedingAndPlayingInStep) {
  ClipSpec spec;
  spec.width = 160;
  spec.height = 120;
  spec.frames = 45;  // 1.5 s at 30 per second
  spec.tracks = {{0, 22050, 2, true, true, 0}};
  const std::vector<uint8_t> clip = MakeClip(spec);
  ClipFile file(clip);
  PlatformUseVirtualClock(1000);
  static MemoryOutputConfig config{};
  config.instant = false;
  MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&config));
  const uint32_t ids[1] = {0};
  MediaSetSoundTracks(1, ids);
  MediaSetReadBufferSize(65536);
  MediaFile* m = MediaOpen(file.path(), OPEN_SOUND_TRACKS | OPEN_READ_BUFFER_SIZE);
  ASSERT_NE(m, nullptr) << MediaGetError();
  ASSERT_NE(*ProcessServiceThread(SERVICE_AUDIO), nullptr);
  const uint32_t start = PlatformTickCount();
  for (uint32_t i = 0; i < 2 * spec.frames; ++i) {
    while (MediaWait(m)) PlatformSleep(1);
    ASSERT_EQ(MediaDecodeFrame(m), 0);
    MediaNextFrame(m);
  }
  const uint32_t elapsed = PlatformTickCount() - start;
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  EXPECT_EQ(s.word[9], 2 * spec.frames);
  EXPECT_EQ(s.word[11], 0u);  // no late frame skipped
  EXPECT_EQ(s.word[12], 0u);  // no sound restarted after running dry
  // The 90th frame is due 89/30 s after the first, and not a millisecond
  // more went by.
  EXPECT_GE(elapsed, 2966u);
  EXPECT_LE(elapsed, 2968u);
  MediaClose(m);
  EXPECT_EQ(*ProcessServiceThread(SERVICE_AUDIO), nullptr);
}

}  // namespace
