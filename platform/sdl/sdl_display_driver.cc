#include "platform/sdl/sdl_display_driver.h"

#include <SDL2/SDL.h>

#include "platform/sdl/sdl_display_services.h"
#include "platform/sdl/sdl_text.h"

namespace {

const DisplayDriver kSdlDriver = {"sdl", &kSdlScreenServices, &kSdlGdiServices, &kSdlDirectDrawServices};
SdlWindow* g_showing = nullptr;
bool g_registered = false;

// The value of a channel of `mask` at 8 bits, and back.
uint32_t Expand(uint32_t pixel, uint32_t mask) {
  if (!mask) return 0;
  uint32_t shift = __builtin_ctz(mask), top = mask >> shift;
  return ((pixel & mask) >> shift) * 255u / top;
}
uint32_t Reduce(uint32_t value, uint32_t mask) {
  if (!mask) return 0;
  uint32_t shift = __builtin_ctz(mask), top = mask >> shift;
  return ((value * top + 127u) / 255u) << shift;
}

}  // namespace

SdlWindow* SdlShowingWindow() {
  if (g_showing) {
    // Still alive?
    for (int i = 0; SdlWindow* w = SdlWindowAt(i); ++i)
      if (w == g_showing) return w;
    g_showing = nullptr;
  }
  return nullptr;
}

void SdlSetShowingWindow(SdlWindow* window) { g_showing = window; }

void SdlDisplayFlush() {
  for (int i = 0; SdlWindow* w = SdlWindowAt(i); ++i)
    if (w->screen) SdlScreenFlush(w->screen);
}

uint32_t SdlPixelToRgb(uint32_t sdl_format, uint32_t pixel) {
  int bpp = 0;
  uint32_t r = 0, g = 0, b = 0, a = 0;
  SDL_PixelFormatEnumToMasks(sdl_format, &bpp, &r, &g, &b, &a);
  return (Expand(pixel, r) << 16) | (Expand(pixel, g) << 8) | Expand(pixel, b);
}

uint32_t SdlRgbToPixel(uint32_t sdl_format, uint32_t rgb) {
  int bpp = 0;
  uint32_t r = 0, g = 0, b = 0, a = 0;
  SDL_PixelFormatEnumToMasks(sdl_format, &bpp, &r, &g, &b, &a);
  return Reduce(rgb >> 16 & 0xFF, r) | Reduce(rgb >> 8 & 0xFF, g) | Reduce(rgb & 0xFF, b);
}

bool SdlDisplayRegister() {
  if (g_registered) return true;
  if (!SdlVideoStart()) return false;
  DisplayRegisterDriver(&kSdlDriver);
  g_registered = true;
  return true;
}

void SdlDisplayUnregister() {
  if (!g_registered) return;
  if (DisplayGetDriver() == &kSdlDriver) DisplayRegisterDriver(nullptr);
  g_registered = false;
  g_showing = nullptr;
  SdlTextStop();
  SdlVideoStop();
}

PlatformWindow* SdlDisplayWindowHandle(SdlWindow* window) { return SdlPlatformWindow(window); }

void SdlDisplayPresent() { SdlDisplayFlush(); }
