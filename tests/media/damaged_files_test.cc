// Damaged files through the playback core: truncations, bit flips, byte
// runs, edited header fields, index entries and track tables, made here from
// two small clips of our encoder and played from memory, streamed (with and
// without the reader thread) and preloaded. Whatever the damage, the core
// must not crash or hang, must keep its memory within what the file really
// holds, must refuse exactly the files whose header cannot be read, and must
// deliver every frame the file holds whole before it stops.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/container.h"
#include "base/core_alloc.h"
#include "base/timer.h"
#include "clip_helpers.h"
#include "media/media.h"
#include "sound/memory_output.h"

namespace {

// Blind modes read through an opener that cannot tell the file's size, so
// the reader meets the end of a short file only as a short read.
enum Mode { kMemory, kStream, kThreaded, kPreload, kBlindStream, kBlindPreload, kModes };
const char* const kModeNames[kModes] = {"memory", "stream", "threaded", "preload", "blind stream", "blind preload"};

int BlindOpener(InputReader* reader, const void* source, uint32_t flags) {
  if (!FileInputOpen(reader, source, flags)) return 0;
  reader->media_size = nullptr;
  return 1;
}

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void SetWord(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = uint8_t(v >> (8 * i));
}

struct PlayResult {
  bool opened = false;
  std::string error;
  uint32_t delivered = 0;  // decodes that returned 0
  bool stopped = false;    // a decode returned 1
  PlaybackSummary summary{};
};

// Sound through the instant memory output, tracks 0 and 5 asked for.
void ChooseSound() {
  static MemoryOutputConfig config;
  config = MemoryOutputConfig{};
  config.instant = true;
  MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&config));
  const uint32_t ids[2] = {0, 5};
  MediaSetSoundTracks(2, ids);
}

// Opens `bytes` in `mode` and plays up to `limit` frames as a player would
// (looping past the last), stopping when a decode reports a read error. The
// core may allocate `allowance` bytes at most.
PlayResult Play(const std::vector<uint8_t>& bytes, Mode mode, uint32_t limit, uint64_t allowance,
               int32_t ring = 65536) {
  PlayResult r;
  ChooseSound();
  uint32_t flags = OPEN_SOUND_TRACKS;
  MediaFile* m = nullptr;
  CoreSetAllocationLimit(CoreBytesInUse() + allowance);
  if (mode == kMemory) {
    m = MediaOpenMemory(bytes.data(), bytes.size(), flags);
  } else {
    ClipFile file(bytes);
    if (mode == kBlindStream || mode == kBlindPreload) {
      MediaSetFileOpener(BlindOpener);
      flags |= OPEN_CUSTOM_OPENER;
    }
    if (mode == kStream || mode == kThreaded || mode == kBlindStream) {
      // A ring of this size (0: every frame read directly), filled on this
      // thread or by the reader thread.
      MediaSetReadBufferSize(ring);
      flags |= OPEN_READ_BUFFER_SIZE | (mode == kThreaded ? 0 : OPEN_NO_THREAD);
    }
    if (mode == kPreload || mode == kBlindPreload) flags |= OPEN_PRELOAD | OPEN_NO_THREAD;
    m = MediaOpen(file.path(), flags);
  }
  if (!m) {
    CoreSetAllocationLimit(0);
    r.error = MediaGetError();
    return r;
  }
  r.opened = true;
  for (uint32_t i = 0; i < limit; ++i) {
    if (MediaDecodeFrame(m)) {
      r.stopped = true;
      break;
    }
    ++r.delivered;
    MediaNextFrame(m);
  }
  MediaGetSummary(m, &r.summary);
  MediaClose(m);
  CoreSetAllocationLimit(0);
  return r;
}

