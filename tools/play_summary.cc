#include "tools/play_summary.h"

#include <cstdio>
#include <vector>

#include "base/container.h"
#include "base/core_alloc.h"
#include "media/media.h"
#include "sound/memory_output.h"

namespace {

struct Field {
  const char* name;
  SummaryWord word;
};

// The summary words worth printing, by name.
const Field kFields[] = {
    {"width", SUMMARY_WIDTH},
    {"height", SUMMARY_HEIGHT},
    {"playback_ms", SUMMARY_PLAYBACK_TIME},
    {"open_ms", SUMMARY_OPEN_TIME},
    {"frame_count", SUMMARY_FRAME_COUNT},
    {"frames_played", SUMMARY_FRAMES_PLAYED},
    {"corrupt_frames", SUMMARY_CORRUPT_FRAMES},
    {"last_corrupt_frame", SUMMARY_LAST_CORRUPT_FRAME},
    {"skipped_blits", SUMMARY_SKIPPED_BLITS},
    {"sound_skips", SUMMARY_SOUND_SKIPS},
    {"read_ms", SUMMARY_READ_TIME},
    {"video_ms", SUMMARY_VIDEO_TIME},
    {"audio_ms", SUMMARY_AUDIO_TIME},
    {"idle_read_ms", SUMMARY_IDLE_READ_TIME},
    {"background_read_ms", SUMMARY_BACKGROUND_READ_TIME},
    {"read_speed_bytes_per_s", SUMMARY_DEVICE_SPEED},
    {"slowest_frame_ms", SUMMARY_SLOWEST},
    {"slowest_frame", SUMMARY_SLOWEST_FRAME},
    {"average_rate_bytes_per_s", SUMMARY_AVERAGE_RATE},
    {"average_frame_bytes", SUMMARY_AVERAGE_FRAME_SIZE},
    {"memory_bytes", SUMMARY_MEMORY_TOTAL},
    {"read_ahead_bytes", SUMMARY_INPUT_MEMORY},
    {"read_ahead_highest", SUMMARY_INPUT_MEMORY_USED},
    {"peak_rate_bytes_per_s", SUMMARY_PEAK_RATE},
    {"peak_frame", SUMMARY_PEAK_FRAME},
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
  const uint64_t total = uint64_t(MediaHead(m)->frame_count) * (o.loops ? o.loops : 1);
  for (uint64_t i = 0; i < total; ++i) {
    while (MediaWait(m)) {
    }
    if (MediaDecodeFrame(m)) break;
    MediaNextFrame(m);
  }
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  const uint32_t tracks = MediaOpenedTrackCount(m);
  MediaClose(m);

  const double seconds = s.word[SUMMARY_PLAYBACK_TIME] ? s.word[SUMMARY_PLAYBACK_TIME] / 1000.0 : 0.0;
  const double fps = seconds > 0 ? s.word[SUMMARY_FRAMES_PLAYED] / seconds : 0.0;
  if (o.json) {
    std::printf("{\"file\": \"%s\", \"tracks_played\": %u, \"frames_per_second\": %.1f, \"allocated_bytes\": %llu",
                path, tracks, fps, static_cast<unsigned long long>(memory_open));
    for (const Field& f : kFields) std::printf(", \"%s\": %u", f.name, s.word[f.word]);
    std::printf("}\n");
  } else {
    std::printf("%s: played %u frames in %.3f s (%.1f frames/s), %u sound track%s\n", path,
                s.word[SUMMARY_FRAMES_PLAYED], seconds, fps, tracks, tracks == 1 ? "" : "s");
    std::printf("  %-26s %llu\n", "allocated_bytes", static_cast<unsigned long long>(memory_open));
    for (const Field& f : kFields) std::printf("  %-26s %u\n", f.name, s.word[f.word]);
  }
  return 0;
}
