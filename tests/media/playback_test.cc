// Frame timing on an injected clock: due times, rebasing, late credit,
// skipped copies, pausing, resynchronisation, sound feeding and underruns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "clip_helpers.h"
#include "display/frame_copy.h"
#include "audio/audio_packet.h"
#include "media/audio_service.h"
#include "media/media.h"
#include "media/media_file.h"
#include "base/timer.h"
#include "base/clock.h"
#include "video/frame_buffers.h"
#include "video/video_error.h"
#include "sound/memory_output.h"

namespace {

struct Clock {
  uint32_t ms = 10000;
};
Clock g_clock;

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_clock.ms = 10000;
    clock_.tick_count = [](void*) { return g_clock.ms; };
    clock_.high_res_counter = [](void*, uint64_t* v) {
      *v = uint64_t(g_clock.ms) * 1000;
      return true;
    };
    clock_.high_res_frequency = [](void*) -> uint64_t { return 1000000; };
    clock_.system_time = [](void*) { return g_clock.ms; };
    clock_.yield = [](void*) { g_clock.ms += 1; };
    PlatformSetClock(&clock_);
    MediaTimerReset();
    MediaTimer();  // the timer starts at 0 here; playback starts a second later
    Advance(1000);
    config_ = MemoryOutputConfig{};
    config_.clock = [](void*) { return g_clock.ms; };
    config_.log = log_;
    config_.log_capacity = 256;
    MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&config_));
  }
  void TearDown() override {
    PlatformSetClock(nullptr);
    MediaTimerReset();
  }
  static void Advance(uint32_t ms) { g_clock.ms += ms; }

  // Waits (advancing the clock a millisecond at a time) until the frame is
  // due; returns how long that took.
  static uint32_t WaitDue(MediaFile* m) {
    uint32_t waited = 0;
    while (MediaWait(m) && waited < 100000) {
      Advance(1);
      ++waited;
    }
    return waited;
  }

  PlatformClock clock_{};
  MemoryOutputConfig config_{};
  MemoryOutputCall log_[256];
};

std::vector<uint8_t> SilentClip(uint32_t frames = 60) {
  ClipSpec spec;
  spec.frames = frames;
  return MakeClip(spec);
}

std::vector<uint8_t> SoundClip(uint32_t frames = 90, bool sixteen_bit = true) {
  ClipSpec spec;
  spec.frames = frames;
  spec.tracks = {{0, 22050, 1, false, sixteen_bit, 0}};
  return MakeClip(spec);
}

TEST_F(PlaybackTest, FramesFallDueAtTheFileRate) {
  std::vector<uint8_t> clip = SilentClip();
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MediaWait(m), 0);  // the first frame is due at once
  ASSERT_EQ(MediaDecodeFrame(m), 0);
  EXPECT_EQ(MediaDecodeFrame(m), 0);  // already decoded: nothing more
  EXPECT_EQ(m->clock.frames_decoded, 1u);
  MediaNextFrame(m);
  EXPECT_EQ(m->current_frame, 2);
  EXPECT_EQ(WaitDue(m), 33u);
  ASSERT_EQ(MediaDecodeFrame(m), 0);
  MediaNextFrame(m);
  EXPECT_EQ(WaitDue(m), 33u);  // 66 ms after the clock base
  MediaClose(m);
}

TEST_F(PlaybackTest, WithoutSoundALateFrameRebasesTheClock) {
  std::vector<uint8_t> clip = SilentClip();
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  MediaDecodeFrame(m);
  MediaNextFrame(m);
  Advance(1000);  // a stall
  EXPECT_EQ(MediaWait(m), 0);
  EXPECT_EQ(m->clock.clock_base, MediaTimer());  // rebased: no catching up
  EXPECT_EQ(m->clock.late_credit, 0u);
  MediaDecodeFrame(m);
  MediaNextFrame(m);
  EXPECT_GT(WaitDue(m), 0u);
  MediaClose(m);
}