// What playing a file may cost: a few times the file itself, the frame
// buffers of its picture, and the sound rings its track table asks for (each
// believed up to 64 MiB) with their outputs.
uint64_t Allowance(const std::vector<uint8_t>& bytes) {
  uint64_t bound = (2u << 20) + 4 * uint64_t(bytes.size());
  if (bytes.size() < kFileHeaderSize) return bound;
  FileHeader h{};
  if (!FileHeaderDecode(bytes.data(), bytes.size(), &h)) return bound;
  if (h.width <= kMaxPictureSide && h.height <= kMaxPictureSide)
    bound += 2 * FrameBufferBytes(h.width, h.height) + 64 * uint64_t(h.width) + (64u << 10);
  for (uint32_t t = 0; t < h.track_count && t < 64 && kFileHeaderSize + 4 * (t + 1) <= bytes.size(); ++t) {
    const uint64_t ring = Word(bytes, kFileHeaderSize + 4 * t);
    bound += (ring < (64u << 20) ? ring : (64u << 20)) + 1024 + (600u << 10);
  }
  return bound;
}

// Aborts the test program when one variant takes longer than a generous
// limit: a hang must fail the suite, not stall it.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Run(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }
  void Arm(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    what_ = what;
    ++generation_;
    cv_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_) {
      const uint64_t seen = generation_;
      if (!cv_.wait_for(lock, std::chrono::seconds(30), [&] { return done_ || generation_ != seen; })) {
        std::fprintf(stderr, "damaged file hangs: %s\n", what_.c_str());
        std::abort();
      }
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::string what_ = "(setup)";
  uint64_t generation_ = 0;
  bool done_ = false;
  std::thread thread_;
};

struct Variant {
  std::string what;
  std::vector<uint8_t> bytes;
  int64_t cut = -1;  // truncations: the length kept
};

// A small deterministic generator, so a failing variant can be named again.
struct Random {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(state >> 33);
  }
  uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

