// Plays a file through the playback core as fast as it goes, without a
// display, sound going to the instant memory output; prints the playback
// summary. For `vexa info --summary`.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/file_description.h"

struct PlaySummaryOptions {
  bool json = false;
  bool preload = false;    // OPEN_PRELOAD
  bool no_thread = false;  // OPEN_NO_THREAD
  uint32_t loops = 1;
};

// Plays `path`, or `image` when it is not null (standard input read whole);
// `layout` and `description` are the file's, printed with the counters.
// Returns the exit code: 0; 1 when the file cannot be opened; 3 when fewer
// frames were delivered than the file promises.
int PlaySummary(const char* path, const std::vector<uint8_t>* image, const ContainerLayout* layout,
                const FileDescription& description, const PlaySummaryOptions& options);
