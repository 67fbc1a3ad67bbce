// WAV files for the tools: reading 8- or 16-bit PCM, mono or stereo, at
// 8000 to 48000 Hz, and writing 16-bit PCM.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct WavAudio {
  uint32_t rate = 0;
  uint32_t channels = 0;
  uint32_t bits = 0;             // as stored: 8 or 16
  std::vector<int16_t> samples;  // interleaved; 8-bit input widened to 16
};

// Reads `path` ("-": standard input); false with a message in *error for anything else than the
// supported PCM layouts or a damaged file. Chunks other than "fmt " and
// "data" are skipped; a data chunk that claims more than the file holds is
// taken as far as the file goes.
bool WavRead(const char* path, WavAudio* out, std::string* error);
bool WavParse(const uint8_t* bytes, size_t size, WavAudio* out, std::string* error);

// Writes 16-bit PCM; false when the file cannot be written.
bool WavWrite(const char* path, uint32_t rate, uint32_t channels, const int16_t* samples, size_t count);
// The file's bytes.
std::vector<uint8_t> WavBytes(uint32_t rate, uint32_t channels, const int16_t* samples, size_t count);

// A WAV file written as the sound arrives: 8- or 16-bit PCM; the sizes in
// the header are filled in at close. "-" writes to standard output; through
// a pipe the sizes stay all ones ("to the end of the stream"). Null with
// the reason in *error (when given) if the file cannot be created.
struct WavStream;
WavStream* WavStreamOpen(const char* path, uint32_t rate, uint32_t channels, uint32_t bits,
                         std::string* error = nullptr);
bool WavStreamWrite(WavStream* w, const void* bytes, size_t size);
// Finishes the header and closes; false when anything could not be written.
// Null does nothing and succeeds.
bool WavStreamClose(WavStream* w);