std::vector<Variant> MakeVariants(const std::vector<uint8_t>& clip, uint64_t seed) {
  std::vector<Variant> out;
  Random rnd{seed};
  const uint32_t size = uint32_t(clip.size());
  const uint32_t tracks = Word(clip, 40);
  const uint32_t frames = Word(clip, 16);
  const uint32_t index_at = kFileHeaderSize + 12 * tracks;
  const uint32_t first = index_at + 4 * (frames + 1);
  auto add = [&](std::string what, std::vector<uint8_t> bytes, int64_t cut = -1) {
    out.push_back({std::move(what), std::move(bytes), cut});
  };

  // Truncations: inside the header, the tables, the index, at and around
  // frame boundaries, and spread over the frame data.
  std::vector<uint32_t> cuts = {0, 3, 4, 20, 43, 44, index_at - 1, index_at + 2, first - 1, first, first + 1};
  for (uint32_t i = 1; i <= frames; i += 3) {
    const uint32_t end = Word(clip, index_at + 4 * i) & ~1u;
    cuts.insert(cuts.end(), {end - 1, end, end + 1});
  }
  for (uint32_t k = 1; k < 12; ++k) cuts.push_back(first + uint32_t(uint64_t(size - first) * k / 12));
  for (uint32_t c : cuts)
    if (c < size) add("cut at " + std::to_string(c), std::vector<uint8_t>(clip.begin(), clip.begin() + c), c);

  // Single bit flips, half of them in the header, tables and index.
  for (int k = 0; k < 60; ++k) {
    const uint32_t at = k % 2 ? rnd.Below(first) : rnd.Below(size);
    const uint32_t bit = rnd.Below(8);
    std::vector<uint8_t> b = clip;
    b[at] ^= uint8_t(1u << bit);
    add("bit " + std::to_string(bit) + " of byte " + std::to_string(at), std::move(b));
  }

  // Runs of zeros, ones or noise.
  for (int k = 0; k < 36; ++k) {
    const uint32_t at = k % 3 ? rnd.Below(size) : rnd.Below(first);
    const uint32_t len = 1 + rnd.Below(k % 4 ? 64 : 2048);
    const int kind = k % 3;
    std::vector<uint8_t> b = clip;
    for (uint32_t i = at; i < at + len && i < size; ++i) b[i] = kind == 0 ? 0 : kind == 1 ? 0xFF : uint8_t(rnd.Next());
    add("run of " + std::to_string(len) + " (" + std::to_string(kind) + ") at " + std::to_string(at), std::move(b));
  }

  // Header fields, each set to values at and beyond what a file can mean.
  static const char* const kFields[11] = {"magic", "data size", "frame count", "largest frame", "index frames",
                                           "width", "height", "dividend", "divisor", "video flags", "tracks"};
  for (uint32_t f = 0; f < 11; ++f) {
    const uint32_t at = 4 * f, v = Word(clip, at);
    std::vector<uint32_t> values = {0, 1, 2, v - 1, v + 1, v * 2, v / 2, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                    0x40000000, 0x10000, 0xC0000000};
    if (f == 9) values.insert(values.end(), {FLAG_ALPHA, FLAG_GRAYSCALE, 0x40000000u | FLAG_ALPHA, 0x60000000});
    if (f == 7) values.insert(values.end(), {kMaxFrameRate, kMaxFrameRate + 1});
    for (uint32_t value : values) {
      std::vector<uint8_t> b = clip;
      SetWord(&b, at, value);
      add(std::string(kFields[f]) + " = " + std::to_string(value), std::move(b));
    }
  }

  // Index entries: zero, odd, past the end, equal to or beyond a neighbour.
  for (int k = 0; k < 40; ++k) {
    const uint32_t i = rnd.Below(frames + 1);
    const uint32_t at = index_at + 4 * i, v = Word(clip, at);
    const uint32_t next = i < frames ? Word(clip, at + 4) : size + 8;
    const uint32_t prev = i ? Word(clip, at - 4) : 0;
    const uint32_t values[] = {0, v | 1, 0xFFFFFFFE, prev, next + 2, v ^ (1u << rnd.Below(31)), size + 64, first - 4};
    std::vector<uint8_t> b = clip;
    const uint32_t value = values[k % 8];
    SetWord(&b, at, value);
    add("index " + std::to_string(i) + " = " + std::to_string(value), std::move(b));
  }

  // Track tables: buffer sizes, formats and identifiers.
  for (uint32_t t = 0; t < tracks; ++t) {
    for (uint32_t value : {0u, 1u, 0xFFFFFFFFu, 0x03FFFF00u, 0x04000100u}) {
      std::vector<uint8_t> b = clip;
      SetWord(&b, kFileHeaderSize + 4 * t, value);
      add("track " + std::to_string(t) + " buffer = " + std::to_string(value), std::move(b));
    }
    const uint32_t format = Word(clip, kFileHeaderSize + 4 * (tracks + t));
    for (uint32_t value : {0u, 0xFFFFFFFFu, format ^ 0x90000000u, format ^ 0x20000000u, format & 0xFFFF0000u,
                           format ^ 0x40000000u}) {
      std::vector<uint8_t> b = clip;
      SetWord(&b, kFileHeaderSize + 4 * (tracks + t), value);
      add("track " + std::to_string(t) + " format = " + std::to_string(value), std::move(b));
    }
    std::vector<uint8_t> b = clip;
    SetWord(&b, kFileHeaderSize + 4 * (2 * tracks + t), 5 - Word(clip, kFileHeaderSize + 4 * (2 * tracks + t)));
    add("track " + std::to_string(t) + " id swapped", std::move(b));
  }
  return out;
}

// Big enough (three seconds of sound) to stream through a 64 KiB ring
// rather than be preloaded.
std::vector<uint8_t> ClipA() {
  ClipSpec spec;
  spec.frames = 30;
  spec.dividend = 10;
  spec.tracks = {{0, 44100, 1, false, true, 0}};
  return MakeClip(spec);
}

std::vector<uint8_t> ClipB() {
  ClipSpec spec;
  spec.width = 48;
  spec.height = 32;
  spec.frames = 20;
  spec.dividend = 25;
  spec.keyint = 5;
  spec.tracks = {{0, 11025, 2, true, false, 0}, {5, 22050, 1, false, true, 0}};
  return MakeClip(spec);
}

// Frames of the undamaged clip that end within the first `cut` bytes.
uint32_t FramesWithin(const std::vector<uint8_t>& clip, uint64_t cut) {
  const uint32_t index_at = kFileHeaderSize + 12 * Word(clip, 40);
  uint32_t n = 0;
  while (n < Word(clip, 8) && (Word(clip, index_at + 4 * (n + 1)) & ~1u) <= cut) ++n;
  return n;
}