TEST_F(PlaybackTest, WithSoundLatenessBecomesACreditWithdrawnInSteps) {
  std::vector<uint8_t> clip = SoundClip();
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 1u);
  MediaDecodeFrame(m);
  MediaNextFrame(m);
  const uint32_t base = m->clock.clock_base;
  Advance(1000);
  EXPECT_EQ(MediaWait(m), 0);
  EXPECT_EQ(m->clock.clock_base, base);  // the clock stays
  // Lateness 967 ms became a credit, less one step of 967 / 30.
  EXPECT_EQ(m->clock.credit_decay, 32u);
  EXPECT_EQ(m->clock.late_credit, 967u - 32u);
  // While the credit runs down by 32 ms a frame, the following frames fall
  // due within a millisecond or two of each other instead of 33 ms apart.
  int immediate = 0;
  for (int i = 0; i < 40; ++i) {
    MediaDecodeFrame(m);
    MediaNextFrame(m);
    if (WaitDue(m) <= 2) ++immediate;
  }
  EXPECT_GE(immediate, 25);
  EXPECT_EQ(m->clock.late_credit, 0u);
  MediaClose(m);
}

TEST_F(PlaybackTest, LateCopiesAreSkippedThreeTimesThenShown) {
  std::vector<uint8_t> clip = SoundClip();
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  std::vector<uint8_t> surface(64 * 48 * 4);
  std::vector<int> results, marks;
  for (int i = 0; i < 8; ++i) {
    MediaDecodeFrame(m);
    if (i > 0) Advance(200);  // every frame far behind: the copy sees lateness above the threshold
    m->clock.late_credit = 0;
    results.push_back(CopyFrameToSurface(MediaCopyState(m), surface.data(), 64 * 4, 48, 0, 0, 0, 0, 64, 48, 3));
    marks.push_back(int(m->clock.previous_blit_skipped));
    if (m->clock.skip_flag) {
      EXPECT_EQ(MediaGetChangedRects(0, m), 0);  // nothing to blit
    }
    MediaNextFrame(m);
  }
  EXPECT_EQ(results, (std::vector<int>{0, 1, 1, 1, 1, 1, 1, 1}));
  // The late copy that is shown brings the surface up to date: the next
  // decode may clear the change map again.
  EXPECT_EQ(marks, (std::vector<int>{0, 1, 1, 1, 0, 1, 1, 1}));
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  EXPECT_EQ(s.word[SUMMARY_SKIPPED_BLITS], 6u);  // frames 2-4 and 6-8 skipped, 5 shown late
  MediaClose(m);
}

TEST_F(PlaybackTest, ALateCreditLargerThanTheElapsedTimeIsNotLateness) {
  std::vector<uint8_t> clip = SoundClip();
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  MediaDecodeFrame(m);
  MediaNextFrame(m);
  Advance(10);
  m->clock.late_credit = 500;
  // Frame 2 is due when 33 ms of clock time remain after the credit: at 533.
  EXPECT_EQ(WaitDue(m), 523u);
  MediaClose(m);
}

TEST_F(PlaybackTest, NeverSkipCopiesLateFramesAndSaysSo) {
  std::vector<uint8_t> clip = SoundClip();
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), OPEN_NO_SKIP);
  ASSERT_NE(m, nullptr);
  std::vector<uint8_t> surface(64 * 48 * 4);
  MediaDecodeFrame(m);
  MediaNextFrame(m);
  MediaDecodeFrame(m);
  Advance(500);
  m->clock.late_credit = 0;
  EXPECT_EQ(CopyFrameToSurface(MediaCopyState(m), surface.data(), 64 * 4, 48, 0, 0, 0, 0, 64, 48, 3), 1);
  EXPECT_EQ(m->clock.skip_flag, 0u);
  EXPECT_EQ(m->clock.skipped_blits, 0u);
  MediaClose(m);
}

TEST_F(PlaybackTest, ZeroRateIsNeverWaitedFor) {
  std::vector<uint8_t> clip = SilentClip();
  MediaSetFrameRate(0, 0);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), OPEN_FRAME_RATE);
  ASSERT_NE(m, nullptr);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(MediaWait(m), 0);
    MediaDecodeFrame(m);
    MediaNextFrame(m);
  }
  MediaClose(m);
}

