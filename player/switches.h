// The player's switches: slash switches of the form /X (one letter,
// case-insensitive, some followed by a number) gathered from the program's
// embedded switch text, the command line and, on request, the user's saved
// quick-play defaults into one working text. The parser removes every switch
// it recognises; what is left is the list of media file names. A leftover
// slash (an unknown switch, a repeated one, a malformed argument) means the
// player shows its help text instead of playing.
#pragma once
#include <cstdint>

#include "display/copy_flags.h"
#include "display/display_flags.h"
#include "base/open_flags.h"

// The working text: built once at start-up, edited in place by the switch
// functions, afterwards the list of file names still to play.
inline constexpr uint32_t kSwitchTextSize = 1024;
struct SwitchText {
  char text[kSwitchTextSize];
};

// The longest embedded switch text, and the longest quick-play default.
inline constexpr uint32_t kEmbeddedSwitchMax = 510;
inline constexpr uint32_t kQuickPlayMax = 255;

// Extra copy flags added by /A1xxx: keep alpha and show it as luma.
inline constexpr uint32_t kCopyAlphaExtra = FLAG_ALPHA | COPY_ALPHA_AS_LUMA;
static_assert(kCopyAlphaExtra == 0x00100800u);

// The position value that means "centre on the screen".
inline constexpr int32_t kCentrePosition = -3000;

// Settings read from the switches; a plain record of 32-bit integers.
struct PlayerSettings {
  int32_t loop_count;           // /L: plays of each file, 0 = forever
  int32_t owner_window;         // /#: owner/parent window handle
  int32_t rate_dividend;        // /F: -1/-1 = the file's own rate
  int32_t rate_divisor;
  int32_t sound_track;          // /T: 0 = the file's default track
  int32_t simulated_rate;       // /M: bytes per second, 0 = off
  int32_t read_buffer_size;     // /E: bytes, -1 = the core's default
  int32_t disabled_controls;    // /U: 1 pause, 2 skip, 4 quit
  int32_t always_on_top;        // /I value / 100
  int32_t window_style;         // /I value % 100: 0 normal, 1 no caption, 2 nothing
  int32_t use_wave_out;         // /Z
  int32_t show_summary;         // /S
  int32_t show_statistics;      // /Q
  int32_t keep_playing_unfocused;  // /J
  int32_t black_background;     // /R
  int32_t hide_cursor;          // /C
  int32_t x;                    // /X, -3000 = centre
  int32_t y;                    // /Y, -3000 = centre
  int32_t width_dividend;       // /W: ratio, 0/0 = the video's width
  int32_t width_divisor;
  int32_t height_dividend;      // /H: ratio, 0/0 = the video's height
  int32_t height_divisor;
  int32_t screen_width;         // the size full screen and centring refer to
  int32_t screen_height;
};

// The three flag words the switches fill.
struct SwitchFlags {
  uint32_t open_flags;        // handed to MediaOpen
  uint32_t display_flags;     // handed to DisplayBufferOpen
  uint32_t extra_copy_flags;  // OR-ed into every frame copy
};

// Everything ParseSwitches produces.
struct ParsedSwitches {
  PlayerSettings settings;
  SwitchFlags flags;
  DisplayRequest display_request;
};

// What the switches need to know about the machine. Filled by the driver
// from the platform layer; tests fill it themselves.
struct SwitchEnvironment {
  int32_t screen_width;
  int32_t screen_height;
  // 0 when not running as a screen saver; otherwise the saver mode (1 run,
  // 2 system saver, a value of 16 or more = preview parent window). The
  // driver reads it from the raw command line with ParseScreenSaverArgs
  // before parsing the switches (and ends at once for "configure" or a
  // preview without a window, so 0 never stands for that case here).
  int32_t screen_saver_mode;
  // Reads a profile string into out (at most out_size - 1 characters plus a
  // terminating zero); an absent value gives "". Null: no profile.
  void (*read_profile)(void* context, const char* section, const char* key,
                       char* out, uint32_t out_size);
  void* context;
};

