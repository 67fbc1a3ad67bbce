// The headless display: a screen that is a framebuffer in memory, windows
// that are rectangles on it, a configurable DirectDraw and a software
// cursor option, so every display path runs in tests and batch use.
//
// HeadlessDisplayInstall(&config) builds the screen and registers the
// headless display driver (display/display_driver.h). What the window
// shows is composed on request (HeadlessReadClient, HeadlessSaveClientPng):
// the screen's pixels, with every shown overlay drawn over its destination
// wherever the screen holds the overlay's key colour.
//
// Windows have a fixed frame: kHeadlessFrameSide pixels left, right and
// below the client area, kHeadlessFrameTop above it (title bar); a window
// created without a frame has none.
#pragma once
#include <cstdint>
#include <vector>

#include "display/display_driver.h"

inline constexpr int32_t kHeadlessFrameSide = 4;
inline constexpr int32_t kHeadlessFrameTop = 24;

// Bits of HeadlessDisplayConfig::*_fourccs.
inline constexpr uint32_t kHeadlessYV12 = 1, kHeadlessYUY2 = 2, kHeadlessUYVY = 4;
inline constexpr uint32_t kHeadlessAllFourCCs = 7;

struct HeadlessDisplayMode {
  uint32_t width, height, bits_per_pixel;
};

struct HeadlessDisplayConfig {
  uint32_t width = 1024, height = 768;
  uint32_t bits_per_pixel = 32;    // 8, 16, 24 or 32
  bool rgb555 = false;             // 16 bits: 5-5-5 instead of 5-6-5
  // DirectDraw.
  bool ddraw = true;               // false: the machine has none
  bool ddraw_create_fails = false; // present, but opening it fails
  uint32_t fx_caps = 0;            // driver FX capabilities (DDFXCAPS_*)
  uint32_t overlay_fourccs = 0;    // FourCCs overlays may take (0: no overlays)
  uint32_t offscreen_fourccs = 0;  // FourCCs off-screen surfaces may take
  bool offscreen_rgb = true;       // RGB off-screen surfaces
  bool primary_cant_lock = false;  // a primary lock reports DDERR_CANTLOCKSURFACE
  bool restore_fails = false;      // Restore of a lost surface fails
  // Display modes DirectDraw and GDI can set (besides the starting one).
  std::vector<HeadlessDisplayMode> modes;
  // Nonzero: a GDI mode change with a depth ends at this depth instead.
  uint32_t gdi_forced_depth = 0;
  // GDI.
  bool dib_fails = false;          // CreateDIBSection fails
  // Cursor.
  bool mouse = true;
  bool software_cursor = false;    // the cursor is drawn into the screen's memory
  int32_t cursor_width = 32, cursor_height = 32;
  int32_t cursor_x = 0, cursor_y = 0;
};

// Builds the screen (black, cursor shown at its position), forgets every
// earlier window and surface, and registers the headless driver.
void HeadlessDisplayInstall(const HeadlessDisplayConfig& config);
// The driver HeadlessDisplayInstall registers.
const DisplayDriver* HeadlessDisplayDriver();

// Windows. (x, y) is the window's top-left corner on the screen, the client
// area is client_width x client_height inside the frame.
PlatformWindow* HeadlessWindowCreate(int32_t x, int32_t y, int32_t client_width, int32_t client_height,
                                     bool framed);
void HeadlessWindowDestroy(PlatformWindow* window);
void HeadlessWindowMove(PlatformWindow* window, int32_t x, int32_t y);
void HeadlessWindowResizeClient(PlatformWindow* window, int32_t client_width, int32_t client_height);
void HeadlessWindowSetMinimised(PlatformWindow* window, bool minimised);
void HeadlessWindowSetVisible(PlatformWindow* window, bool visible);

// Cursor.
void HeadlessSetCursorPos(int32_t x, int32_t y);
int32_t HeadlessCursorCount();
// The class cursor of new windows (a shape of its own per call).
PlatformCursor* HeadlessNewCursor();

// Faults: every surface (the primary too) reports lost until restored.
void HeadlessLoseSurfaces();

// What the screen holds now.
struct HeadlessScreenInfo {
  uint32_t width, height, bits_per_pixel;
  int32_t pitch;
  uint8_t* pixels;
  uint32_t set_display_mode_calls;   // DirectDraw mode changes that succeeded
  uint32_t change_settings_calls;    // GDI ChangeDisplaySettings calls (all)
  uint32_t ddraw_objects_created;
  uint32_t ddraw_objects_open;
  uint32_t surfaces_open;            // surfaces not released (primary included)
};
HeadlessScreenInfo HeadlessScreen();

// The composed screen as 0x00RRGGBB words, for a rectangle of the screen
// (clipped to it; outside pixels are 0).
std::vector<uint32_t> HeadlessReadScreen(int32_t x, int32_t y, uint32_t width, uint32_t height);
// The window's client area, composed, as 0x00RRGGBB words.
std::vector<uint32_t> HeadlessReadClient(PlatformWindow* window);
// Saves the client area as an 8-bit RGB PNG; false when it cannot be written.
bool HeadlessSaveClientPng(PlatformWindow* window, const char* path);
