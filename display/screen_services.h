// The screen and window facts the display needs: screen metrics, the mouse
// cursor (display count, position, shape), a window's geometry, the GDI
// display-mode change, and the small probe window of the cursor test.
//
// Creating the player's window, its messages, message boxes and URLs belong
// to the player's window table (player/), which fills in PlatformWindow
// handles these services accept.
#pragma once
#include <cstdint>

#include "display/display_types.h"

// GetSystemMetrics indices.
inline constexpr int32_t SM_CXSCREEN = 0;
inline constexpr int32_t SM_CYSCREEN = 1;
inline constexpr int32_t SM_CXCURSOR = 13;
inline constexpr int32_t SM_CYCURSOR = 14;
inline constexpr int32_t SM_MOUSEPRESENT = 19;

// ChangeDisplaySettings.
inline constexpr uint32_t DM_BITSPERPEL = 0x40000u;
inline constexpr uint32_t DM_PELSWIDTH = 0x80000u;
inline constexpr uint32_t DM_PELSHEIGHT = 0x100000u;
inline constexpr uint32_t CDS_FULLSCREEN = 0x4u;
inline constexpr int32_t DISP_CHANGE_SUCCESSFUL = 0;
inline constexpr int32_t DISP_CHANGE_FAILED = -1;
inline constexpr int32_t DISP_CHANGE_BADMODE = -2;

struct DevMode {
  uint32_t fields;  // DM_* bits saying which of the values below to set
  uint32_t bits_per_pel;
  uint32_t pels_width;
  uint32_t pels_height;
};

struct ScreenServices {
  int32_t (*GetSystemMetrics)(int32_t index);
  // Null mode: back to the mode of the user's settings.
  int32_t (*ChangeDisplaySettings)(const DevMode* mode, uint32_t flags);

  // Cursor. ShowCursor adds 1 (show) or -1 and returns the new display
  // count; the cursor is drawn while the count is 0 or more.
  int32_t (*ShowCursor)(int show);
  int (*GetCursorPos)(DisplayPoint* point);
  // Sets the cursor's shape (null: none) and returns the previous one.
  PlatformCursor* (*SetCursor)(PlatformCursor* cursor);
  // The cursor shape of the window's class.
  PlatformCursor* (*GetWindowCursor)(PlatformWindow* window);

  // Window geometry, in screen coordinates for the window rectangle and in
  // client coordinates (origin 0, 0) for the client rectangle.
  int (*GetWindowRect)(PlatformWindow* window, DisplayRect* rect);
  int (*GetClientRect)(PlatformWindow* window, DisplayRect* rect);
  int (*ClientToScreen)(PlatformWindow* window, DisplayPoint* point);
  int (*IsIconic)(PlatformWindow* window);
  int (*IsWindowVisible)(PlatformWindow* window);

  // The cursor probe's window: a visible, topmost pop-up over rect (screen
  // coordinates) with the given cursor shape, shown before this returns,
  // that draws nothing itself. Null when it cannot be made.
  PlatformWindow* (*CreateProbeWindow)(const DisplayRect* rect, PlatformCursor* cursor);
  void (*DestroyProbeWindow)(PlatformWindow* window);
};
