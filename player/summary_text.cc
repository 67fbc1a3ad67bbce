// The statistics line and the playback summary. Products are taken in 64
// bits so that long runs and large counters never wrap before the division.
#include "player/summary_text.h"

#include <cinttypes>
#include <cstdio>

const char kStatisticsSampleText[] =
    "Fre: 2000, FPS: 100.0, Buf: 100%, Vid: 55%, Aud: 55%, Blit: 55%, Read: 55%, Back: 55%, "
    "Rate: 1000000";

namespace {

const char kNotAvailable[] = "n/a";

// a * k / b in 64 bits; b = 0 never reaches here.
int64_t Scaled(uint64_t a, uint64_t k, uint64_t b) { return static_cast<int64_t>(a * k / b); }

// Tenths of a * k / b, or "n/a" when b is 0.
void TenthsOf(uint64_t a, uint64_t k, uint64_t b, char* out, size_t out_size) {
  if (b == 0) {
    std::snprintf(out, out_size, "%s", kNotAvailable);
    return;
  }
  FormatTenths(Scaled(a, k, b), out, out_size);
}

const char* Plural(uint64_t n) { return n == 1 ? "" : "s"; }

}  // namespace

void FormatTenths(int64_t tenths, char* out, size_t out_size) {
  const char* sign = tenths < 0 ? "-" : "";
  uint64_t magnitude = tenths < 0 ? 0 - static_cast<uint64_t>(tenths) : static_cast<uint64_t>(tenths);
  std::snprintf(out, out_size, "%s%" PRIu64 ".%" PRIu64, sign, magnitude / 10, magnitude % 10);
}

void FormatDuration(uint32_t ms, char* out, size_t out_size) {
  if (ms < 1000) {
    std::snprintf(out, out_size, "%u millisecond%s", ms, Plural(ms));
  } else if (ms < 60000) {
    uint32_t s = ms / 1000;
    std::snprintf(out, out_size, "%u second%s", s, Plural(s));
  } else if (ms < 3600000) {
    uint32_t m = ms / 60000;
    uint32_t s = (ms % 60000) / 1000;
    std::snprintf(out, out_size, "%u minute%s %u second%s", m, Plural(m), s, Plural(s));
  } else {
    uint32_t h = ms / 3600000;
    uint32_t m = (ms % 3600000) / 60000;
    std::snprintf(out, out_size, "%u hour%s %u minute%s", h, Plural(h), m, Plural(m));
  }
}

void FormatStatisticsLine(const RealtimeStats& stats, char* out, size_t out_size) {
  const uint32_t* w = stats.word;
  uint64_t span = w[4] != 0 ? w[4] : 1;
  uint64_t tenths = static_cast<uint64_t>(w[3]) * 10000 / span;
  uint64_t buffer = ((static_cast<uint64_t>(w[12]) + 1) * 1000 / (static_cast<uint64_t>(w[11]) + 1) + 5) / 10;
  uint64_t video = w[5] * 100ull / span;
  uint64_t audio = w[6] * 100ull / span;
  uint64_t blit = w[10] * 100ull / span;
  uint64_t read = (static_cast<uint64_t>(w[7]) + w[8]) * 100 / span;
  uint64_t back = w[9] * 100ull / span;
  std::snprintf(out, out_size,
                "Fr: %u, FPS: %" PRIu64 ".%" PRIu64 ", Buf: %" PRIu64 "%%, Vid: %" PRIu64
                "%%, Aud: %" PRIu64 "%%, Blit: %" PRIu64 "%%, Read: %" PRIu64 "%%, Back: %" PRIu64
                "%%, Rate: %u",
                w[0], tenths / 10, tenths % 10, buffer, video, audio, blit, read, back, w[13]);
}

bool BuildSummaryText(const PlaybackSummary& summary, const SummaryDisplay& display, char* out,
                      size_t out_size) {
  if (out_size == 0) return false;
  out[0] = 0;
  const uint32_t* w = summary.word;
  if (w[9] == 0) return false;

  char file_rate[32], played_rate[48], obtained[32], shares[6][32];
  char playback_time[64], open_time[64], slowest[32], second_rate[32], second_line[96];
  TenthsOf(w[3], 10, w[4], file_rate, sizeof(file_rate));
  if (w[5] != 0 && w[6] != 0) {
    char tenths[32];
    FormatTenths(Scaled(w[5], 10, w[6]), tenths, sizeof(tenths));
    std::snprintf(played_rate, sizeof(played_rate), "%s frames/sec", tenths);
  } else {
    std::snprintf(played_rate, sizeof(played_rate), "As fast as possible");
  }
  TenthsOf(w[9], 10000, w[2], obtained, sizeof(obtained));
  const int share_words[6] = {15, 16, 13, 14, 17, 18};
  for (int i = 0; i < 6; ++i) TenthsOf(w[share_words[i]], 1000, w[2], shares[i], sizeof(shares[i]));
  FormatDuration(w[2], playback_time, sizeof(playback_time));
  FormatDuration(w[7], open_time, sizeof(open_time));
  FormatTenths(10000 / (w[20] > 1 ? w[20] : 1), slowest, sizeof(slowest));
  second_line[0] = 0;
  if (w[9] > 1) {
    FormatTenths(10000 / (w[21] > 1 ? w[21] : 1), second_rate, sizeof(second_rate));
    std::snprintf(second_line, sizeof(second_line), "Second slowest frame: %u (%s frames/sec)\n",
                  w[23], second_rate);
  }
  const char* style = display.style_name ? display.style_name : "none";
  std::snprintf(
      out, out_size,
      "Video: %u x %u at %s frames/sec\nTotal frames: %u\n\nTotal frames played: %u\n"
      "Frame rate played: %s\nFrame rate obtained: %s frames/sec\nSkipped frames: %u\n"
      "Skipped blits: %u\nSound skips: %u\n\nPercentage spent decompressing video: %s\n"
      "Percentage spent decompressing audio: %s\nPercentage spent blitting: %s\n"
      "Percentage spent reading: %s\nPercentage spent reading while idle: %s\n"
      "Percentage spent reading in background: %s\nSpeed of playback device: %u bytes/sec\n\n"
      "Total playback time: %s\nTotal open time: %s\nSlowest frame: %u (%s frames/sec)\n%s\n"
      "Average data rate: %u\nAverage frame size: %u\nPeak data rate: %u bytes/sec (frame: %u)\n\n"
      "Total memory used: %u\nTotal input memory: %u\nHighest input memory used: %u\n\n"
      "Blitting style: %s\nVideo mode: %i x %i at %i bits\n",
      w[0], w[1], file_rate, w[8], w[9], played_rate, obtained, w[10], w[11], w[12], shares[0],
      shares[1], shares[2], shares[3], shares[4], shares[5], w[19], playback_time, open_time, w[22],
      slowest, second_line, w[24], w[25], w[29], w[30], w[26], w[27], w[28], style,
      display.style_name ? display.screen_width : 0, display.style_name ? display.screen_height : 0,
      display.style_name ? display.screen_bits : 0);
  return true;
}
