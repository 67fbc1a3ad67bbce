// The SDL2 backend's display service tables (display/display_driver.h) and
// what they share: the handles behind display/'s opaque ones, the window
// the screen's pixels are shown in, and pixel conversions.
#pragma once
#include <cstdint>

#include "display/display_driver.h"
#include "platform/sdl/sdl_display.h"

extern const ScreenServices kSdlScreenServices;
extern const GdiServices kSdlGdiServices;
extern const DirectDrawServices kSdlDirectDrawServices;

inline SdlWindow* SdlWindowOf(PlatformWindow* window) { return reinterpret_cast<SdlWindow*>(window); }
inline PlatformWindow* SdlPlatformWindow(SdlWindow* window) { return reinterpret_cast<PlatformWindow*>(window); }

// The window that shows the screen's pixels: the one DirectDraw was given,
// else the last window drawn into; null when there is none.
SdlWindow* SdlShowingWindow();
void SdlSetShowingWindow(SdlWindow* window);
// Presents every window drawn into since its last present.
void SdlDisplayFlush();

// 0xRRGGBB from a pixel value of an RGB SDL format, and back.
uint32_t SdlPixelToRgb(uint32_t sdl_format, uint32_t pixel);
uint32_t SdlRgbToPixel(uint32_t sdl_format, uint32_t rgb);
// GDI colours are 0x00BBGGRR.
inline uint32_t SdlRgbOfColourRef(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
inline uint32_t SdlColourRefOfRgb(uint32_t c) { return SdlRgbOfColourRef(c); }
