#include "tools/play_summary.h"

#include <cstdio>
#include <string>

#include "base/core_alloc.h"
#include "media/media.h"
#include "sound/memory_output.h"
#include "tools/tool_files.h"

namespace {

struct Field {
  const char* name;
  SummaryWord word;
  bool described;  // also in the file's description (same name, same value)
};

// The summary words worth printing, by name.
const Field kFields[] = {
    {"width", SUMMARY_WIDTH, true},
    {"height", SUMMARY_HEIGHT, true},
    {"playback_ms", SUMMARY_PLAYBACK_TIME, false},
    {"open_ms", SUMMARY_OPEN_TIME, false},
    {"frame_count", SUMMARY_FRAME_COUNT, true},
    {"frames_played", SUMMARY_FRAMES_PLAYED, false},
    {"corrupt_frames", SUMMARY_CORRUPT_FRAMES, false},
    {"last_corrupt_frame", SUMMARY_LAST_CORRUPT_FRAME, false},
    {"skipped_blits", SUMMARY_SKIPPED_BLITS, false},
    {"sound_skips", SUMMARY_SOUND_SKIPS, false},
    {"read_ms", SUMMARY_READ_TIME, false},
    {"video_ms", SUMMARY_VIDEO_TIME, false},
    {"audio_ms", SUMMARY_AUDIO_TIME, false},
    {"idle_read_ms", SUMMARY_IDLE_READ_TIME, false},
    {"background_read_ms", SUMMARY_BACKGROUND_READ_TIME, false},
    {"read_speed_bytes_per_s", SUMMARY_DEVICE_SPEED, false},
    {"slowest_frame_ms", SUMMARY_SLOWEST, false},
    {"slowest_frame", SUMMARY_SLOWEST_FRAME, false},
    {"average_rate_bytes_per_s", SUMMARY_AVERAGE_RATE, true},
    {"average_frame_bytes", SUMMARY_AVERAGE_FRAME_SIZE, true},
    {"memory_bytes", SUMMARY_MEMORY_TOTAL, false},
    {"read_ahead_bytes", SUMMARY_INPUT_MEMORY, false},
    {"read_ahead_highest", SUMMARY_INPUT_MEMORY_USED, false},
    {"peak_rate_bytes_per_s", SUMMARY_PEAK_RATE, true},
    {"peak_frame", SUMMARY_PEAK_FRAME, true},
};

}  // namespace

int PlaySummary(const char* path, const std::vector<uint8_t>* image, const ContainerLayout* layout,
                const FileDescription& description, const PlaySummaryOptions& o) {
  // Every track of the file is played (up to eight).
  std::vector<uint32_t> ids;
  for (uint32_t t = 0; t < layout->header.track_count && ids.size() < kMaxSoundTracks; ++t)
    ids.push_back(layout->ids[t]);

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
  MediaFile* m = image ? MediaOpenMemory(image->data(), image->size(), flags) : MediaOpen(path, flags);
  if (!m) {
    ReportInputFailure("info", path, MediaGetError());
    return 1;
  }
  const uint64_t memory_open = CoreBytesInUse() - memory_before;
  const uint64_t total = uint64_t(MediaHead(m)->frame_count) * (o.loops ? o.loops : 1);
  uint64_t delivered = 0;
  for (; delivered < total; ++delivered) {
    while (MediaWait(m)) {
    }
    if (MediaDecodeFrame(m)) break;
    MediaNextFrame(m);
  }
  PlaybackSummary s;
  MediaGetSummary(m, &s);
  const uint32_t tracks = MediaOpenedTrackCount(m);
  const uint32_t frame_count = MediaHead(m)->frame_count;
  MediaClose(m);

  const double seconds = s.word[SUMMARY_PLAYBACK_TIME] ? s.word[SUMMARY_PLAYBACK_TIME] / 1000.0 : 0.0;
  const double fps = seconds > 0 ? s.word[SUMMARY_FRAMES_PLAYED] / seconds : 0.0;
  const bool complete = delivered == total;
  if (o.json) {
    std::printf("{%s,\"playback\":{\"complete\":%s,\"frames_asked\":%llu,\"frames_delivered\":%llu",
                DescriptionJsonMembers(path, layout, description).c_str(), complete ? "true" : "false",
                static_cast<unsigned long long>(total), static_cast<unsigned long long>(delivered));
    std::printf(",\"tracks_played\":%u,\"played_frames_per_second\":%.1f,\"allocated_bytes\":%llu", tracks, fps,
                static_cast<unsigned long long>(memory_open));
    for (const Field& f : kFields)
      if (!f.described) std::printf(",\"%s\":%u", f.name, s.word[f.word]);
    std::printf("}}\n");
  } else {
    std::printf("%s: played %u frames in %.3f s (%.1f frames/s), %u sound track%s\n",
                IsStdStream(path) ? "standard input" : path, s.word[SUMMARY_FRAMES_PLAYED], seconds, fps, tracks, tracks == 1 ? "" : "s");
    if (!complete)
      std::printf("  INCOMPLETE: delivered %llu of %llu frames; frame %llu could not be read\n",
                  static_cast<unsigned long long>(delivered), static_cast<unsigned long long>(total),
                  static_cast<unsigned long long>(frame_count ? delivered % frame_count + 1 : 0));
    std::printf("  %-26s %llu\n", "allocated_bytes", static_cast<unsigned long long>(memory_open));
    for (const Field& f : kFields) std::printf("  %-26s %u\n", f.name, s.word[f.word]);
  }
  if (!complete)
    std::fprintf(stderr, "vexa info: %s: playback stopped after %llu of %llu frames\n", path,
                 static_cast<unsigned long long>(delivered), static_cast<unsigned long long>(total));
  return complete ? 0 : 3;
}
