// Test clips made by our own encoders and container writer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ClipTrack {
  uint32_t id;
  uint32_t rate;
  uint32_t channels;
  bool dct;         // cosine-transform kind, else real DFT
  bool sixteen_bit;
  uint32_t buffer_size;  // 0: one second of 16-bit sound
};

struct ClipSpec {
  uint32_t width = 64;
  uint32_t height = 48;
  uint32_t frames = 10;
  uint32_t dividend = 30;
  uint32_t divisor = 1;
  uint32_t keyint = 0;  // 1: every frame a key frame; 0: only the first
  char revision = 'i';
  std::vector<ClipTrack> tracks;
  std::vector<uint32_t> silent_frames;  // frames whose packets are empty for every track
  std::vector<uint32_t> stub_frames;    // frames whose first track's packet is 2 bytes, too short to decode
};

// The whole media image. `pictures` (optional) receives for every frame the
// encoder's reconstruction, which the decoder must reproduce: the Y, chroma
// 1 and chroma 2 planes at their padded sizes, rows back to back.
std::vector<uint8_t> MakeClip(const ClipSpec& spec, std::vector<std::vector<uint8_t>>* pictures = nullptr);

struct MediaFile;
struct PlaybackSummary;
// Decodes and advances `frames` frames without waiting (a failed decode is
// a test failure and ends the run), then fills the summary.
void PlayFrames(MediaFile* m, uint32_t frames, PlaybackSummary* summary);

// Writes bytes to a temporary file (removed by the destructor), optionally
// behind a prefix of `prefix` bytes.
class ClipFile {
 public:
  explicit ClipFile(const std::vector<uint8_t>& bytes, uint32_t prefix = 0);
  ~ClipFile();
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};
