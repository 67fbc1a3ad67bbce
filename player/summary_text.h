// The two reports of the playback counters: the live statistics line drawn
// above the picture (/Q) and the summary shown when the player ends (/S).
// Both are built from the core's records into caller-owned text; drawing
// and showing them is the driver's business.
#pragma once
#include <cstddef>
#include <cstdint>

#include "media/media.h"

// Text of tenths: v / 10, ".", v % 10 ("30.0", "-1.5").
void FormatTenths(int64_t tenths, char* out, size_t out_size);

// A duration in words: "1 millisecond", "59 seconds", "1 minute 0 seconds",
// "2 hours 1 minute".
void FormatDuration(uint32_t milliseconds, char* out, size_t out_size);

// The widest statistics line the window must leave room for.
extern const char kStatisticsSampleText[];

// The statistics line of the last frames ("Fr: 12, FPS: 29.9, Buf: 100%,
// ..."). A zero time span (word 4) counts as one millisecond.
void FormatStatisticsLine(const RealtimeStats& stats, char* out, size_t out_size);

// What the summary says about the display at the end of the run.
struct SummaryDisplay {
  const char* style_name;  // null: no display buffer was open
  int32_t screen_width;
  int32_t screen_height;
  int32_t screen_bits;
};

// Capacity of the summary text.
inline constexpr size_t kSummaryTextSize = 2048;

// Builds the summary of the last file played into out. Returns false, with
// out empty, when no frame was played (nothing to show). Rates and shares
// that would divide by a zero playback time print "n/a".
bool BuildSummaryText(const PlaybackSummary& summary, const SummaryDisplay& display, char* out,
                      size_t out_size);
