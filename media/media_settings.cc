// Process-wide one-shot settings, consumed by the next open that asks for
// them, and the choice of sound output.
#include "media/media_settings.h"

#include <cstring>

#include "media/audio_service.h"
#include "media/media.h"

namespace {

MediaSettings g_settings = {-1, -1, 1, {0}, -1, -1, nullptr, nullptr, nullptr};

}  // namespace

MediaSettings* MediaProcessSettings() { return &g_settings; }

void MediaResetTrackSelection() {
  g_settings.track_count = 1;
  std::memset(g_settings.track_ids, 0, sizeof(g_settings.track_ids));
}

void MediaSetFrameRate(int32_t dividend, int32_t divisor) {
  g_settings.rate_dividend = dividend;
  g_settings.rate_divisor = divisor;
}

void MediaSetSoundTracks(uint32_t count, const uint32_t* identifiers) {
  if (count < 1 || !identifiers) {
    MediaResetTrackSelection();
    return;
  }
  if (count > kMaxSoundTracks) count = kMaxSoundTracks;
  g_settings.track_count = count;
  for (uint32_t i = 0; i < count; ++i) g_settings.track_ids[i] = identifiers[i];
}

void MediaSetReadBufferSize(int32_t bytes) { g_settings.read_buffer_size = bytes; }
void MediaSetSimulatedRate(int32_t bytes_per_second) { g_settings.simulated_rate = bytes_per_second; }
void MediaSetFileOpener(InputOpener opener) { g_settings.opener = opener; }

int MediaSetSoundSystem(SoundInitialiser initialiser, uintptr_t parameter) {
  if (!initialiser) return 0;
  // Once any track has been opened, the output may not change.
  if (g_settings.initialiser && g_settings.initialiser != initialiser && MediaTracksEverOpened() > 0) return 0;
  g_settings.initialiser = initialiser;
  SoundOpenOp open = initialiser(parameter);
  if (open) g_settings.sound_open = open;
  return g_settings.sound_open != nullptr;
}
