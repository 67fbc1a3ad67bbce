// Reading the player's switches out of the working text. Every function
// edits the text in place and only ever shortens it, except the quick-play
// defaults of /!, which are appended within the text's fixed size.
#include "player/switches.h"

#include <cstring>

#include "base/profile.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

unsigned char Code(char c) { return static_cast<unsigned char>(c); }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Removes count characters at position at (the text's terminating zero moves
// with the rest).
void RemoveChars(char* text, size_t at, size_t count) {
  size_t length = std::strlen(text);
  if (at >= length) return;
  if (count > length - at) count = length - at;
  std::memmove(text + at, text + at + count, length - at - count + 1);
}

// Position of the first "/" + letter whose argument starts with a digit or
// "-" and a digit; -1 when there is none.
long FindNumericSwitch(const char* text, char letter) {
  char wanted = Upper(letter);
  for (size_t i = 0; text[i] != 0; ++i) {
    if (text[i] != '/' || text[i + 1] == 0 || Upper(text[i + 1]) != wanted) continue;
    const char* arg = text + i + 2;
    if (IsDigit(arg[0]) || (arg[0] == '-' && IsDigit(arg[1]))) return static_cast<long>(i);
  }
  return -1;
}

// Reads digits as one unsigned number (wrapping at 32 bits) and counts them.
const char* ReadDigits(const char* p, uint32_t* value, uint32_t* count) {
  uint32_t v = 0;
  uint32_t n = 0;
  while (IsDigit(*p)) {
    v = v * 10u + static_cast<uint32_t>(*p - '0');
    ++n;
    ++p;
  }
  *value = v;
  *count = n;
  return p;
}

uint64_t Gcd(uint64_t a, uint64_t b) {
  while (b != 0) {
    uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

void Reduce(uint64_t* a, uint64_t* b) {
  if (*a == 0 || *b == 0) return;
  uint64_t g = Gcd(*a, *b);
  *a /= g;
  *b /= g;
}

// One unsigned number of a ratio: digits, optionally "." and more digits.
// value = every digit as one integer, divisor = 10 ^ (digits after ".").
const char* ReadRatioNumber(const char* p, uint64_t* value, uint64_t* divisor) {
  uint32_t v = 0;
  uint32_t n = 0;
  p = ReadDigits(p, &v, &n);
  uint64_t scale = 1;
  if (*p == '.') {
    ++p;
    while (IsDigit(*p)) {
      v = v * 10u + static_cast<uint32_t>(*p - '0');
      scale = (scale * 10u) & 0xFFFFFFFFu;  // wraps like the value itself
      ++p;
    }
  }
  *value = v;
  *divisor = scale;
  Reduce(value, divisor);
  return p;
}

}  // namespace

void ReadSwitchProfile(void* context, const char* section, const char* key, char* out,
                       uint32_t out_size) {
  ProfileReadString(section, key, "", out, out_size);
}

bool TakeFlagSwitch(char* text, char letter) {
  char wanted = Upper(letter);
  for (size_t i = 0; text[i] != 0; ++i) {
    if (text[i] != '/' || text[i + 1] == 0 || Upper(text[i + 1]) != wanted) continue;
    if (Code(text[i + 2]) < Code('0')) {
      RemoveChars(text, i, 2);
      return true;
    }
  }
  return false;
}

int32_t TakeIntegerSwitch(char* text, char letter, int32_t fallback) {
  long at = FindNumericSwitch(text, letter);
  if (at < 0) return fallback;
  const char* p = text + at + 2;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  uint32_t value = 0;
  uint32_t count = 0;
  p = ReadDigits(p, &value, &count);
  if (negative) value = 0u - value;
  RemoveChars(text, static_cast<size_t>(at), static_cast<size_t>(p - (text + at)));
  return static_cast<int32_t>(value);
}

Ratio ParseRatio(const char* text, const char** end) {
  const char* p = text;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  if (!IsDigit(*p)) {
    // Nothing that looks like a number.
    if (end) *end = text;
    return Ratio{0, 1};
  }
  uint64_t dividend = 0;
  uint64_t divisor = 1;
  p = ReadRatioNumber(p, &dividend, &divisor);
  if (*p == ';') {
    ++p;
    if (IsDigit(*p)) {
      uint64_t second_value = 0;
      uint64_t second_divisor = 1;
      p = ReadRatioNumber(p, &second_value, &second_divisor);
      // Both factors are below 2^32, so the products fit in 64 bits.
      dividend *= second_divisor;
      divisor *= second_value;
      Reduce(&dividend, &divisor);
    }
  }
  uint32_t a = static_cast<uint32_t>(dividend);
  uint32_t b = static_cast<uint32_t>(divisor);
  if (negative) a = 0u - a;
  if (b == 0) b = 1;
  if (end) *end = p;
  return Ratio{static_cast<int32_t>(a), static_cast<int32_t>(b)};
}

void TakeRatioSwitch(char* text, char letter, int32_t* dividend, int32_t* divisor,
                     int32_t fallback_dividend, int32_t fallback_divisor) {
  long at = FindNumericSwitch(text, letter);
  if (at < 0) {
    *dividend = fallback_dividend;
    *divisor = fallback_divisor;
    return;
  }
  const char* end = nullptr;
  Ratio r = ParseRatio(text + at + 2, &end);
  *dividend = r.dividend;
  *divisor = r.divisor;
  RemoveChars(text, static_cast<size_t>(at), static_cast<size_t>(end - (text + at)));
}

void ApplySwitchCancels(char* text) {
  size_t i = 0;
  while (text[i] != 0) {
    if (text[i] != '/' || text[i + 1] != '-') {
      ++i;
      continue;
    }
    char cancelled = text[i + 2];
    if (cancelled == 0) {
      text[i] = 0;  // a trailing "/-" ends the text
      return;
    }
    char wanted = Upper(cancelled);
    // Remove every earlier switch with this letter, with its argument.
    size_t j = 0;
    while (j < i) {
      if (text[j] == '/' && j + 1 < i && Upper(text[j + 1]) == wanted) {
        size_t k = j + 2;
        while (k < i && Code(text[k]) > 32 && text[k] != '/') ++k;
        RemoveChars(text, j, k - j);
        i -= k - j;
      } else {
        ++j;
      }
    }
    RemoveChars(text, i, 3);
  }
}

void TrimBlanks(char* text) {
  size_t length = std::strlen(text);
  while (length > 0 && Code(text[length - 1]) >= 1 && Code(text[length - 1]) <= 32) --length;
  text[length] = 0;
  size_t start = 0;
  while (start < length && Code(text[start]) <= 32) ++start;
  if (start > 0) std::memmove(text, text + start, length - start + 1);
}

bool BuildSwitchText(SwitchText* out, const char* embedded, const char* command_line,
                     bool screen_saver) {
  size_t used = 0;
  if (embedded) {
    while (used < kEmbeddedSwitchMax && embedded[used] != 0 && embedded[used] != '~') {
      out->text[used] = embedded[used];
      ++used;
    }
  }
  out->text[used] = 0;
  if (!screen_saver && command_line) {
    size_t length = std::strlen(command_line);
    if (length > kSwitchTextSize - 1 - used) {
      out->text[0] = 0;
      return false;
    }
    std::memcpy(out->text + used, command_line, length + 1);
  }
  ApplySwitchCancels(out->text);
  return true;
}

bool SwitchTextNeedsHelp(char* text) {
  TrimBlanks(text);
  return text[0] == 0 || std::strchr(text, '/') != nullptr;
}

int32_t ParseScreenSaverArgs(const char* command_line) {
  if (!command_line) return 1;
  const char* p = command_line;
  while (*p != 0 && *p != '/' && *p != '-') ++p;
  if (*p == 0 || p[1] == 0) return 1;
  char letter = Upper(p[1]);
  if (letter == 'C') return 3;
  if (letter == 'S') return 2;
  if (letter != 'P') return 1;
  p += 2;
  while (*p != 0 && !IsDigit(*p)) ++p;
  uint32_t value = 0;
  uint32_t count = 0;
  ReadDigits(p, &value, &count);
  return static_cast<int32_t>(value);
}

bool ParseSwitches(SwitchText* switch_text, const SwitchEnvironment* env, ParsedSwitches* out,
                   const char** reason) {
  char* text = switch_text->text;
  PlayerSettings& s = out->settings;
  SwitchFlags& f = out->flags;
  std::memset(out, 0, sizeof(*out));
  const char* why = nullptr;
  if (reason) *reason = nullptr;

  // 1. Quick-play defaults go at the end, so switches already in the text
  // are found first and win.
  if (TakeFlagSwitch(text, '!')) {
    char quick[kQuickPlayMax + 1];
    quick[0] = 0;
    if (env && env->read_profile) {
      env->read_profile(env->context, kProfileSection, kQuickPlayKey, quick, sizeof(quick));
      quick[kQuickPlayMax] = 0;
    }
    size_t length = std::strlen(text);
    size_t extra = std::strlen(quick);
    if (extra > kSwitchTextSize - 1 - length) {
      why = "The quick-play switches do not fit in the switch text.";
    } else {
      std::memcpy(text + length, quick, extra + 1);
    }
  }

  // 2. Loop count: /L3 three plays, a bare /L (or /L0) forever.
  s.loop_count = TakeIntegerSwitch(text, 'L', -1);
  if (s.loop_count == -1) s.loop_count = TakeFlagSwitch(text, 'L') ? 0 : 1;

  // 3. Owner window.
  s.owner_window = TakeIntegerSwitch(text, '#', 0);

  // 4. Frame rate; a bare /F plays as fast as possible.
  TakeRatioSwitch(text, 'F', &s.rate_dividend, &s.rate_divisor, -1, -1);
  if (TakeFlagSwitch(text, 'F')) {
    s.rate_dividend = 0;
    s.rate_divisor = 0;
    f.open_flags |= OPEN_FRAME_RATE;
  } else if (s.rate_dividend != -1 && s.rate_divisor != -1) {
    f.open_flags |= OPEN_FRAME_RATE;
  }

  // 5.-8. Track, simulated read speed, read buffer, disabled controls.
  s.sound_track = TakeIntegerSwitch(text, 'T', 0);
  if (s.sound_track != 0) f.open_flags |= OPEN_SOUND_TRACKS;
  s.simulated_rate = TakeIntegerSwitch(text, 'M', 0);
  if (s.simulated_rate != 0) f.open_flags |= OPEN_SIMULATE_RATE;
  s.read_buffer_size = TakeIntegerSwitch(text, 'E', -1);
  if (s.read_buffer_size != -1) f.open_flags |= OPEN_READ_BUFFER_SIZE;
  s.disabled_controls = TakeIntegerSwitch(text, 'U', 0);

  // 9. Window: hundreds = always on top, the rest = style.
  int32_t window = TakeIntegerSwitch(text, 'I', 0);
  s.always_on_top = window / 100;
  s.window_style = window % 100;

  // 10. Plain flags.
  s.use_wave_out = TakeFlagSwitch(text, 'Z') ? 1 : 0;
  s.show_summary = TakeFlagSwitch(text, 'S') ? 1 : 0;
  s.show_statistics = TakeFlagSwitch(text, 'Q') ? 1 : 0;
  s.keep_playing_unfocused = TakeFlagSwitch(text, 'J') ? 1 : 0;
  s.black_background = TakeFlagSwitch(text, 'R') ? 1 : 0;
  s.hide_cursor = TakeFlagSwitch(text, 'C') ? 1 : 0;
  if (s.black_background) s.window_style = 2;

  // 11. Open flags without arguments.
  if (TakeFlagSwitch(text, 'N')) f.open_flags |= OPEN_NO_SKIP;
  if (TakeFlagSwitch(text, 'G')) f.open_flags |= OPEN_NO_FILL;
  if (TakeFlagSwitch(text, 'P')) f.open_flags |= OPEN_PRELOAD;
  if (TakeFlagSwitch(text, 'K')) f.open_flags |= OPEN_NO_THREAD;

  // 12. Display options: 1000 alpha as luma, 100 grayscale, 1-7 mode.
  uint32_t display = static_cast<uint32_t>(TakeIntegerSwitch(text, 'A', 0));
  if (display / 1000u == 1u) {
    f.open_flags |= FLAG_ALPHA;
    f.extra_copy_flags |= kCopyAlphaExtra;
    display %= 1000u;
  }
  if (display / 100u == 1u) {
    f.open_flags |= FLAG_GRAYSCALE;
    display %= 100u;
  }
  f.open_flags |= (display < 7u ? display : 7u) << 28;

  // 13.-14. Position and requested picture size.
  s.x = TakeIntegerSwitch(text, 'X', kCentrePosition);
  s.y = TakeIntegerSwitch(text, 'Y', kCentrePosition);
  TakeRatioSwitch(text, 'W', &s.width_dividend, &s.width_divisor, 0, 0);
  TakeRatioSwitch(text, 'H', &s.height_dividend, &s.height_divisor, 0, 0);

  // 15. The screen the picture refers to.
  s.screen_width = env ? env->screen_width : 0;
  s.screen_height = env ? env->screen_height : 0;

  // 16. Full-screen display mode: mode number + 100 x depth number.
  int32_t mode_switch = TakeIntegerSwitch(text, 'D', 0);
  if (mode_switch != 0) {
    DisplayModeSize size{};
    int32_t depth_code = 0;
    if (mode_switch < 0 || !LookupDisplayMode(mode_switch % 100, &size) ||
        !LookupDisplayDepth(mode_switch / 100, &depth_code)) {
      if (!why) why = "Unknown display mode or color depth.";
    } else {
      f.display_flags |= DISPLAY_CHANGE_MODE;
      s.screen_width = size.width;
      s.screen_height = size.height;
      out->display_request = DisplayRequest{size.width, size.height, depth_code};
    }
  }

  // 17. Blitting style; a screen saver always plays forever in a DIB
  // section and, in full mode, covers the screen without a cursor.
  int32_t saver_mode = env ? env->screen_saver_mode : 0;
  if (saver_mode != 0) {
    s.loop_count = 0;
    if (saver_mode < 16) {
      s.black_background = 1;
      s.window_style = 2;
      s.hide_cursor = 1;
    }
    TakeIntegerSwitch(text, 'B', 0);
    f.display_flags |= 2u;
  } else {
    int32_t style = TakeIntegerSwitch(text, 'B', 0);
    if (style < 0 || style > kDisplayStyleMax) {
      if (!why) why = "Unknown blitting style.";
    } else {
      f.display_flags |= static_cast<uint32_t>(style);
    }
  }

  if (reason) *reason = why;
  return why == nullptr;
}
