// Plays a file through the playback core as fast as it goes, without a
// display, sound going to the instant memory output; prints the playback
// summary. For `vexa info --summary`.
#pragma once
#include <cstdint>

struct PlaySummaryOptions {
  bool json = false;
  bool preload = false;    // OPEN_PRELOAD
  bool no_thread = false;  // OPEN_NO_THREAD
  uint32_t loops = 1;
};

// Returns the exit code: 0, or 1 when the file cannot be opened.
int PlaySummary(const char* path, const PlaySummaryOptions& options);