TEST_F(PlaybackTest, PausingMovesTheClockBase) {
  std::vector<uint8_t> clip = SoundClip();
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  MediaDecodeFrame(m);
  MediaNextFrame(m);
  Advance(10);
  EXPECT_EQ(MediaPause(m, 1), 1);
  EXPECT_EQ(MediaWait(m), 1);
  Advance(10000);
  EXPECT_EQ(MediaWait(m), 1);
  EXPECT_EQ(MediaPause(m, 0), 0);
  // Due 33 ms after the base; 10 of them passed before the pause.
  EXPECT_EQ(WaitDue(m), 23u);
  EXPECT_EQ(m->clock.late_credit, 0u);
  // The output was paused and resumed through its slot.
  int pauses = 0;
  for (uint32_t i = 0; i < config_.log_count && i < 256; ++i)
    if (log_[i].op == kMemPause) ++pauses;
  EXPECT_EQ(pauses, 2);
  MediaClose(m);
}

TEST_F(PlaybackTest, FiveMinutesAfterFrameOneTheNextLoopResynchronises) {
  std::vector<uint8_t> clip = SilentClip(3);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  for (int i = 0; i < 3; ++i) {
    MediaDecodeFrame(m);
    MediaNextFrame(m);
  }
  EXPECT_EQ(m->current_frame, 1);
  EXPECT_EQ(m->resync_requested, 0u);
  Advance(300001);
  for (int i = 0; i < 3; ++i) {
    MediaDecodeFrame(m);
    MediaNextFrame(m);
  }
  EXPECT_EQ(m->resync_requested, 1u);
  MediaDecodeFrame(m);  // restarts the clock
  EXPECT_EQ(m->resync_requested, 0u);
  EXPECT_EQ(m->clock.clock_base, MediaTimer());
  MediaClose(m);
}

TEST_F(PlaybackTest, SoundFlowsToTheOutputAndAnUnderrunRecovers) {
  config_.capture[0] = {nullptr, 0, 0, 0};
  std::vector<uint8_t> clip = SoundClip(90);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 1u);
  TrackRecord* t = &m->tracks[0];
  for (int i = 0; i < 30; ++i) {
    WaitDue(m);
    MediaDecodeFrame(m);
    MediaNextFrame(m);
  }
  EXPECT_GT(config_.capture[0].total, 0u);
  EXPECT_TRUE(MemoryOutputPlaying(t));
  // The device runs dry mid-file.
  MemoryOutputStarve(t);
  EXPECT_EQ(t->starved, 1u);
  MediaNextFrame(m);
  EXPECT_EQ(t->starved, 0u);
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  EXPECT_EQ(s.word[SUMMARY_SOUND_SKIPS], 1u);
  EXPECT_EQ(m->clock.clock_base, 0u);  // restarted with the sound
  // The off/on cycle put a silence pre-roll ahead of the sound.
  EXPECT_GE(MemoryOutputQueuedBytes(t) + t->queued, t->preroll_bytes);
  MediaClose(m);
}

TEST_F(PlaybackTest, SoundOffEmptiesEveryTracksRingAndPrerolls) {
  ClipSpec spec;
  spec.frames = 30;
  spec.tracks = {{0, 22050, 1, false, true, 0}, {3, 11025, 2, true, true, 0}};
  std::vector<uint8_t> clip = MakeClip(spec);
  config_.device_sixteenths = 1;  // a small device: the rings keep most of the sound
  const uint32_t ids[2] = {0, 3};
  MediaSetSoundTracks(2, ids);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), OPEN_SOUND_TRACKS);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 2u);
  for (int i = 0; i < 8; ++i) {
    MediaDecodeFrame(m);
    MediaNextFrame(m);
  }
  for (uint32_t k = 0; k < 2; ++k) ASSERT_GT(m->tracks[k].queued, 0u) << k;  // sound waiting
  EXPECT_EQ(MediaSoundOnOff(m, 0), 0);
  EXPECT_EQ(m->sound_playing, 0u);
  // Each ring holds nothing but the silence pre-roll.
  for (uint32_t k = 0; k < 2; ++k) {
    const TrackRecord* t = &m->tracks[k];
    ASSERT_EQ(t->queued, t->preroll_bytes) << k;
    const uint32_t at = uint32_t(t->read - t->ring_start);
    for (uint32_t i = 0; i < t->queued; ++i) ASSERT_EQ(t->ring_start[(at + i) % t->ring_size], 0) << k << " " << i;
  }
  MediaClose(m);
}