TEST(DamagedFiles, EveryVariantPlaysWhatItHoldsAndNoMore) {
  Watchdog watchdog;
  uint32_t tried = 0, fully = 0, partly = 0, none = 0, refused = 0, plays = 0;
  int clip_number = 0;
  for (const std::vector<uint8_t>& clip : {ClipA(), ClipB()}) {
    // The first clip streams through a 64 KiB ring, the second reads every
    // frame directly.
    const int32_t ring = clip_number == 0 ? 65536 : 0;
    const uint32_t clip_frames = Word(clip, 8);
    const uint32_t limit = clip_frames + 3;  // into the second loop
    const std::vector<Variant> variants = MakeVariants(clip, 0x5eed + clip_number++);
    for (size_t v = 0; v < variants.size(); ++v) {
      const Variant& var = variants[v];
      ++tried;
      // The header as an independent reader sees it: refused, or how many
      // frames it holds whole.
      ContainerFile* info = ContainerLoadMemory(var.bytes.data(), var.bytes.size());
      const std::string load_error = info ? "" : MediaGetError();
      const uint32_t promised = info ? info->layout.header.frame_count : 0;
      const uint32_t intact = info ? ContainerIntactFrames(&info->layout, info->available) : 0;
      ContainerFree(info);
      const uint64_t allowance = Allowance(var.bytes);

      // Truncations in every way of reading; the rest in one each, in turn.
      std::vector<Mode> modes;
      if (var.cut >= 0)
        for (int mode = 0; mode < kModes; ++mode) modes.push_back(Mode(mode));
      else
        modes = {Mode(v % kModes)};
      uint32_t best = 0;
      for (Mode mode : modes) {
        const std::string what = "clip " + std::to_string(clip_number) + ", " + var.what + ", " + kModeNames[mode];
        watchdog.Arm(what);
        ++plays;
        const PlayResult r = Play(var.bytes, mode, limit, allowance, ring);
        if (!info) {
          EXPECT_FALSE(r.opened) << what;
          EXPECT_EQ(r.error, load_error) << what;
          continue;
        }
        ASSERT_TRUE(r.opened) << what << ": " << r.error;
        // Every whole frame is delivered; the first one missing stops
        // playback as a read error; a file that holds all it promises loops.
        if (promised <= intact) {
          EXPECT_EQ(r.delivered, limit) << what;
        } else {
          EXPECT_EQ(r.delivered, intact) << what;
          EXPECT_TRUE(r.stopped) << what;
          EXPECT_EQ(r.summary.word[SUMMARY_UNREADABLE_FRAME], intact + 1) << what;
        }
        EXPECT_EQ(r.summary.word[SUMMARY_INTACT_FRAMES], intact) << what;
        if (var.cut >= 0) {
          const uint32_t whole = FramesWithin(clip, uint64_t(var.cut));
          EXPECT_EQ(r.delivered, whole < clip_frames ? whole : limit) << what;
        }
        if (r.delivered > best) best = r.delivered;
      }
      if (!info)
        ++refused, ++none;
      else if (promised <= intact)
        ++fully;
      else if (best)
        ++partly;
      else
        ++none;
    }
  }
  std::printf("damaged files: %u variants (%u plays): %u played fully, %u partly, %u not at all (%u refused)\n",
              tried, plays, fully, partly, none, refused);
  EXPECT_GT(tried, 400u);
}

