// The display state every open display buffer shares: DirectDraw with its
// primary surface, a GDI display-mode change, the facts about the screen,
// the overlay colour key and the cursor services of the primary style.
//
// Two reference counts: DirectDraw (opened with an exclusive full-screen
// level when a mode change is asked for) and the GDI mode change (used when
// DirectDraw is not open). Single-threaded: the player's thread only.
#pragma once
#include <cstdint>

#include "display/display_driver.h"
#include "display/display_flags.h"

struct DisplayShared {
  DDObject* ddraw;         // null while DirectDraw is not open
  DDSurface* primary;      // the primary surface while DirectDraw is open
  int32_t ddraw_references;
  int32_t ddraw_unavailable;  // the driver has no DirectDraw (remembered)
  uint32_t driver_generation;  // the registration the facts are about
  uint32_t overlay_caps;   // capability bits (SCALE_* layout)
  uint32_t blit_caps;
  uint32_t bytes_per_pixel;
  uint32_t screen_width, screen_height, screen_bits;
  uint32_t colour_key;
  int32_t mode_references;
  int32_t mode_changed;    // the GDI path changed the mode
  DisplayRequest request;  // used once
  // The cursor probe's last answer and what it was measured for.
  int32_t probe_valid;
  int32_t probe_result;
  PlatformCursor* probe_cursor;
  const uint8_t* probe_pointer;
  uint32_t probe_bits;
  int32_t cursor_width, cursor_height;  // 0 until read
};

// The shared state (read by the display buffer).
DisplayShared* DisplaySharedState();
// Sets the requested full-screen mode; the next acquire that changes the
// mode uses it once.
void DisplaySetRequest(const DisplayRequest& request);

// Opens DirectDraw or adds a reference. DirectDraw stays closed (ddraw
// null) when the driver has none or it cannot be opened.
void DirectDrawAcquire(int change_mode, PlatformWindow* window);
void DirectDrawRelease();
// 1 when it took a GDI display-mode reference; 0 when DirectDraw is open.
int DisplayModeAcquire(PlatformWindow* window, int change_mode);
void DisplayModeRelease();

// 1 when the cursor is drawn into the primary surface's memory (so direct
// writes under it must hide it first), 0 otherwise.
int ProbeSoftwareCursor(DDSurface* primary, PlatformCursor* cursor);
// Hides the cursor when it overlaps the rectangle (client coordinates of
// window, or screen coordinates with none); returns how many times it was
// hidden, for the caller to show it that many times again.
int HideCursorOver(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height);

// The depth candidates of a depth code, in order; returns their count
// (0 for an unknown code).
uint32_t DepthCandidates(int32_t depth_code, uint32_t out[3]);
// Capability bits from the driver's FX capabilities.
uint32_t OverlayCapsFromFx(uint32_t fx_caps);
uint32_t BlitCapsFromFx(uint32_t fx_caps);
// The overlay key colour for a screen of this format.
uint32_t ColourKeyOf(const DDPixelFormat& format);
