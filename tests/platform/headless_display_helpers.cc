#include "tests/platform/headless_display_helpers.h"

#include <cstddef>

#include "base/cpu_features.h"
#include "display/converter.h"
#include "display/copy_flags.h"
#include "display/ddraw_services.h"

CopyPlanes Picture::Planes() const {
  CopyPlanes c{};
  c.y = y.data();
  c.y_pitch = int32_t(width);
  c.chroma1 = v.data();
  c.chroma1_pitch = int32_t((width + 1) / 2);
  c.chroma2 = u.data();
  c.chroma2_pitch = int32_t((width + 1) / 2);
  c.width = width;
  c.height = height;
  return c;
}

Picture MakePicture(uint32_t width, uint32_t height, uint32_t seed) {
  Picture p{width, height, {}, {}, {}};
  uint32_t s = seed * 2654435761u + 1;
  auto next = [&s] {
    s = s * 1664525u + 1013904223u;
    return uint8_t(s >> 24);
  };
  p.y.resize(size_t(width) * height);
  size_t chroma = size_t((width + 1) / 2) * ((height + 1) / 2);
  p.v.resize(chroma);
  p.u.resize(chroma);
  for (auto& b : p.y) b = next();
  for (auto& b : p.v) b = next();
  for (auto& b : p.u) b = next();
  return p;
}

HeadlessDisplayConfig FullConfig(uint32_t bits, bool rgb555) {
  HeadlessDisplayConfig c;
  c.width = 640;
  c.height = 480;
  c.bits_per_pixel = bits;
  c.rgb555 = rgb555;
  c.fx_caps = DDFXCAPS_OVERLAYSTRETCHX | DDFXCAPS_OVERLAYSTRETCHY | DDFXCAPS_OVERLAYSHRINKX |
              DDFXCAPS_OVERLAYSHRINKY | DDFXCAPS_BLTSTRETCHX | DDFXCAPS_BLTSTRETCHY | DDFXCAPS_BLTSHRINKX |
              DDFXCAPS_BLTSHRINKY;
  c.overlay_fourccs = kHeadlessAllFourCCs;
  c.offscreen_fourccs = kHeadlessAllFourCCs;
  c.cursor_x = 630;  // out of the pictures' way
  c.cursor_y = 470;
  return c;
}

uint32_t TypeBytes(uint32_t type) {
  if (type == SURFACE_RGB332) return 1;
  if (type <= SURFACE_RGB24) return 3;
  if (type <= SURFACE_ABGR32) return 4;
  return 2;
}

std::vector<uint8_t> ConvertToMemory(const Picture& p, uint32_t type, int32_t pitch) {
  if (!pitch) pitch = int32_t(p.width * TypeBytes(type));
  std::vector<uint8_t> out(size_t(pitch) * p.height, 0);
  CopyPictureToSurface(p.Planes(), out.data(), pitch, p.height, 0, 0, CopyRect{0, 0, p.width, p.height}, type,
                       false, UsableFeatures());
  return out;
}

bool ShowPicture(DisplayBuffer* b, const Picture& p) {
  if (!DisplayBufferLock(b)) return false;
  uint32_t rows = b->height;
  if (b->style == 1) rows = b->screen_height - uint32_t(b->screen_y);
  CopyPictureToSurface(p.Planes(), b->surface, b->pitch, rows, 0, 0, CopyRect{0, 0, p.width, p.height},
                       b->surface_word, false, UsableFeatures());
  DisplayBufferUnlock(b);
  DisplayBufferBlit(b, nullptr, 1);
  return true;
}