// The faults each found by editing one field or cutting one file.
TEST(DamagedFiles, EditedFieldsAndCutsFoundBefore) {
  const std::vector<uint8_t> clip = ClipA();
  const uint64_t allowance = Allowance(clip);

  // A rate of 2^30 frames a second would size the history rings past 32
  // bits: refused as an unreadable header however the file is read.
  std::vector<uint8_t> rate = clip;
  SetWord(&rate, 28, 1073741824);
  SetWord(&rate, 32, 1);
  for (int mode = 0; mode < kModes; ++mode) {
    const PlayResult r = Play(rate, Mode(mode), 3, allowance);
    EXPECT_FALSE(r.opened) << kModeNames[mode];
    EXPECT_EQ(r.error, "Error reading Vexa header.") << kModeNames[mode];
  }

  // A frame count of 2^32 - 1 over an index of eight frames: the eight play
  // once, then the missing ninth stops playback (never back to frame 1).
  ClipSpec eight;
  eight.frames = 8;
  std::vector<uint8_t> count = MakeClip(eight);
  SetWord(&count, 8, 0xFFFFFFFF);
  for (Mode mode : {kMemory, kStream}) {
    const PlayResult r = Play(count, mode, 40, Allowance(count), 0);
    EXPECT_EQ(r.delivered, 8u) << kModeNames[mode];
    EXPECT_TRUE(r.stopped) << kModeNames[mode];
    EXPECT_EQ(r.summary.word[SUMMARY_INTACT_FRAMES], 8u);
    EXPECT_EQ(r.summary.word[SUMMARY_UNREADABLE_FRAME], 9u);
  }

  // A data size of 3 GiB on a small file: preloaded or streamed, it costs
  // what the file holds, and every frame plays.
  std::vector<uint8_t> size = clip;
  SetWord(&size, 4, 0xC0000000);
  for (Mode mode : {kPreload, kStream, kThreaded, kBlindPreload, kBlindStream}) {
    const PlayResult r = Play(size, mode, 30, allowance);
    ASSERT_TRUE(r.opened) << kModeNames[mode] << ": " << r.error;
    EXPECT_EQ(r.delivered, 30u) << kModeNames[mode];
    EXPECT_LT(r.summary.word[SUMMARY_MEMORY_TOTAL], 2 * clip.size() + (1u << 20)) << kModeNames[mode];
  }

  // Cut at three quarters: every frame before the cut plays in every way of
  // reading, then playback stops at the first frame the cut reached, and
  // the loader's figure for `vexa info` agrees.
  const std::vector<uint8_t> cut(clip.begin(), clip.begin() + clip.size() * 3 / 4);
  const uint32_t whole = FramesWithin(clip, cut.size());
  ASSERT_GT(whole, 15u);
  ASSERT_LT(whole, 30u);
  for (int mode = 0; mode < kModes; ++mode) {
    const PlayResult r = Play(cut, Mode(mode), 40, allowance);
    EXPECT_EQ(r.delivered, whole) << kModeNames[mode];
    EXPECT_TRUE(r.stopped) << kModeNames[mode];
    EXPECT_EQ(r.summary.word[SUMMARY_INTACT_FRAMES], whole) << kModeNames[mode];
    EXPECT_EQ(r.summary.word[SUMMARY_UNREADABLE_FRAME], whole + 1) << kModeNames[mode];
  }
  ClipFile file(cut);
  ContainerFile* info = ContainerLoadPath(file.path());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->available, cut.size());
  EXPECT_EQ(ContainerIntactFrames(&info->layout, info->available), whole);
  ContainerFree(info);
}

// The playback and blit times of the summary count from the first decode
// even when the timer read 0 then.
TEST(DamagedFiles, PlaybackTimeFromATimerAtZero) {
  static uint32_t now = 0;
  PlatformClock clock{};
  clock.tick_count = [](void*) { return now; };
  clock.high_res_counter = [](void*, uint64_t* v) {
    *v = uint64_t(now) * 1000;
    return true;
  };
  clock.high_res_frequency = [](void*) -> uint64_t { return 1000000; };
  clock.system_time = [](void*) { return now; };
  PlatformSetClock(&clock);
  MediaTimerReset();
  const std::vector<uint8_t> clip = MakeClip(ClipSpec{});
  MediaFile* m = MediaOpenMemory(clip.data(), clip.size(), 0);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(MediaDecodeFrame(m), 0);
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  EXPECT_EQ(s.word[SUMMARY_PLAYBACK_TIME], 0u);
  EXPECT_EQ(s.word[SUMMARY_BLIT_TIME], 0u);  // a copy and blit that took no time
  now += 40;
  MediaGetSummary(m, &s);
  EXPECT_EQ(s.word[SUMMARY_PLAYBACK_TIME], 40u);
  MediaClose(m);
  PlatformSetClock(nullptr);
  MediaTimerReset();
}

}  // namespace