TEST_F(PlaybackTest, AnOutputThatWillNotRestartLeavesTheFilePlayingSilently) {
  std::vector<uint8_t> clip = SoundClip(90);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  TrackRecord* t = &m->tracks[0];
  for (int i = 0; i < 20; ++i) {
    WaitDue(m);
    MediaDecodeFrame(m);
    MediaNextFrame(m);
  }
  config_.fail_enable = true;
  MemoryOutputStarve(t);
  MediaNextFrame(m);  // the recovery turns the sound off and cannot turn it on again
  EXPECT_EQ(m->sound_playing, 0u);
  // The frames go on falling due at the file's rate.
  for (int i = 0; i < 5; ++i) {
    EXPECT_LE(WaitDue(m), 34u) << i;
    ASSERT_EQ(MediaDecodeFrame(m), 0);
    MediaNextFrame(m);
  }
  MediaClose(m);
}

TEST_F(PlaybackTest, AShortFileFeedsAllItsSound) {
  // A third of a second: every frame lies in the last 0.75 s, where the
  // feeding holds nothing back (no minimum fill, no alignment).
  std::vector<uint8_t> clip = SoundClip(10);
  config_.instant = true;
  config_.capture[0] = {nullptr, 0, 0, 0};
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  TrackRecord* t = &m->tracks[0];
  ASSERT_LT(int32_t(t->last_underrun_frame), 0);
  for (int i = 0; i < 10; ++i) {
    MediaDecodeFrame(m);
    MediaNextFrame(m);
  }
  EXPECT_EQ(t->queued, 0u);
  EXPECT_EQ(config_.capture[0].total, 10u * 735 * 2);  // 735 samples a frame
  MediaClose(m);
}

TEST_F(PlaybackTest, TrackRingsOutside256BytesTo64MiBDropTheTrack) {
  ClipSpec spec;
  spec.frames = 2;
  // Buffer sizes 0 (patched below), 1, 64 MiB and one byte more.
  spec.tracks = {{0, 8000, 1, false, true, 12345},
                 {1, 8000, 1, false, true, 1},
                 {2, 8000, 1, false, true, 64u << 20},
                 {3, 8000, 1, false, true, (64u << 20) + 1}};
  std::vector<uint8_t> clip = MakeClip(spec);
  const uint8_t marker[4] = {0x39, 0x30, 0, 0};  // 12345, the first buffer size
  auto at = std::search(clip.begin(), clip.end(), marker, marker + 4);
  ASSERT_NE(at, clip.end());
  std::fill(at, at + 4, 0);
  const uint32_t ids[4] = {0, 1, 2, 3};
  MediaSetSoundTracks(4, ids);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), OPEN_SOUND_TRACKS);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->opened_count, 2u);
  EXPECT_EQ(m->opened_tracks[0], 1u);
  EXPECT_EQ(m->tracks[0].ring_size, 256u);
  EXPECT_EQ(m->opened_tracks[1], 2u);
  EXPECT_EQ(m->tracks[1].ring_size, 64u << 20);
  MediaClose(m);
}

TEST_F(PlaybackTest, EightBitOutputTakesTheHighByte) {
  std::vector<uint8_t> clip = SoundClip(30, false);
  config_.instant = true;
  std::vector<uint8_t> captured(4096);
  config_.capture[0] = {captured.data(), uint32_t(captured.size()), 0, 0};
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  TrackRecord* t = &m->tracks[0];
  ASSERT_EQ(t->bits_per_sample, 8u);
  // Put known samples in the empty ring and feed them (last stretch: all of it).
  t->read = t->write = t->ring_start;
  const int16_t samples[4] = {0x1234, int16_t(0xFF00), 0, -32768};
  std::memcpy(t->ring_start, samples, sizeof(samples));
  t->write += sizeof(samples);
  t->queued = sizeof(samples);
  m->current_frame = int32_t(m->frame_count);
  MediaServiceSound(m);
  ASSERT_EQ(config_.capture[0].length, 4u);
  EXPECT_EQ(captured[0], 0x92);
  EXPECT_EQ(captured[1], 0x7F);
  EXPECT_EQ(captured[2], 0x80);
  EXPECT_EQ(captured[3], 0x00);
  MediaClose(m);
}

