// Screen-saver rules that do not need a window.
#include "player/screen_saver.h"

#include <cstring>

namespace {
bool g_password_verified = false;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool IsScreenSaverFile(const char* path) {
  size_t length = std::strlen(path);
  if (length > 255) length = 255;
  if (length <= 4) return false;
  if (path[length - 1] == '"') --length;
  return Lower(path[length - 3]) == 's' && Lower(path[length - 2]) == 'c' &&
         Lower(path[length - 1]) == 'r';
}

bool SaverMouseMoved(SaverMouse* mouse, int32_t x, int32_t y) {
  if (x == mouse->last_x && y == mouse->last_y) return false;
  mouse->last_x = x;
  mouse->last_y = y;
  if (++mouse->changes > 5) {
    mouse->changes = 0;
    return true;
  }
  return false;
}

int CheckScreenSaverPassword(void* window) {
  g_password_verified = true;
  return 1;
}
