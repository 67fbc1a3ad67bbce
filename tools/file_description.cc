#include "tools/file_description.h"

#include <cstdarg>

#include "tools/tool_files.h"

namespace {

const char* KindName(uint32_t format) {
  switch (TrackFormatKind(format)) {
    case TRACK_KIND_REAL_DFT: return "real-dft";
    case TRACK_KIND_DCT: return "dct";
    default: return "none";
  }
}

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(v); }

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

}  // namespace

void DescribeFile(const ContainerLayout* l, FileDescription* d) {
  const FileHeader& h = l->header;
  d->frames = h.frame_count < h.index_frame_count ? h.frame_count : h.index_frame_count;
  d->key_frames = d->bad_frames = d->biggest = 0;
  for (uint32_t i = 0; i < d->frames; ++i) {
    if (l->index[i] & 1) ++d->key_frames;
    FrameLocation loc;
    if (!FrameLocate(l, i, &loc)) {
      ++d->bad_frames;
      continue;
    }
    if (loc.size > d->biggest) d->biggest = loc.size;
  }
  d->bad_frames += h.frame_count - d->frames;
  d->fps = h.rate_divisor ? double(h.rate_dividend) / h.rate_divisor : 0.0;
  d->duration_s = h.rate_dividend ? double(h.frame_count) * h.rate_divisor / h.rate_dividend : 0.0;
  d->size_bytes = ContainerEndOffset(h);
  // As the playback core counts them: every byte after the tables.
  const uint64_t first = ContainerFirstFrameOffset(h);
  const uint64_t payload = h.data_size > first ? h.data_size - first : 0;
  d->average_rate = h.frame_count && h.rate_divisor
                        ? Clamp32(payload * h.rate_dividend / (uint64_t(h.frame_count) * h.rate_divisor))
                        : 0;
  d->average_frame = h.frame_count ? Clamp32(payload / h.frame_count) : 0;
  ContainerPeakRate(l, &d->peak);
}

void PrintDescriptionText(std::FILE* out, const char* path, const ContainerLayout* l, const FileDescription& d) {
  const FileHeader& h = l->header;
  const uint32_t flags = h.video_flags;
  std::fprintf(out, "file:          %s\n", IsStdStream(path) ? "standard input" : path);
  std::fprintf(out, "duration:      %.3f s (%u frames at %.5f frames per second)\n", d.duration_s, h.frame_count,
               d.fps);
  std::fprintf(out, "picture:       %u x %u%s%s\n", h.width, h.height, (flags & FLAG_GRAYSCALE) ? ", grayscale" : "",
               (flags & FLAG_ALPHA) ? ", with transparency (alpha)" : "");
  std::fprintf(out, "size:          %llu bytes\n", static_cast<unsigned long long>(d.size_bytes));
  if (!h.track_count) std::fprintf(out, "sound:         none\n");
  for (uint32_t t = 0; t < h.track_count; ++t) {
    const uint32_t f = l->formats[t];
    std::fprintf(out, "%s track %u, %u Hz %s%s\n", t ? "              " : "sound:        ", l->ids[t],
                 TrackFormatRate(f), TrackFormatChannels(f) == 2 ? "stereo" : "mono",
                 TrackFormatKind(f) == TRACK_KIND_NONE ? " (not playable)" : "");
  }
  std::fprintf(out, "average rate:  %u bytes/s (%u bytes a frame)\n", d.average_rate, d.average_frame);
  std::fprintf(out, "peak rate:     %u bytes per %u frames, from frame %u\n", d.peak.bytes, d.peak.window,
               d.peak.frame + 1);
  if (d.bad_frames) std::fprintf(out, "bad frames:    %u (they cannot be played)\n", d.bad_frames);
  std::fprintf(out, "\nin the file's own terms:\n");
  std::fprintf(out, "revision:      %c (the letter after \"VXA\": which bitstream the decoder reads)\n", RevisionOf(h));
  std::fprintf(out, "data size:     %u bytes (header field; media data ends at %llu)\n", h.data_size,
               static_cast<unsigned long long>(ContainerEndOffset(h)));
  std::fprintf(out, "rate:          %u/%u (%.5f fps)\n", h.rate_dividend, h.rate_divisor, d.fps);
  std::fprintf(out, "video flags:   0x%08x (alpha %s, grayscale %s, doubling %s: how the picture is scaled on show)\n",
               flags, (flags & FLAG_ALPHA) ? "yes" : "no", (flags & FLAG_GRAYSCALE) ? "yes" : "no",
               ScaleModeName(ScaleModeOf(flags)));
  std::fprintf(out, "tracks:        %u\n", h.track_count);
  for (uint32_t t = 0; t < h.track_count; ++t) {
    const uint32_t f = l->formats[t];
    std::fprintf(out, "  track %u: id %u, %u Hz, %s, %s output, %s coding, buffer %u bytes\n", t, l->ids[t],
                 TrackFormatRate(f), TrackFormatChannels(f) == 2 ? "stereo" : "mono",
                 TrackFormatIs16Bit(f) ? "16-bit" : "8-bit", KindName(f), l->buffer_sizes[t]);
  }
  std::fprintf(out, "frames:        %u (index covers %u)\n", h.frame_count, h.index_frame_count);
  std::fprintf(out, "key frames:    %u%s (frames that decode on their own)\n", d.key_frames,
               d.peak.all_key_frames ? " (all)" : "");
  std::fprintf(out, "largest frame: %u bytes (biggest in index %u)\n", h.largest_frame, d.biggest);
}

