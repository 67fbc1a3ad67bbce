#include "tools/decode_sound.h"

#include "media/media.h"
#include "tools/audio_tracks.h"
#include "tools/tool_files.h"
#include "tools/wav_file.h"

namespace {

bool Fail(DecodeSound* s, const std::string& text) {
  if (s->error.empty()) s->error = text;
  return false;
}

}  // namespace

bool DecodeSoundOpen(DecodeSound* s, MediaFile* m, const char* path) {
  const uint32_t opened = MediaOpenedTrackCount(m);
  s->count = opened < kMemoryOutputMaxTracks ? opened : kMemoryOutputMaxTracks;
  if (!s->count) return Fail(s, "no sound track could be opened");
  if (s->count > 1 && IsStdStream(path))
    return Fail(s, std::to_string(s->count) + " sound tracks cannot share standard output; choose one with --track ID");
  for (uint32_t k = 0; k < s->count; ++k) {
    uint32_t id = 0;
    const TrackRecord& t = *MediaOpenedTrack(m, k, &id);
    MemoryOutputCapture& c = s->config.capture[k];
    // The core moves at most a ring's worth of sound a frame (the ring is
    // refilled once by the decode and emptied once by the next frame).
    s->capture[k].assign(size_t(t.ring_size) * 2 + 4096, 0);
    c.bytes = s->capture[k].data();
    c.capacity = uint32_t(s->capture[k].size());
    c.length = 0;
    s->taken[k] = c.total;  // anything committed so far was not captured
    if (c.total) return Fail(s, "sound of track " + std::to_string(id) + " arrived before it could be captured");
    s->names[k] = s->count == 1 ? std::string(path) : AudioTrackWavName(path, id);
    s->eight_bit[k] = t.bits_per_sample == 8;
    std::string error;
    s->wav[k] = WavStreamOpen(s->names[k].c_str(), t.sample_rate, t.channels, 16, &error);
    if (!s->wav[k]) return Fail(s, error);
  }
  return true;
}

// WAVs are 16-bit: an 8-bit output's bytes (the high byte plus 128) are
// widened back, which is exactly what 8 bits kept of the sound.
bool DecodeSoundFlush(DecodeSound* s) {
  for (uint32_t k = 0; k < s->count; ++k) {
    MemoryOutputCapture& c = s->config.capture[k];
    const uint64_t arrived = c.total - s->taken[k];
    s->taken[k] = c.total;
    if (arrived > c.length)
      Fail(s, "sound of " + s->names[k] + " lost: " + std::to_string(arrived) + " bytes arrived in one frame, room for " +
                  std::to_string(c.capacity));
    if (s->wav[k] && c.length) {
      bool written;
      if (s->eight_bit[k]) {
        s->widened.resize(c.length);
        for (uint32_t i = 0; i < c.length; ++i) s->widened[i] = int16_t((int(c.bytes[i]) - 128) * 256);
        written = WavStreamWrite(s->wav[k], s->widened.data(), s->widened.size() * 2);
      } else {
        written = WavStreamWrite(s->wav[k], c.bytes, c.length);
      }
      if (!written) Fail(s, WriteProblem(s->names[k].c_str()));
    }
    c.length = 0;
  }
  return s->error.empty();
}

bool DecodeSoundClose(DecodeSound* s) {
  for (uint32_t k = 0; k < s->count; ++k) {
    if (s->wav[k] && !WavStreamClose(s->wav[k])) Fail(s, WriteProblem(s->names[k].c_str()));
    s->wav[k] = nullptr;
    s->config.capture[k] = MemoryOutputCapture{};
    std::vector<uint8_t>().swap(s->capture[k]);
  }
  return s->error.empty();
}
