// Decoded frames for the backends' tests: a clip of the built-in test
// picture made by our encoder, opened and decoded by the playback core.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct MediaFile;

struct DecodedClip {
  std::vector<uint8_t> image;  // the media image (kept while the file is open)
  MediaFile* media = nullptr;
  uint32_t width = 0, height = 0;
  ~DecodedClip();
};

// Makes and opens a width x height clip of `frames` frames and decodes the
// first; false (with a test failure) when any step fails.
bool OpenDecodedClip(DecodedClip* clip, uint32_t width, uint32_t height, uint32_t frames = 2);
// Moves to and decodes the next frame.
bool DecodeNextFrame(DecodedClip* clip);
// Converts the decoded frame into a surface of the given type (all of it).
void CopyDecodedFrame(DecodedClip* clip, uint8_t* dest, int32_t pitch, uint32_t dest_height, uint32_t type,
                      uint32_t dest_x = 0, uint32_t dest_y = 0);
// The decoded frame as 0xXXRRGGBB pixels, by our own converter.
std::vector<uint32_t> ExpectedPixels(DecodedClip* clip);

// A PNG picture read back as 3 bytes a pixel (R, G, B).
struct RgbPicture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
};
bool ReadPngPicture(const std::string& path, RgbPicture* out);
