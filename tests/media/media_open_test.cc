// Opening and closing media files: failure texts, flags, one-shot settings,
// track selection, preloading, file handles and the shared reader thread.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "clip_helpers.h"
#include "base/core_alloc.h"
#include "media/media.h"
#include "media/media_file.h"
#include "media/service_thread.h"
#include "base/file.h"
#include "sound/memory_output.h"

namespace {

class MediaOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = MemoryOutputConfig{};
    config_.instant = true;
    MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&config_));
  }
  MemoryOutputConfig config_{};
};

ClipSpec TwoTrackSpec() {
  ClipSpec spec;
  spec.frames = 6;
  spec.tracks = {{0, 22050, 1, false, true, 0}, {5, 11025, 2, true, false, 0}};
  return spec;
}

TEST_F(MediaOpenTest, FailuresLeaveTheirTexts) {
  EXPECT_EQ(MediaOpen("/nonexistent/dir/x.vxa", 0), nullptr);
  EXPECT_STREQ(MediaGetError(), "Error opening file.");

  std::vector<uint8_t> clip = MakeClip(ClipSpec{});
  std::vector<uint8_t> bad = clip;
  bad[3] = 'e';
  {
    ClipFile f(bad);
    EXPECT_EQ(MediaOpen(f.path(), 0), nullptr);
    EXPECT_STREQ(MediaGetError(), "Not a Vexa file.");
  }
  bad = clip;
  std::memset(&bad[8], 0, 4);  // frame count 0
  {
    ClipFile f(bad);
    EXPECT_EQ(MediaOpen(f.path(), 0), nullptr);
    EXPECT_STREQ(MediaGetError(), "The file doesn't contain any compressed frames yet.");
  }
  {
    // Cut inside the index.
    ClipFile f(std::vector<uint8_t>(clip.begin(), clip.begin() + 50));
    EXPECT_EQ(MediaOpen(f.path(), 0), nullptr);
    EXPECT_STREQ(MediaGetError(), "Error reading Vexa header.");
  }
  {
    ClipFile f(std::vector<uint8_t>(clip.begin(), clip.begin() + 20));
    EXPECT_EQ(MediaOpen(f.path(), 0), nullptr);
    EXPECT_STREQ(MediaGetError(), "Error reading Vexa header.");
  }
  // A memory image cut inside its index is refused; one cut inside its last
  // frame opens and holds the frames before it.
  EXPECT_EQ(MediaOpenMemory(clip.data(), 50, 0), nullptr);
  EXPECT_STREQ(MediaGetError(), "Error reading Vexa header.");
  MediaFile* cut = MediaOpenMemory(clip.data(), clip.size() - 1, 0);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(MediaIntactFrames(cut, nullptr), ClipSpec{}.frames - 1);
  MediaClose(cut);
  // And a good one empties the text.
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(MediaGetError(), "");
  MediaClose(m);
}

int g_opener_calls = 0;
const void* g_opener_source = nullptr;

// A replacement opener: records its call, then opens the file it was given
// (or refuses with its own text).
int RecordingOpener(InputReader* reader, const void* source, uint32_t flags) {
  ++g_opener_calls;
  g_opener_source = source;
  if (!source) {
    MediaSetError("No such archive member.");
    return 0;
  }
  return FileInputOpen(reader, source, flags);
}

TEST_F(MediaOpenTest, ReplacementOpenerIsUsedOnceAndMayLeaveItsText) {
  std::vector<uint8_t> clip = MakeClip(ClipSpec{});
  ClipFile f(clip);
  g_opener_calls = 0;
  MediaSetFileOpener(RecordingOpener);
  EXPECT_EQ(MediaOpen(nullptr, OPEN_CUSTOM_OPENER), nullptr);
  EXPECT_STREQ(MediaGetError(), "No such archive member.");
  EXPECT_EQ(g_opener_calls, 1);
  // Forgotten after that open: the flag alone falls back to the file opener.
  MediaFile* m = MediaOpen(f.path(), OPEN_CUSTOM_OPENER | OPEN_NO_THREAD);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(g_opener_calls, 1);
  MediaClose(m);
  MediaSetFileOpener(RecordingOpener);
  m = MediaOpen(f.path(), OPEN_CUSTOM_OPENER | OPEN_NO_THREAD);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(g_opener_calls, 2);
  EXPECT_EQ(g_opener_source, static_cast<const void*>(f.path()));
  MediaClose(m);
}

TEST_F(MediaOpenTest, OverstatedLargestFrameCostsNothing) {
  std::vector<uint8_t> clip = MakeClip(ClipSpec{});
  clip[12] = clip[13] = clip[14] = 0xF0;  // largest frame 0xFFF0F0F0
  clip[15] = 0xFF;
  ClipFile f(clip);
  MediaSetReadBufferSize(0);  // stream, with a one-frame buffer
  MediaFile* m = MediaOpen(f.path(), OPEN_NO_THREAD | OPEN_READ_BUFFER_SIZE);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->open_flags & OPEN_PRELOAD, 0u);
  EXPECT_LT(m->memory_total, 1u << 20);
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(MediaDecodeFrame(m), 0);
    MediaNextFrame(m);
  }
  MediaClose(m);
}

