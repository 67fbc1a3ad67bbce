// vexa info FILE [--json]: what a Vexa file's header, track tables and frame
// index say, without decoding any frame. With --summary it plays the file
// through the playback core instead and prints the playback counters.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/container.h"
#include "base/media_error.h"
#include "tools/commands.h"
#include "tools/play_summary.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: vexa info FILE [--json]    (FILE - reads standard input)\n\n"
               "Prints the revision, data size, picture size, frame rate, video flags,\n"
               "each audio track, the frame and key-frame counts, the largest frame and\n"
               "the average and peak data rates. --json prints the same as one JSON object.\n"
               "A file that cannot be read gives its error text and exit code 1.\n\n"
               "       vexa info FILE --summary [--preload] [--no-thread] [--loops N] [--json]\n\n"
               "Plays the file through the playback core as fast as it goes, without a\n"
               "display, every sound track decoded, and prints the playback summary:\n"
               "frames played, corrupt frames, skips, read speed, memory and timings.\n");
}

const char* KindName(uint32_t format) {
  switch (TrackFormatKind(format)) {
    case TRACK_KIND_REAL_DFT: return "real-dft";
    case TRACK_KIND_DCT: return "dct";
    default: return "none";
  }
}

struct Summary {
  uint32_t frames;       // frames both played and indexed
  uint32_t key_frames;
  uint32_t bad_frames;   // index entries a reader would refuse
  uint32_t biggest;      // largest frame size found in the index
  double fps;
  double average_rate;   // bytes per second over the played frames
  PeakRate peak;
};

void Summarise(const ContainerLayout* l, Summary* s) {
  const FileHeader& h = l->header;
  s->frames = h.frame_count < h.index_frame_count ? h.frame_count : h.index_frame_count;
  s->key_frames = s->bad_frames = s->biggest = 0;
  for (uint32_t i = 0; i < s->frames; ++i) {
    if (l->index[i] & 1) ++s->key_frames;
    FrameLocation loc;
    if (!FrameLocate(l, i, &loc)) {
      ++s->bad_frames;
      continue;
    }
    if (loc.size > s->biggest) s->biggest = loc.size;
  }
  // Frames the header promises beyond the index cannot be read either.
  s->bad_frames += h.frame_count - s->frames;
  s->fps = h.rate_divisor ? static_cast<double>(h.rate_dividend) / h.rate_divisor : 0.0;
  s->average_rate = 0;
  if (s->frames) {
    uint32_t a = l->index[0] & ~1u, b = l->index[s->frames] & ~1u;
    if (b > a) s->average_rate = static_cast<double>(b - a) * s->fps / s->frames;
  }
  ContainerPeakRate(l, &s->peak);
}

void PrintJsonString(const char* text) {
  std::putchar('"');
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p == '"' || *p == '\\') std::printf("\\%c", *p);
    else if (*p < 0x20) std::printf("\\u%04x", *p);
    else std::putchar(*p);
  }
  std::putchar('"');
}

void PrintText(const char* path, const ContainerLayout* l, const Summary& s) {
  const FileHeader& h = l->header;
  uint32_t flags = h.video_flags;
  std::printf("file:          %s\n", path);
  std::printf("revision:      %c\n", RevisionOf(h));
  std::printf("data size:     %u bytes (media data ends at %llu)\n", h.data_size,
              static_cast<unsigned long long>(ContainerEndOffset(h)));
  std::printf("picture:       %u x %u\n", h.width, h.height);
  std::printf("rate:          %u/%u (%.5f fps)\n", h.rate_dividend, h.rate_divisor, s.fps);
  std::printf("video flags:   0x%08x (alpha %s, grayscale %s, doubling %s)\n", flags,
              (flags & FLAG_ALPHA) ? "yes" : "no", (flags & FLAG_GRAYSCALE) ? "yes" : "no",
              ScaleModeName(ScaleModeOf(flags)));
  std::printf("tracks:        %u\n", h.track_count);
  for (uint32_t t = 0; t < h.track_count; ++t) {
    uint32_t f = l->formats[t];
    std::printf("  track %u: id %u, %u Hz, %s, %s output, %s, buffer %u bytes\n", t, l->ids[t], TrackFormatRate(f),
                TrackFormatChannels(f) == 2 ? "stereo" : "mono", TrackFormatIs16Bit(f) ? "16-bit" : "8-bit",
                KindName(f), l->buffer_sizes[t]);
  }
  std::printf("frames:        %u (index covers %u)\n", h.frame_count, h.index_frame_count);
  std::printf("key frames:    %u%s\n", s.key_frames, s.peak.all_key_frames ? " (all)" : "");
  if (s.bad_frames) std::printf("bad frames:    %u\n", s.bad_frames);
  std::printf("largest frame: %u bytes (biggest in index %u)\n", h.largest_frame, s.biggest);
  std::printf("average rate:  %.0f bytes/s\n", s.average_rate);
  std::printf("peak rate:     %u bytes per %u frames, from frame %u\n", s.peak.bytes, s.peak.window, s.peak.frame);
}

