// Picture size, window placement and the file list's names.
#include "player/layout.h"

#include <cstring>

#include "player/switches.h"

uint32_t ClassifyScale(int32_t a, int32_t c, uint32_t d, uint32_t e, uint32_t b, uint32_t* flags) {
  uint32_t t;
  if (a >= 0) {
    if (a == 0 || c <= 0) return d;
    t = static_cast<uint32_t>(a / c);
  } else if (a == -1 && c == 1) {
    t = e;
  } else {
    if (c <= 0) return d;
    uint64_t factor = static_cast<uint64_t>(-static_cast<int64_t>(a));
    t = static_cast<uint32_t>(static_cast<uint64_t>(d) * factor / static_cast<uint64_t>(c));
  }
  if (d != 0 && t != d && t % d == 0) {
    *flags |= b * 8;
    return t;
  }
  if (t != 0) {
    if (t == d) return t;
    if (d % t == 0) {
      *flags |= b * 2;
      return t;
    }
  }
  if (d < t) *flags |= b * 4;
  if (t < d) *flags |= b;
  return t;
}

PictureSize FitToScreen(uint32_t vw, uint32_t vh, uint32_t sw, uint32_t sh) {
  if (vw == 0 || vh == 0) return {sw, sh};
  uint64_t u = static_cast<uint64_t>(vw) * sh / vh;
  if (sw < u) return {sw, static_cast<uint32_t>(static_cast<uint64_t>(vh) * sw / vw)};
  return {static_cast<uint32_t>(u), sh};
}

uint32_t DoublingMode(uint32_t w, uint32_t h, uint32_t vw, uint32_t vh) {
  uint64_t w2 = 2ull * vw, h2 = 2ull * vh;
  if (vw == 0 || vh == 0) return 0;
  if (w == vw && h == h2) return 1;
  if (w == w2 && h == vh) return 3;
  if (w == w2 && h == h2) return 4;
  return 0;
}

int32_t CentredX(int32_t screen_width, int32_t window_width, int32_t client_x_offset) {
  if (window_width <= screen_width) return ((screen_width - window_width) / 2) & ~3;
  return -client_x_offset;
}

int32_t CentredY(int32_t screen_height, int32_t window_height, int32_t client_y_offset) {
  if (window_height <= screen_height) return (screen_height - window_height) / 2;
  return -client_y_offset;
}

void ReserveStatisticsLine(int32_t line_width, int32_t line_height, WindowLayout* l) {
  l->statistics.left = 0;
  l->statistics.top = l->picture_y;
  l->statistics.bottom = l->picture_y + line_height;
  if (l->window_width < line_width) {
    l->picture_x += ((line_width - l->window_width) / 2) & ~3;
    l->window_width = line_width;
  }
  l->statistics.right = l->window_width;
  l->picture_y += line_height;
  l->window_height += line_height;
}

void TakeNextName(char* list, char* name, uint32_t name_size) {
  if (name_size == 0) return;
  name[0] = 0;
  size_t start = 0;
  while (list[start] != 0 && static_cast<unsigned char>(list[start]) <= 32) ++start;
  const char* p = list + start;
  const char* name_begin = p;
  size_t name_length = 0;
  const char* rest;
  if (*p == '"' && std::strchr(p + 1, '"') != nullptr) {
    name_begin = p + 1;
    const char* close = std::strchr(p + 1, '"');
    name_length = static_cast<size_t>(close - name_begin);
    rest = close + 1;
  } else if (*p == '"') {
    name_length = std::strlen(p);
    rest = p + name_length;
  } else {
    while (p[name_length] != 0 && static_cast<unsigned char>(p[name_length]) > 32) ++name_length;
    rest = p + name_length;
  }
  // The blanks after the name and one comma go with it.
  while (*rest != 0 && static_cast<unsigned char>(*rest) <= 32) ++rest;
  if (*rest == ',') ++rest;
  size_t copy = name_length < name_size - 1 ? name_length : name_size - 1;
  std::memcpy(name, name_begin, copy);
  name[copy] = 0;
  std::memmove(list, rest, std::strlen(rest) + 1);
  TrimBlanks(name);
  TrimBlanks(list);
}

namespace {

// A decimal number filling the whole of text.
bool ReadOffset(const char* text, uint64_t* value) {
  if (*text < '0' || *text > '9') return false;
  uint64_t v = 0;
  for (; *text != 0; ++text) {
    if (*text < '0' || *text > '9') return false;
    uint64_t next = v * 10 + static_cast<uint64_t>(*text - '0');
    if (next / 10 != v) return false;
    v = next;
  }
  *value = v;
  return true;
}

bool CopyPath(char* out, size_t out_size, const char* from, size_t length) {
  if (length + 1 > out_size) return false;
  std::memcpy(out, from, length);
  out[length] = 0;
  return true;
}

}  // namespace

bool ParseMediaSource(const char* name, MediaSource* out) {
  out->offset = 0;
  out->path[0] = 0;
  if (name[0] == ':') {
    out->kind = SourceKind::kOwnProgram;
    return ReadOffset(name + 1, &out->offset);
  }
  const char* bar = std::strrchr(name, '|');
  if (bar != nullptr) {
    out->kind = SourceKind::kFileAtOffset;
    return ReadOffset(bar + 1, &out->offset) &&
           CopyPath(out->path, sizeof(out->path), name, static_cast<size_t>(bar - name));
  }
  out->kind = SourceKind::kByName;
  size_t length = std::strlen(name);
  if (!CopyPath(out->path, sizeof(out->path), name, length)) return false;
  // The extension is looked for in the last part only.
  for (size_t i = length; i > 0; --i) {
    char c = name[i - 1];
    if (c == '.') return true;
    if (c == ':' || c == '\\' || c == '/') break;
  }
  if (length + 5 > sizeof(out->path)) return false;
  std::memcpy(out->path + length, ".vxa", 5);
  return true;
}