TEST_F(PlaybackTest, RingOverflowKeepsTheNewestSound) {
  ClipSpec spec;
  spec.frames = 10;
  spec.tracks = {{0, 22050, 1, false, true, 256}};  // a ring of 256 bytes
  std::vector<uint8_t> clip = MakeClip(spec);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  TrackRecord* t = &m->tracks[0];
  ASSERT_EQ(t->ring_size, 256u);
  t->SoundEnable(t, 0);  // the output takes nothing: the ring keeps what it got
  MediaDecodeFrame(m);   // one packet decodes to far more than the ring holds
  EXPECT_EQ(t->queued, 256u);
  // What the ring holds, from its read pointer, is the end of the packet's sound.
  std::vector<uint8_t> all;
  {
    const uint8_t* packet = nullptr;
    uint32_t size = 0;
    FrameCursor cursor;
    FrameCursorInit(&cursor, m->frame_data, m->frame_size, 1);
    ASSERT_TRUE(FrameCursorNextAudio(&cursor, &packet, &size));
    AudioDecoder* d = AudioDecoderOpen(22050, 1, 0);
    AudioDecodePacket(
        d, packet, size,
        [](void* ctx, const int16_t* pcm, uint32_t bytes) {
          auto* v = static_cast<std::vector<uint8_t>*>(ctx);
          v->insert(v->end(), reinterpret_cast<const uint8_t*>(pcm), reinterpret_cast<const uint8_t*>(pcm) + bytes);
        },
        &all, nullptr);
    AudioDecoderClose(d);
  }
  ASSERT_GT(all.size(), 256u);
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t at = (uint32_t(t->read - t->ring_start) + i) % 256;
    ASSERT_EQ(t->ring_start[at], all[all.size() - 256 + i]) << i;
  }
  MediaClose(m);
}

TEST_F(PlaybackTest, RealtimeStatsSpanTheLastFrames) {
  std::vector<uint8_t> clip = SilentClip();
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  for (int i = 0; i < 3; ++i) {
    WaitDue(m);
    MediaDecodeFrame(m);
    if (i < 2) MediaNextFrame(m);
  }
  RealtimeStats r;
  MediaGetRealtime(m, 0, &r);
  EXPECT_EQ(r.word[REALTIME_LAST_DECODED_FRAME], 3u);
  EXPECT_EQ(r.word[REALTIME_SPAN], 2u);   // three decodes so far: two spans
  EXPECT_EQ(r.word[REALTIME_ELAPSED], 66u);  // decode starts 2 frames apart
  EXPECT_GT(r.word[REALTIME_DATA_RATE], 0u);
  for (int i = 0; i < 40; ++i) {
    MediaNextFrame(m);
    WaitDue(m);
    MediaDecodeFrame(m);
  }
  MediaGetRealtime(m, 0, &r);
  EXPECT_EQ(r.word[REALTIME_SPAN], 29u);  // rounded rate - 1
  MediaClose(m);
}

// Changed rectangles -------------------------------------------------------

