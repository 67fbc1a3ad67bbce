// Reading the scripted input of a headless run.
#include "platform/headless/headless_events.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseKey(const char* word, int32_t* code) {
  struct Named {
    const char* name;
    int32_t code;
  };
  static const Named kNames[] = {{"SPACE", 32}, {"ENTER", 13}, {"PERIOD", 46}, {"ESCAPE", 27}};
  for (const Named& n : kNames) {
    if (std::strcmp(word, n.name) == 0) {
      *code = n.code;
      return true;
    }
  }
  if (word[0] != 0 && word[1] == 0) {
    *code = static_cast<unsigned char>(word[0]);
    return true;
  }
  return false;
}

bool ParseOne(const char* entry, HeadlessEvent* e) {
  char* end = nullptr;
  unsigned long ms = std::strtoul(entry, &end, 10);
  if (end == entry || *end != ':' || ms > 0xFFFFFFFFul) return false;
  e->ms = uint32_t(ms);
  e->a = e->b = 0;
  char name[16] = {}, arg[16] = {};
  int x = 0, y = 0;
  char extra = 0;
  const char* body = end + 1;
  if (std::sscanf(body, " move %d %d %c", &x, &y, &extra) == 2) {
    e->kind = HeadlessEventKind::kMove;
    e->a = x;
    e->b = y;
    return true;
  }
  int fields = std::sscanf(body, " %15s %15s %c", name, arg, &extra);
  if (fields == 1 && std::strcmp(name, "click") == 0) return e->kind = HeadlessEventKind::kClick, true;
  if (fields == 1 && std::strcmp(name, "close") == 0) return e->kind = HeadlessEventKind::kClose, true;
  if (fields == 2 && std::strcmp(name, "key") == 0) {
    e->kind = HeadlessEventKind::kKey;
    return ParseKey(arg, &e->a);
  }
  if (fields == 2 && std::strcmp(name, "focus") == 0) {
    e->kind = HeadlessEventKind::kFocus;
    if (std::strcmp(arg, "on") == 0) return e->a = 1, true;
    if (std::strcmp(arg, "off") == 0) return e->a = 0, true;
  }
  return false;
}

}  // namespace

bool ParseHeadlessEvents(const char* text, HeadlessEvent* out, int max, int* count, const char** error) {
  *count = 0;
  if (!text) return true;
  char entry[64];
  const char* p = text;
  while (*p != 0) {
    const char* semi = std::strchr(p, ';');
    size_t length = semi ? size_t(semi - p) : std::strlen(p);
    bool blank = true;
    for (size_t i = 0; i < length; ++i)
      if (p[i] != ' ') blank = false;
    if (!blank) {
      if (length >= sizeof(entry) || *count >= max) {
        *error = "too many or too long events";
        return false;
      }
      std::memcpy(entry, p, length);
      entry[length] = 0;
      if (!ParseOne(entry, &out[*count])) {
        *error = "an event is not MS:key K, MS:click, MS:move X Y, MS:focus on|off or MS:close";
        return false;
      }
      ++*count;
    }
    p += length;
    if (*p == ';') ++p;
  }
  return true;
}
