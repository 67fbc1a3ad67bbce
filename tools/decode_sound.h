// Sound of `vexa decode --wav`: the playback core feeds the instant memory
// output, and after each frame what it captured goes to one 16-bit WAV per
// track. The capture buffers are sized from each track's ring once the file
// is open, exist only when sound is asked for, and sound that could not be
// captured is an error, never dropped quietly.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sound/memory_output.h"

struct MediaFile;
struct WavStream;

struct DecodeSound {
  MemoryOutputConfig config{};  // handed to MediaSetSoundSystem before the open
  uint32_t count = 0;           // tracks written
  std::vector<uint8_t> capture[kMemoryOutputMaxTracks];
  uint64_t taken[kMemoryOutputMaxTracks] = {};  // committed bytes already seen
  WavStream* wav[kMemoryOutputMaxTracks] = {};
  bool eight_bit[kMemoryOutputMaxTracks] = {};
  std::string names[kMemoryOutputMaxTracks];
  std::vector<int16_t> widened;
  std::string error;  // the first failure
};

// Opens one WAV per opened track of `m`: `path` itself for one track,
// otherwise `path` with each identifier before the extension. False with
// the reason in sound->error.
bool DecodeSoundOpen(DecodeSound* sound, MediaFile* m, const char* path);
// Appends what was captured since the last call; false once anything failed.
bool DecodeSoundFlush(DecodeSound* sound);
// Finishes the WAV files; false with sound->error when anything failed.
bool DecodeSoundClose(DecodeSound* sound);
