#include "tools/play_summary.h"

#include <cstdio>
#include <vector>

#include "base/container.h"
#include "base/core_alloc.h"
#include "media/media.h"
#include "media/media_file.h"
#include "sound/memory_output.h"

namespace {

struct Field {
  const char* name;
  int word;
};

// The summary words worth printing, by name.
const Field kFields[] = {
    {"width", 0},
    {"height", 1},
    {"playback_ms", 2},
    {"open_ms", 7},
    {"frame_count", 8},
    {"frames_played", 9},
    {"corrupt_frames", kSummaryCorruptFrames},
    {"last_corrupt_frame", kSummaryLastCorruptFrame},
    {"skipped_blits", 11},
    {"sound_skips", 12},
    {"read_ms", 14},
    {"video_ms", 15},
    {"audio_ms", 16},
    {"idle_read_ms", 17},
    {"background_read_ms", 18},
    {"read_speed_bytes_per_s", 19},
    {"slowest_frame_ms", 20},
    {"slowest_frame", 22},
    {"average_rate_bytes_per_s", 24},
    {"average_frame_bytes", 25},
    {"memory_bytes", 26},
    {"read_ahead_bytes", 27},
    {"read_ahead_highest", 28},
    {"peak_rate_bytes_per_s", 29},
    {"peak_frame", 30},
};

}  // namespace

int PlaySummary(const char* path, const PlaySummaryOptions& o) {
  // Every track of the file is played (up to eight).
  ContainerFile* info = ContainerLoadPath(path);
  if (!info) {
    std::fprintf(stderr, "vexa info: %s: %s\n", path, MediaGetError());
    return 1;
  }
  std::vector<uint32_t> ids;
  for (uint32_t t = 0; t < info->layout.header.track_count && ids.size() < kMaxSoundTracks; ++t)
    ids.push_back(info->layout.ids[t]);
  ContainerFree(info);

  static MemoryOutputConfig config{};
  config.instant = true;
  MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&config));
  uint32_t flags = OPEN_FRAME_RATE | OPEN_NO_SKIP;
  if (o.preload) flags |= OPEN_PRELOAD;
  if (o.no_thread) flags |= OPEN_NO_THREAD;
  if (!ids.empty()) {
    MediaSetSoundTracks(uint32_t(ids.size()), ids.data());
    flags |= OPEN_SOUND_TRACKS;
  }
  MediaSetFrameRate(0, 0);  // as fast as possible
  const uint64_t memory_before = CoreBytesInUse();
  MediaFile* m = MediaOpen(path, flags);
  if (!m) {
    std::fprintf(stderr, "vexa info: %s: %s\n", path, MediaGetError());
    return 1;
  }
  const uint64_t memory_open = CoreBytesInUse() - memory_before;
  const uint64_t total = uint64_t(m->frame_count) * (o.loops ? o.loops : 1);
  for (uint64_t i = 0; i < total; ++i) {
    while (MediaWait(m)) {
    }
    if (MediaDecodeFrame(m)) break;
    MediaNextFrame(m);
  }
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  const uint32_t tracks = m->opened_count;
  MediaClose(m);

  const double seconds = s.word[2] ? s.word[2] / 1000.0 : 0.0;
  const double fps = seconds > 0 ? s.word[9] / seconds : 0.0;
  if (o.json) {
    std::printf("{\"file\": \"%s\", \"tracks_played\": %u, \"frames_per_second\": %.1f, \"allocated_bytes\": %llu",
                path, tracks, fps, static_cast<unsigned long long>(memory_open));
    for (const Field& f : kFields) std::printf(", \"%s\": %u", f.name, s.word[f.word]);
    std::printf("}\n");
  } else {
    std::printf("%s: played %u frames in %.3f s (%.1f frames/s), %u sound track%s\n", path, s.word[9], seconds, fps,
                tracks, tracks == 1 ? "" : "s");
    std::printf("  %-26s %llu\n", "allocated_bytes", static_cast<unsigned long long>(memory_open));
    for (const Field& f : kFields) std::printf("  %-26s %u\n", f.name, s.word[f.word]);
  }
  return 0;
}
