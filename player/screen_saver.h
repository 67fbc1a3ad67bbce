// Running as a screen saver: recognising the saver's file name, the mouse
// jitter rule that ends a full-screen saver, and the password check.
#pragma once
#include <cstdint>

// True when the program's file name ends in "scr" (any case; one trailing
// double quote ignored) and is longer than four characters.
bool IsScreenSaverFile(const char* program_path);

// Full mode: run with no argument or with "/s" (not a preview).
inline bool IsScreenSaverFullMode(int32_t mode) { return mode >= 1 && mode <= 15; }

// The last pointer position and the count of changes since the last reset.
struct SaverMouse {
  int32_t last_x = -1;
  int32_t last_y = -1;
  int32_t changes = 0;
};
// A pointer move to (x, y). Returns true on the sixth change of position
// (the counter then starts again): small jitter does not end the saver.
bool SaverMouseMoved(SaverMouse* mouse, int32_t x, int32_t y);

// The password that guards the end of a saver belongs to the desktop's
// screen locker on this platform, so the check always passes and is
// remembered for the run.
int CheckScreenSaverPassword(void* window);
