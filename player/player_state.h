// The player's process-wide state, shared by the driver (player_main.cc),
// the window procedure (window_proc.cc) and the reports. One thread uses it.
#pragma once
#include <cstdint>

#include "base/file.h"
#include "display/display_buffer.h"
#include "media/media.h"
#include "player/layout.h"
#include "player/screen_saver.h"
#include "player/switches.h"

// Quit states.
inline constexpr int kQuitNone = 0;
inline constexpr int kQuitRequested = 1;
inline constexpr int kQuitDuringLogo = 2;

struct PlayerState {
  ParsedSwitches sw;
  SwitchText list;        // file names still to play
  SwitchText saved_list;  // the whole list, for playing it again
  PlatformWindow* window;
  MediaFile* media;
  DisplayBuffer* buffer;
  DisplayBuffer* previous_buffer;
  PlatformFile file;  // an appended or offset source's file; kNoFile when none
  int32_t list_loops;
  int32_t file_loops;
  int32_t user_pause;  // 0, or all bits set
  bool window_active;
  int quit;
  bool end_of_file;
  bool destroying;
  bool logo_showing;
  uint32_t logo_deadline;
  bool holding;  // a one-frame clip is held until hold_until
  uint32_t hold_until;
  bool no_paint_yet;
  int32_t x, y;  // the picture's offset in the client area (or the window's corner before placing)
  PlaybackSummary summary;
  StatisticsRect statistics;
  int32_t saver_mode;
  uint32_t preview_stamp;
  SaverMouse mouse;
};

PlayerState* Player();

// Window procedure, painting, the common quit path (window_proc.cc).
intptr_t PlayerWindowProc(PlatformWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam);
void PaintWindow(PlatformWindow* window);
int RequestQuit();

// Shows the frame now in the media and advances (player_main.cc).
void ShowNextFrame(PlatformWindow* window);
void ShowClosingLogo(PlatformWindow* window);
// Sizes and places the window, reserving the statistics line under /Q.
void PlaceWindow(int32_t width, PlatformWindow* window, int32_t x, int32_t y, int32_t height);
// Draws the statistics line (/Q).
void DrawStatisticsLine(PlatformWindow* window);

// The home page the logo opens, and the version-check page.
extern const char kHomePageUrl[];
extern const char kVersionCheckUrl[];