TEST_F(PlaybackTest, ChangedRectanglesSplitGreedilyAndScale) {
  ClipSpec spec;
  spec.width = 320;
  spec.height = 240;
  spec.frames = 2;
  std::vector<uint8_t> clip = MakeClip(spec);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  MediaDecodeFrame(m);
  const uint32_t across = m->blocks_across;
  std::memset(m->change_map, 0, m->block_count);
  m->change_map[0] = 1;
  m->change_map[m->block_count - 1] = 1;
  m->rect_count = -1;
  ASSERT_EQ(MediaGetChangedRects(0, m), 2);
  EXPECT_EQ(m->rects[0].x, 0);
  EXPECT_EQ(m->rects[0].y, 0);
  EXPECT_EQ(m->rects[0].width, 16);
  EXPECT_EQ(m->rects[0].height, 16);
  EXPECT_EQ(m->rects[1].x, 304);
  EXPECT_EQ(m->rects[1].y, 224);
  // Cached until the next decode.
  m->change_map[across + 5] = 1;
  EXPECT_EQ(MediaGetChangedRects(0, m), 2);
  m->rect_count = -1;
  EXPECT_EQ(MediaGetChangedRects(SURFACE_STRETCHED, m), 1);  // one bounding box
  EXPECT_EQ(m->rects[0].width, 320);
  m->rect_count = -1;
  EXPECT_EQ(MediaGetChangedRects(SURFACE_DIRECT, m), 0);
  std::memset(m->change_map, 0, m->block_count);
  m->rect_count = -1;
  EXPECT_EQ(MediaGetChangedRects(0, m), 0);
  MediaClose(m);

  // Doubled width and height: block (2, 3) of a 160 x 120 picture.
  spec.width = 160;
  spec.height = 120;
  clip = MakeClip(spec);
  m = MediaOpenMemory(clip.data(), clip.size(), 4u << SCALE_MODE_SHIFT);
  ASSERT_NE(m, nullptr);
  MediaDecodeFrame(m);
  std::memset(m->change_map, 0, m->block_count);
  m->change_map[3 * m->blocks_across + 2] = 1;
  m->rect_count = -1;
  ASSERT_EQ(MediaGetChangedRects(0, m), 1);
  EXPECT_EQ(m->rects[0].x, 64);
  EXPECT_EQ(m->rects[0].y, 96);
  EXPECT_EQ(m->rects[0].width, 32);
  EXPECT_EQ(m->rects[0].height, 32);
  MediaClose(m);
}

// The planes of the frame just decoded against the encoder's reconstruction.
void ExpectPicture(MediaFile* m, const std::vector<uint8_t>& want, uint32_t frame) {
  const FrameBuffers* fb = m->frames;
  const PlaneSet& set = fb->sets[fb->current & 1];
  size_t at = 0;
  for (int p = 0; p < 3; ++p) {
    const uint32_t w = p ? fb->chroma_width : fb->y_width, h = p ? fb->chroma_height : fb->y_height;
    for (uint32_t row = 0; row < h; ++row, at += w) {
      ASSERT_LE(at + w, want.size());
      ASSERT_EQ(0, std::memcmp(set.plane[p].pixels + size_t(row) * set.plane[p].pitch, want.data() + at, w))
          << "frame " << frame << " plane " << p << " row " << row;
    }
  }
  EXPECT_EQ(at, want.size());
}

TEST_F(PlaybackTest, DecodedFramesMatchTheEncodersReconstruction) {
  ClipSpec spec;
  spec.frames = 12;
  spec.width = 96;
  spec.height = 64;
  // A stub sound packet (too short for its count) loses that track's sound
  // for the frame, never the picture.
  spec.tracks = {{0, 11025, 1, false, true, 0}};
  spec.stub_frames = {4};
  std::vector<std::vector<uint8_t>> pictures;
  std::vector<uint8_t> clip = MakeClip(spec, &pictures);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  for (uint32_t f = 0; f < spec.frames; ++f) {
    const uint8_t* write = m->tracks[0].write;
    ASSERT_EQ(MediaDecodeFrame(m), 0);
    ExpectPicture(m, pictures[f], f + 1);
    EXPECT_EQ(m->tracks[0].write == write, f == 4) << "sound of frame " << f + 1;
    MediaNextFrame(m);
  }
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  EXPECT_EQ(s.word[SUMMARY_FRAMES_PLAYED], spec.frames);
  EXPECT_EQ(s.word[SUMMARY_CORRUPT_FRAMES], 0u);
  MediaClose(m);
}

