// The process-wide settings the next open consumes.
#pragma once
#include <cstdint>

#include "media/input_reader.h"
#include "media/media_file.h"
#include "sound/track_record.h"

struct MediaSettings {
  int32_t rate_dividend;  // -1: unset
  int32_t rate_divisor;
  uint32_t track_count;   // 1 to 8
  uint32_t track_ids[kMaxSoundTracks];
  int32_t read_buffer_size;  // -1: unset
  int32_t simulated_rate;    // -1: unset
  InputOpener opener;        // replacement opener, or null
  SoundInitialiser initialiser;
  SoundOpenOp sound_open;    // the chosen output's track-open operation
};

MediaSettings* MediaProcessSettings();
// Back to one track with identifier 0.
void MediaResetTrackSelection();