TEST_F(MediaOpenTest, AllocationFailuresAreOutOfMemoryAndLeaveNothing) {
  std::vector<uint8_t> clip = MakeClip(ClipSpec{});
  ClipFile f(clip);
  const uint64_t before = CoreBytesInUse();
  // Fail the open at each of its allocations in turn: the first grouped
  // block, the frame buffers, the read-ahead block.
  for (uint64_t allowance : {64ull, 40000ull, 60000ull, 70000ull}) {
    CoreSetAllocationLimit(before + allowance);
    MediaSetReadBufferSize(1 << 20);
    MediaFile* m = MediaOpen(f.path(), OPEN_NO_THREAD | OPEN_READ_BUFFER_SIZE);
    CoreSetAllocationLimit(0);
    if (m) {
      MediaClose(m);
    } else {
      EXPECT_STREQ(MediaGetError(), "Out of memory.") << allowance;
    }
    EXPECT_EQ(CoreBytesInUse(), before) << allowance;
  }
  CoreSetAllocationLimit(before + 64);
  EXPECT_EQ(MediaOpen(f.path(), OPEN_NO_THREAD), nullptr);
  CoreSetAllocationLimit(0);
  EXPECT_STREQ(MediaGetError(), "Out of memory.");
}

TEST_F(MediaOpenTest, MergesFlagsAndSizesTheOutput) {
  ClipSpec spec;
  spec.revision = 'g';
  std::vector<uint8_t> clip = MakeClip(spec);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), FLAG_ALPHA | (4u << SCALE_MODE_SHIFT));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->width, 128u);
  EXPECT_EQ(m->height, 96u);
  EXPECT_EQ(m->open_flags & FLAG_ALPHA, 0u);  // the file has no alpha
  EXPECT_NE(m->open_flags & FLAG_OLD_BITSTREAM, 0u);
  EXPECT_NE(m->open_flags & FLAG_SWAPPED_CHROMA, 0u);
  EXPECT_EQ(m->current_frame, 1);
  EXPECT_EQ(m->frame_count, 10u);
  MediaClose(m);
  // Mode 7 forces none.
  m = MediaOpenMemory(clip.data(), clip.size(), 7u << SCALE_MODE_SHIFT);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->width, 64u);
  EXPECT_EQ(ScaleModeOf(m->open_flags), 0u);
  MediaClose(m);
}

TEST_F(MediaOpenTest, OneShotFrameRateWaitsForItsFlag) {
  std::vector<uint8_t> clip = MakeClip(ClipSpec{});
  MediaSetFrameRate(15, 1);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->rate_dividend, 30u);
  MediaClose(m);
  m = MediaOpenMemory(clip.data(), clip.size(), OPEN_FRAME_RATE);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->rate_dividend, 15u);
  EXPECT_EQ(m->rate_divisor, 1u);
  MediaClose(m);
  m = MediaOpenMemory(clip.data(), clip.size(), OPEN_FRAME_RATE);  // used up
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->rate_dividend, 30u);
  MediaClose(m);
}

TEST_F(MediaOpenTest, TracksOpenInTheOrderOfTheRequestedIdentifiers) {
  std::vector<uint8_t> clip = MakeClip(TwoTrackSpec());
  const uint32_t ids[2] = {5, 0};
  MediaSetSoundTracks(2, ids);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), OPEN_SOUND_TRACKS);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 2u);
  EXPECT_EQ(m->opened_tracks[0], 1u);  // identifier 5 first
  EXPECT_EQ(m->opened_tracks[1], 0u);
  EXPECT_EQ(m->tracks[0].sample_rate, 11025u);
  EXPECT_EQ(m->tracks[0].bits_per_sample, 8u);
  EXPECT_EQ(m->tracks[0].channels, 2u);
  EXPECT_EQ(m->tracks[1].sample_rate, 22050u);
  EXPECT_EQ(m->sound_playing, 1u);
  MediaClose(m);
  // The selection was used up: identifier 0 only.
  m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 1u);
  EXPECT_EQ(m->opened_tracks[0], 0u);
  MediaClose(m);
  // An identifier the file lacks is dropped.
  const uint32_t missing[2] = {9, 5};
  MediaSetSoundTracks(2, missing);
  m = MediaOpenMemory(clip.data(), clip.size(), OPEN_SOUND_TRACKS);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 1u);
  EXPECT_EQ(m->opened_tracks[0], 1u);
  MediaClose(m);
}

TEST_F(MediaOpenTest, FrameRateOverrideScalesTheSoundRate) {
  std::vector<uint8_t> clip = MakeClip(TwoTrackSpec());
  MediaSetFrameRate(60, 1);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), OPEN_FRAME_RATE);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 1u);
  EXPECT_EQ(m->tracks[0].sample_rate, 44100u);
  MediaClose(m);
}

