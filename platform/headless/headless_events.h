// The scripted input of a headless run: VEXA_HEADLESS_EVENTS holds
// "MS:EVENT;MS:EVENT;..." with events
//   key SPACE | ENTER | PERIOD | ESCAPE | <one character>
//   click | move X Y | focus on | focus off | close
// each delivered once the clock reaches MS milliseconds after start-up.
#pragma once
#include <cstdint>

enum class HeadlessEventKind { kKey, kClick, kMove, kFocus, kClose };

struct HeadlessEvent {
  uint32_t ms;
  HeadlessEventKind kind;
  int32_t a;  // key: the character code; move: x; focus: 1 on, 0 off
  int32_t b;  // move: y
};

inline constexpr int kMaxHeadlessEvents = 256;

// Parses the script into out (at most max events, in the order given).
// Returns false with a short reason on a malformed entry.
bool ParseHeadlessEvents(const char* text, HeadlessEvent* out, int max, int* count, const char** error);