void PrintJson(const char* path, const ContainerLayout* l, const Summary& s) {
  const FileHeader& h = l->header;
  uint32_t flags = h.video_flags;
  std::printf("{\"file\":");
  PrintJsonString(path);
  std::printf(",\"revision\":\"%c\",\"data_size\":%u,\"width\":%u,\"height\":%u", RevisionOf(h), h.data_size, h.width,
              h.height);
  std::printf(",\"rate\":{\"dividend\":%u,\"divisor\":%u,\"fps\":%.6f}", h.rate_dividend, h.rate_divisor, s.fps);
  std::printf(",\"video_flags\":{\"value\":%u,\"alpha\":%s,\"grayscale\":%s,\"doubling\":\"%s\"}", flags,
              (flags & FLAG_ALPHA) ? "true" : "false", (flags & FLAG_GRAYSCALE) ? "true" : "false",
              ScaleModeName(ScaleModeOf(flags)));
  std::printf(",\"tracks\":[");
  for (uint32_t t = 0; t < h.track_count; ++t) {
    uint32_t f = l->formats[t];
    std::printf("%s{\"id\":%u,\"sample_rate\":%u,\"channels\":%u,\"bits\":%u,\"kind\":\"%s\",\"buffer_size\":%u}",
                t ? "," : "", l->ids[t], TrackFormatRate(f), TrackFormatChannels(f), TrackFormatIs16Bit(f) ? 16 : 8,
                KindName(f), l->buffer_sizes[t]);
  }
  std::printf("],\"frames\":%u,\"index_frames\":%u,\"key_frames\":%u,\"all_key_frames\":%s,\"bad_frames\":%u",
              h.frame_count, h.index_frame_count, s.key_frames, s.peak.all_key_frames ? "true" : "false",
              s.bad_frames);
  std::printf(",\"largest_frame\":%u,\"biggest_indexed_frame\":%u,\"average_rate\":%.0f", h.largest_frame, s.biggest,
              s.average_rate);
  std::printf(",\"peak_rate\":{\"bytes\":%u,\"frame\":%u,\"window\":%u}}\n", s.peak.bytes, s.peak.frame,
              s.peak.window);
}

}  // namespace

int CommandInfo(int argc, char** argv) {
  const char* path = nullptr;
  bool json = false;
  bool summary = false;
  PlaySummaryOptions play;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      Usage(stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--json")) {
      json = true;
    } else if (!std::strcmp(argv[i], "--summary")) {
      summary = true;
    } else if (!std::strcmp(argv[i], "--preload")) {
      play.preload = true;
    } else if (!std::strcmp(argv[i], "--no-thread")) {
      play.no_thread = true;
    } else if (!std::strcmp(argv[i], "--loops") && i + 1 < argc) {
      play.loops = uint32_t(std::strtoul(argv[++i], nullptr, 10));
    } else if (argv[i][0] == '-' && argv[i][1]) {
      std::fprintf(stderr, "vexa info: unknown option '%s'\n", argv[i]);
      Usage(stderr);
      return 2;
    } else if (!path) {
      path = argv[i];
    } else {
      Usage(stderr);
      return 2;
    }
  }
  if (!path) {
    Usage(stderr);
    return 2;
  }
  if (summary) {
    play.json = json;
    return PlaySummary(path, play);
  }
  ContainerFile* file = std::strcmp(path, "-") ? ContainerLoadPath(path) : ContainerLoad(stdin);
  if (!file) {
    std::fprintf(stderr, "vexa info: %s: %s\n", path, MediaGetError());
    return 1;
  }
  Summary s;
  Summarise(&file->layout, &s);
  if (json) PrintJson(path, &file->layout, s);
  else PrintText(path, &file->layout, s);
  ContainerFree(file);
  return 0;
}