std::string DescriptionJsonMembers(const char* path, const ContainerLayout* l, const FileDescription& d) {
  const FileHeader& h = l->header;
  const uint32_t flags = h.video_flags;
  std::string j = "\"file\":" + JsonString(path);
  j += Format(",\"duration_s\":%.3f,\"width\":%u,\"height\":%u,\"size_bytes\":%llu", d.duration_s, h.width, h.height,
              static_cast<unsigned long long>(d.size_bytes));
  j += Format(",\"rate\":{\"dividend\":%u,\"divisor\":%u,\"fps\":%.6f}", h.rate_dividend, h.rate_divisor, d.fps);
  j += Format(",\"revision\":\"%c\",\"data_size\":%u", RevisionOf(h), h.data_size);
  j += Format(",\"video_flags\":{\"value\":%u,\"alpha\":%s,\"grayscale\":%s,\"doubling\":\"%s\"}", flags,
              (flags & FLAG_ALPHA) ? "true" : "false", (flags & FLAG_GRAYSCALE) ? "true" : "false",
              ScaleModeName(ScaleModeOf(flags)));
  j += ",\"tracks\":[";
  for (uint32_t t = 0; t < h.track_count; ++t) {
    const uint32_t f = l->formats[t];
    j += Format("%s{\"id\":%u,\"sample_rate\":%u,\"channels\":%u,\"bits\":%u,\"kind\":\"%s\",\"buffer_size\":%u}",
                t ? "," : "", l->ids[t], TrackFormatRate(f), TrackFormatChannels(f), TrackFormatIs16Bit(f) ? 16 : 8,
                KindName(f), l->buffer_sizes[t]);
  }
  j += Format("],\"frame_count\":%u,\"index_frames\":%u,\"key_frames\":%u,\"all_key_frames\":%s,\"bad_frames\":%u",
              h.frame_count, h.index_frame_count, d.key_frames, d.peak.all_key_frames ? "true" : "false",
              d.bad_frames);
  j += Format(",\"largest_frame\":%u,\"biggest_indexed_frame\":%u", h.largest_frame, d.biggest);
  j += Format(",\"average_rate_bytes_per_s\":%u,\"average_frame_bytes\":%u", d.average_rate, d.average_frame);
  j += Format(",\"peak_rate_bytes_per_s\":%u,\"peak_frame\":%u,\"peak_window_frames\":%u", d.peak.bytes,
              d.peak.frame + 1, d.peak.window);
  return j;
}
