// Shared pieces of the display tests on the headless screen: a decoded
// picture, screen configurations, and copying the picture through a buffer.
#pragma once
#include <cstdint>
#include <vector>

#include "display/copy_walk.h"
#include "display/display_buffer.h"
#include "platform/headless/headless_display.h"

// A pseudo-random 4:2:0 picture.
struct Picture {
  uint32_t width, height;
  std::vector<uint8_t> y, v, u;
  CopyPlanes Planes() const;
};
Picture MakePicture(uint32_t width, uint32_t height, uint32_t seed);

// A screen of the given depth with DirectDraw offering every FourCC for
// overlays and off-screen surfaces and full scaling.
HeadlessDisplayConfig FullConfig(uint32_t bits, bool rgb555 = false);

// The picture converted into memory as surface type `type`, rows of
// `pitch` bytes (0: packed).
std::vector<uint8_t> ConvertToMemory(const Picture& p, uint32_t type, int32_t pitch);

// Lock, copy the whole picture, unlock, blit everything; false when the lock fails.
bool ShowPicture(DisplayBuffer* b, const Picture& p);

// Bytes per pixel of an RGB surface type.
uint32_t TypeBytes(uint32_t type);