TEST_F(PlaybackTest, AnUntrustedIndexEntryStopsPlayback) {
  std::vector<uint8_t> clip = SilentClip(10);
  ClipFile file(clip);
  for (bool streamed : {false, true}) {
    MediaFile* m = streamed ? MediaOpen(file.path(), 0) : MediaOpenMemory(clip.data(), clip.size(), 0);
    ASSERT_NE(m, nullptr);
    // Frame 5's entry now lies beyond frame 6's: frame 4, which ends there,
    // cannot be trusted.
    auto* index = const_cast<uint32_t*>(m->layout.index);
    index[4] = (index[5] & ~1u) + 2;
    for (int f = 1; f <= 3; ++f) {
      ASSERT_EQ(MediaDecodeFrame(m), 0) << f;
      MediaNextFrame(m);
    }
    EXPECT_EQ(MediaDecodeFrame(m), 1) << streamed;
    EXPECT_EQ(m->stopped, 1u);
    MediaClose(m);
  }
}

TEST_F(PlaybackTest, TablesOfAMemoryImageAreCopied) {
  // An image at an odd address: the tables are read into aligned words of
  // the core's own, not pointed at in the caller's bytes.
  std::vector<uint8_t> clip = SoundClip(6);
  std::vector<uint8_t> shifted(clip.size() + 1);
  std::copy(clip.begin(), clip.end(), shifted.begin() + 1);
  const uint8_t* image = shifted.data() + 1;
  MediaFile* m = MediaOpenMemory(image, clip.size(), 0);
  ASSERT_NE(m, nullptr);
  for (const uint32_t* table : {m->layout.buffer_sizes, m->layout.formats, m->layout.ids, m->layout.index}) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(table);
    EXPECT_TRUE(bytes < image || bytes >= image + clip.size());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(table) % 4, 0u);
  }
  PlaybackSummary s;
  PlayFrames(m, 6, &s);
  EXPECT_EQ(s.word[SUMMARY_CORRUPT_FRAMES], 0u);
  MediaClose(m);
}

TEST_F(PlaybackTest, AnAudioPacketOverrunningItsFrameIsACorruptFrame) {
  ClipSpec spec;
  spec.frames = 6;
  spec.keyint = 1;  // frames after the broken one do not lean on it
  spec.tracks = {{0, 11025, 1, false, true, 0}};
  std::vector<std::vector<uint8_t>> pictures;
  std::vector<uint8_t> clip = MakeClip(spec, &pictures);
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  // Frame 3's sound packet claims the whole frame and four bytes more.
  FrameLocation loc{};
  ASSERT_TRUE(FrameLocate(&m->layout, 2, &loc));
  clip[loc.offset] = uint8_t(loc.size);
  clip[loc.offset + 1] = uint8_t(loc.size >> 8);
  clip[loc.offset + 2] = uint8_t(loc.size >> 16);
  clip[loc.offset + 3] = uint8_t(loc.size >> 24);
  for (uint32_t f = 0; f < spec.frames; ++f) {
    ASSERT_EQ(MediaDecodeFrame(m), 0) << f + 1;
    ExpectPicture(m, pictures[f == 2 ? 1 : f], f + 1);  // frame 3 leaves frame 2 standing
    MediaNextFrame(m);
  }
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  EXPECT_EQ(s.word[SUMMARY_CORRUPT_FRAMES], 1u);
  EXPECT_EQ(s.word[SUMMARY_LAST_CORRUPT_FRAME], 3u);
  EXPECT_EQ(m->last_video_error, VIDEO_ERROR_PLANE_OUTSIDE);  // the video was never found
  MediaClose(m);
}

TEST_F(PlaybackTest, CorruptFramesAreCountedAndPlaybackGoesOn) {
  ClipSpec spec;
  spec.frames = 6;
  std::vector<uint8_t> clip = MakeClip(spec);
  // Damage frame 3's video data.
  MediaFile* probe = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(probe, nullptr);
  FrameLocation loc{};
  ASSERT_TRUE(FrameLocate(&probe->layout, 2, &loc));
  MediaClose(probe);
  for (uint32_t i = 0; i < loc.size; ++i) clip[loc.offset + i] = 0xFF;
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  PlaybackSummary s;
  PlayFrames(m, spec.frames, &s);
  EXPECT_EQ(s.word[SUMMARY_FRAMES_PLAYED], spec.frames);
  EXPECT_EQ(s.word[SUMMARY_CORRUPT_FRAMES], 1u);
  EXPECT_EQ(s.word[SUMMARY_LAST_CORRUPT_FRAME], 3u);
  MediaClose(m);
}

}  // namespace