// Profile section and key of the quick-play defaults (/!).
inline constexpr const char* kProfileSection = "Kor Video Tools";
inline constexpr const char* kQuickPlayKey = "VexaQuickPlay";

// A SwitchEnvironment::read_profile that reads the user's profile file
// (platform/profile.h); the context is unused.
void ReadSwitchProfile(void* context, const char* section, const char* key, char* out,
                       uint32_t out_size);

// Finds the first "/" + letter (case-insensitive) whose next character is
// below "0" (a blank, the end, or punctuation such as "-", ".", ","), removes
// the two characters and returns true. Otherwise false, text unchanged.
bool TakeFlagSwitch(char* text, char letter);

// Finds the first "/" + letter followed by a digit or by "-" and a digit,
// removes the slash, letter, sign and digits and returns the signed value.
// Otherwise returns fallback and leaves the text alone. A decimal point is
// not consumed: /L2.5 reads 2 and leaves ".5". Values wrap at 32 bits.
int32_t TakeIntegerSwitch(char* text, char letter, int32_t fallback);

// The result of reading a ratio.
struct Ratio {
  int32_t dividend;
  int32_t divisor;
};

// Reads "[-]digits[.digits][;digits[.digits]]" at text: 29.97 -> 2997/100,
// -1.5 -> -3/2, 30000;1001 -> 30000/1001, reduced by the greatest common
// divisor; a divisor of 0 becomes 1. *end receives the first character not
// read (text itself when nothing matched).
Ratio ParseRatio(const char* text, const char** end);

// Same matching as TakeIntegerSwitch; the argument is read by ParseRatio and
// removed with the switch. Absent: the two fallbacks are stored.
void TakeRatioSwitch(char* text, char letter, int32_t* dividend,
                     int32_t* divisor, int32_t fallback_dividend,
                     int32_t fallback_divisor);

// Applies every "/-X" from left to right: removes each earlier /X switch with
// its argument (up to the next blank, control character or "/"), then the
// "/-X" itself. A "/-" at the very end cuts the text at its slash.
void ApplySwitchCancels(char* text);

// Removes leading and trailing characters with codes 1 to 32, in place.
void TrimBlanks(char* text);

// Builds the working text: the embedded text (cut at its first "~", at most
// 510 characters), then, unless running as a screen saver, the command line
// right after it with no separator; then applies the cancels. Returns false
// when the two do not fit in the SwitchText; the text is then left empty
// (the driver shows the help text, so nothing is ever cut silently).
bool BuildSwitchText(SwitchText* out, const char* embedded,
                     const char* command_line, bool screen_saver);

// Reads every switch in the fixed order into *out, consuming each one read.
// Returns false, with a short reason in *reason when given, when the
// switches cannot be honoured: quick-play defaults that do not fit in the
// text, a /D mode outside 1-13 or depth above 6, a /B style outside 0-10.
// The caller then shows the help text as for a leftover slash.
bool ParseSwitches(SwitchText* text, const SwitchEnvironment* env,
                   ParsedSwitches* out, const char** reason);

// The help decision after parsing: trims the text; true when it is empty
// or still holds a slash.
bool SwitchTextNeedsHelp(char* text);

// Screen-saver arguments: the first "/" or "-" and the letter after it.
// None or nothing after it: 1 (run). C: 3 (configure). S: 2 (system saver).
// P: the first run of digits after it (preview parent window), 0 without
// digits. Any other character: 1.
int32_t ParseScreenSaverArgs(const char* command_line);

// Tables of /D (switch_tables.cc).
struct DisplayModeSize {
  int32_t width;
  int32_t height;
};
// The size of /D mode number 1-13; false for any other number.
bool LookupDisplayMode(int32_t mode, DisplayModeSize* size);
// The depth code of /D depth number 0-6; false for any other number.
bool LookupDisplayDepth(int32_t depth_number, int32_t* depth_code);

// The help text (help_text.cc), every line ending in "\n", and its caption.
extern const char kPlayerHelpText[];
extern const char kPlayerHelpCaption[];