TEST_F(MediaOpenTest, PrerollFollowsRateAndLatency) {
  ClipSpec spec;
  spec.tracks = {{0, 22050, 1, false, true, 0}};
  std::vector<uint8_t> clip = MakeClip(spec);
  config_.latency = 50;
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 1u);
  EXPECT_EQ(m->tracks[0].preroll_bytes, 30868u);  // 2 x 22050 x 700 / 1000, down to 4
  EXPECT_EQ(m->tracks[0].ring_size, 44288u);      // 44100 up to a multiple of 256
  // 10 frames at 30 fps: the last 0.75 s starts after frame 10 - 90/4 = -12.
  EXPECT_EQ(int32_t(m->tracks[0].last_underrun_frame), -12);
  MediaClose(m);
}

TEST_F(MediaOpenTest, RefusedOutputDropsTheTrackButOpensTheFile) {
  std::vector<uint8_t> clip = MakeClip(TwoTrackSpec());
  config_.fail_open = true;
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->opened_count, 0u);
  EXPECT_EQ(m->sound_playing, 0u);
  MediaClose(m);
}

TEST_F(MediaOpenTest, LargeReadAheadPreloads) {
  ClipSpec spec;
  spec.frames = 30;
  std::vector<uint8_t> clip = MakeClip(spec);
  ClipFile f(clip);
  MediaSetReadBufferSize(int32_t(clip.size()));
  MediaFile* m = MediaOpen(f.path(), OPEN_READ_BUFFER_SIZE | OPEN_NO_THREAD);
  ASSERT_NE(m, nullptr);
  EXPECT_NE(m->open_flags & OPEN_PRELOAD, 0u);
  EXPECT_EQ(m->data_in_memory, 1u);
  // Every frame plays from memory.
  PlaybackSummary s;
  PlayFrames(m, spec.frames, &s);
  EXPECT_EQ(s.word[SUMMARY_FRAMES_PLAYED], spec.frames);
  EXPECT_EQ(s.word[SUMMARY_CORRUPT_FRAMES], 0u);
  MediaClose(m);
}

TEST_F(MediaOpenTest, HandleInsideALargerFileIsReadRelativeAndLeftOpen) {
  std::vector<uint8_t> clip = MakeClip(ClipSpec{});
  ClipFile f(clip, 5000);
  const PlatformFile handle = PlatformOpenRead(f.path());
  ASSERT_TRUE(PlatformSeek(handle, 5000));
  MediaFile* m = MediaOpen(reinterpret_cast<const void*>(handle), OPEN_FILE_HANDLE | OPEN_NO_THREAD);
  ASSERT_NE(m, nullptr) << MediaGetError();
  PlaybackSummary s;
  PlayFrames(m, 12, &s);
  EXPECT_EQ(s.word[SUMMARY_CORRUPT_FRAMES], 0u);
  MediaClose(m);
  EXPECT_TRUE(PlatformSeek(handle, 0));  // still ours
  PlatformClose(handle);
}

TEST_F(MediaOpenTest, TwoStreamingFilesShareTheReaderThread) {
  ClipSpec spec;
  spec.frames = 20;
  spec.width = 320;
  spec.height = 240;
  std::vector<uint8_t> clip = MakeClip(spec);
  ASSERT_GT(clip.size(), 65536u * 10 / 9);  // too big to preload with a 64 KiB read-ahead
  ClipFile f(clip);
  MediaSetReadBufferSize(65536);
  MediaFile* a = MediaOpen(f.path(), OPEN_READ_BUFFER_SIZE);
  ASSERT_NE(a, nullptr);
  MediaSetReadBufferSize(65536);
  MediaFile* b = MediaOpen(f.path(), OPEN_READ_BUFFER_SIZE);
  ASSERT_NE(b, nullptr);
  ServiceThread* thread = *ProcessServiceThread(SERVICE_READER);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(thread->count, 2u);
  for (int i = 0; i < 25; ++i) {  // past the end: loops back to frame 1
    ASSERT_EQ(MediaDecodeFrame(a), 0);
    MediaNextFrame(a);
  }
  MediaClose(a);
  EXPECT_EQ(*ProcessServiceThread(SERVICE_READER), thread);
  ASSERT_EQ(MediaDecodeFrame(b), 0);
  MediaClose(b);
  EXPECT_EQ(*ProcessServiceThread(SERVICE_READER), nullptr);
}

TEST_F(MediaOpenTest, SoundSystemCannotChangeOnceATrackOpened) {
  std::vector<uint8_t> clip = MakeClip(TwoTrackSpec());
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  MediaClose(m);
  auto other = [](uintptr_t) -> SoundOpenOp { return nullptr; };
  EXPECT_EQ(MediaSetSoundSystem(other, 0), 0);
  EXPECT_EQ(MediaSetSoundSystem(nullptr, 0), 0);
  EXPECT_EQ(MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&config_)), 1);
}

}  // namespace
