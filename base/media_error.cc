#include "base/media_error.h"

#include <cstring>

namespace {
char g_error[kMediaErrorCapacity];
}  // namespace

const char* MediaGetError() { return g_error; }

void MediaSetError(const char* text) {
  if (!text) {
    g_error[0] = 0;
    return;
  }
  // The text may be the buffer itself (a caller re-setting what it read).
  if (text == g_error) return;
  size_t n = std::strlen(text);
  if (n >= kMediaErrorCapacity) n = kMediaErrorCapacity - 1;
  std::memmove(g_error, text, n);
  g_error[n] = 0;
}
