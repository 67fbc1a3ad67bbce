// Still-image and raw-surface output of decoded frames for `vexa decode`:
// each picture goes through the display converters exactly as playback
// would put it on a surface (display mode, grayscale, swapped chroma), then
// into a PNG file per frame and/or one raw file of surface bytes.
#pragma once
#include <cstdint>

struct FrameBuffers;

struct ImageOutputSettings {
  // File name pattern with one integer conversion for the 1-based frame
  // number ("frame%04d.png"); null for no PNG output.
  const char* png_pattern = nullptr;
  // One file receiving every frame's surface bytes back to back; null for none.
  const char* raw_path = nullptr;
  uint32_t surface_type = 3;  // of the raw output, 0-15
};

struct ImageOutput;

// Prepares the outputs for pictures of width x height. open_flags: the open
// flags the frames are decoded with (display mode, grayscale, swapped chroma,
// alpha). Null with ImageOutputError() set when the settings are unusable or
// the raw file cannot be created.
ImageOutput* ImageOutputOpen(const ImageOutputSettings& settings, uint32_t width, uint32_t height,
                             uint32_t open_flags);
// Converts the current picture of fb and writes it as frame `frame_number`.
bool ImageOutputWriteFrame(ImageOutput* out, const FrameBuffers* fb, uint32_t frame_number);
// Closes the outputs; false when a write failed. Null does nothing.
bool ImageOutputClose(ImageOutput* out);
const char* ImageOutputError();

// Parses a surface type code "0".."15"; false for anything else.
bool ParseSurfaceType(const char* text, uint32_t* type);
// Size of the converted picture: the display mode doubles the width (modes
// 3-5) and the height (modes 1, 2, 4, 5).
void ImageOutputSize(uint32_t width, uint32_t height, uint32_t open_flags, uint32_t* out_width,
                     uint32_t* out_height);
// Formats a PNG name pattern with a frame number: the pattern must hold
// exactly one %d, %i or %u (with optional 0 flag and width) and may hold %%.
// False when the pattern is unusable or the name would not fit `size` bytes.
bool FormatFrameName(const char* pattern, uint32_t frame, char* name, uint32_t size);
