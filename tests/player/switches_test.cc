#include "player/switches.h"

#include "base/profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <cstring>
#include <string>

namespace {

struct FakeProfile {
  const char* quick_play;  // null = no value
};

void ReadFakeProfile(void* context, const char* section, const char* key, char* out,
                     uint32_t out_size) {
  const FakeProfile* p = static_cast<const FakeProfile*>(context);
  std::string value;
  if (p->quick_play && std::string(section) == "Kor Video Tools" &&
      std::string(key) == "VexaQuickPlay") {
    value = p->quick_play;
  }
  std::snprintf(out, out_size, "%s", value.c_str());
}

struct Parsed {
  SwitchText text;
  ParsedSwitches parsed;
  bool ok;
  bool help;
  std::string rest;  // the file list left after parsing, trimmed
};

Parsed Parse(const char* embedded, const char* command_line, int32_t saver_mode = 0,
          const char* quick_play = nullptr) {
  static FakeProfile profile;
  profile.quick_play = quick_play;
  SwitchEnvironment env{1920, 1200, saver_mode, ReadFakeProfile, &profile};
  Parsed r{};
  EXPECT_TRUE(BuildSwitchText(&r.text, embedded, command_line, saver_mode != 0));
  r.ok = ParseSwitches(&r.text, &env, &r.parsed, nullptr);
  r.help = SwitchTextNeedsHelp(r.text.text);
  r.rest = r.text.text;
  return r;
}

Parsed Parse(const char* command_line) { return Parse("", command_line); }

std::string Take(const char* input, bool (*take)(char*, char), char letter, bool* found) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%s", input);
  *found = take(buf, letter);
  return buf;
}

TEST(TakeSwitch, FlagNeedsAFollowingCharacterBelowZero) {
  bool found = false;
  EXPECT_EQ(Take("a /p b", TakeFlagSwitch, 'P', &found), "a  b");
  EXPECT_TRUE(found);
  EXPECT_EQ(Take("a/P", TakeFlagSwitch, 'P', &found), "a");  // end of text
  EXPECT_TRUE(found);
  EXPECT_EQ(Take("/p,x", TakeFlagSwitch, 'P', &found), ",x");
  EXPECT_TRUE(found);
  // /PA and /P5 are not the flag; the later bare /p is.
  EXPECT_EQ(Take("/PA /P5 /p", TakeFlagSwitch, 'P', &found), "/PA /P5 ");
  EXPECT_TRUE(found);
  EXPECT_EQ(Take("/Px", TakeFlagSwitch, 'P', &found), "/Px");
  EXPECT_FALSE(found);
  EXPECT_EQ(Take("/", TakeFlagSwitch, 'P', &found), "/");
  EXPECT_FALSE(found);
}

TEST(TakeSwitch, IntegerReadsSignAndDigitsOnly) {
  char a[] = "x /l2.5 y";
  EXPECT_EQ(TakeIntegerSwitch(a, 'L', 7), 2);
  EXPECT_STREQ(a, "x .5 y");  // the decimal point stays
  char b[] = "/X-40/y3";
  EXPECT_EQ(TakeIntegerSwitch(b, 'X', 0), -40);
  EXPECT_STREQ(b, "/y3");
  char c[] = "/L /L-x /Lx";  // no digit after the letter or the sign
  EXPECT_EQ(TakeIntegerSwitch(c, 'L', 7), 7);
  EXPECT_STREQ(c, "/L /L-x /Lx");
  char d[] = "/L /L9";  // the first switch with a number counts
  EXPECT_EQ(TakeIntegerSwitch(d, 'L', 7), 9);
  EXPECT_STREQ(d, "/L ");
  char e[] = "/A4294967295";  // wraps instead of overflowing
  EXPECT_EQ(TakeIntegerSwitch(e, 'A', 0), -1);
}

TEST(TakeSwitch, RatioSyntax) {
  struct Case {
    const char* in;
    int32_t dividend, divisor;
    size_t consumed;
  } cases[] = {
      {"29.97", 2997, 100, 5},  {"-1.5", -3, 2, 4},       {"30000;1001", 30000, 1001, 10},
      {"25", 25, 1, 2},         {"-2", -2, 1, 2},         {"0", 0, 1, 1},
      {"2.50", 5, 2, 4},        {"30;", 30, 1, 3},        {"30;x", 30, 1, 3},
      {"7.5;2.5 f", 3, 1, 7},   {"24000;1001.0", 24000, 1001, 12},
      {"1;0", 1, 1, 3},         {"-", 0, 1, 0},
  };
  for (const Case& c : cases) {
    const char* end = nullptr;
    Ratio r = ParseRatio(c.in, &end);
    EXPECT_EQ(r.dividend, c.dividend) << c.in;
    EXPECT_EQ(r.divisor, c.divisor) << c.in;
    EXPECT_EQ(static_cast<size_t>(end - c.in), c.consumed) << c.in;
  }
  // Long digit runs wrap and never leave a divisor of 0.
  Ratio r = ParseRatio("1.0000000000000000000000000000000000000000", nullptr);
  EXPECT_NE(r.divisor, 0);

  char text[] = "a /f29.97b /w";
  int32_t a = 0, b = 0;
  TakeRatioSwitch(text, 'F', &a, &b, -1, -1);
  EXPECT_EQ(a, 2997);
  EXPECT_EQ(b, 100);
  EXPECT_STREQ(text, "a b /w");
  TakeRatioSwitch(text, 'W', &a, &b, 0, 0);  // bare: defaults, untouched
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  EXPECT_STREQ(text, "a b /w");
}

TEST(SwitchText, CancelsRemoveEarlierSwitchesWithTheirArguments) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"a /L3 /l b /-L", "a   b "},
      {":115712 /l/-l", ":115712 "},
      {"/w-2/-W x", " x"},      // the argument stops at the next slash
      {"/S f /-l", "/S f "},    // nothing to cancel
      {"/l f /-l /l", " f  /l"},  // only switches to the left go
      {"/L2 f /-", "/L2 f "},     // a trailing "/-" ends the text
      {"/-", ""},
      {"//-/", "/"},  // a cancel never reaches into itself
  };
  for (const Case& c : cases) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%s", c.in);
    ApplySwitchCancels(buf);
    EXPECT_STREQ(buf, c.out) << c.in;
  }
}

TEST(SwitchText, TrimAndHelpDecision) {
  char a[] = "\t  clip.vxa \r\n";
  TrimBlanks(a);
  EXPECT_STREQ(a, "clip.vxa");
  char b[] = " \t ";
  TrimBlanks(b);
  EXPECT_STREQ(b, "");
  char c[] = " a /x ";
  EXPECT_TRUE(SwitchTextNeedsHelp(c));
  char d[] = "   ";
  EXPECT_TRUE(SwitchTextNeedsHelp(d));
  char e[] = " a b ";
  EXPECT_FALSE(SwitchTextNeedsHelp(e));
}

TEST(SwitchText, BuildJoinsEmbeddedTextAndCommandLine) {
  SwitchText t;
  ASSERT_TRUE(BuildSwitchText(&t, ":115712 /l~~~~~~", "/-l", false));
  EXPECT_STREQ(t.text, ":115712 ");
  // A screen saver ignores its command line.
  ASSERT_TRUE(BuildSwitchText(&t, "clip /r~~", "/s", true));
  EXPECT_STREQ(t.text, "clip /r");
  // The embedded part is at most 510 characters.
  std::string embedded(600, 'e');
  ASSERT_TRUE(BuildSwitchText(&t, embedded.c_str(), "X", false));
  EXPECT_EQ(std::string(t.text), std::string(510, 'e') + "X");
  // A command line that does not fit is refused rather than cut.
  std::string fits(1023 - 510, 'c');
  EXPECT_TRUE(BuildSwitchText(&t, embedded.c_str(), fits.c_str(), false));
  EXPECT_EQ(std::strlen(t.text), 1023u);
  std::string too_long = fits + "c";
  EXPECT_FALSE(BuildSwitchText(&t, embedded.c_str(), too_long.c_str(), false));
  EXPECT_STREQ(t.text, "");
  EXPECT_TRUE(SwitchTextNeedsHelp(t.text));
}

TEST(ParseSwitches, DefaultsWithoutSwitches) {
  Parsed r = Parse("clip.vxa");
  ASSERT_TRUE(r.ok);
  EXPECT_FALSE(r.help);
  EXPECT_EQ(r.rest, "clip.vxa");
  const PlayerSettings& s = r.parsed.settings;
  EXPECT_EQ(s.loop_count, 1);
  EXPECT_EQ(s.rate_dividend, -1);
  EXPECT_EQ(s.rate_divisor, -1);
  EXPECT_EQ(s.read_buffer_size, -1);
  EXPECT_EQ(s.x, -3000);
  EXPECT_EQ(s.y, -3000);
  EXPECT_EQ(s.width_dividend, 0);
  EXPECT_EQ(s.height_divisor, 0);
  EXPECT_EQ(s.screen_width, 1920);
  EXPECT_EQ(s.screen_height, 1200);
  EXPECT_EQ(r.parsed.flags.open_flags, 0u);
  EXPECT_EQ(r.parsed.flags.display_flags, 0u);
  EXPECT_EQ(r.parsed.display_request.width, 0);
  Parsed empty = Parse("  /p ");
  EXPECT_TRUE(empty.help);  // no file name
}

TEST(ParseSwitches, LoopCount) {
  EXPECT_EQ(Parse("f /L3").parsed.settings.loop_count, 3);
  EXPECT_EQ(Parse("f /l").parsed.settings.loop_count, 0);
  EXPECT_EQ(Parse("f /L0").parsed.settings.loop_count, 0);
  // -1 counts as absent: once, unless a bare /L is there too.
  Parsed once = Parse("f /L-1");
  EXPECT_EQ(once.parsed.settings.loop_count, 1);
  EXPECT_FALSE(once.help);
  EXPECT_EQ(Parse("f /L-1 /L").parsed.settings.loop_count, 0);
  // /Lx is not a switch: its slash stays and asks for help.
  Parsed bad = Parse("f /Lx");
  EXPECT_EQ(bad.parsed.settings.loop_count, 1);
  EXPECT_TRUE(bad.help);
  // A decimal point is left behind as part of the file list.
  EXPECT_EQ(Parse("f /L2.5").rest, "f .5");
}

TEST(ParseSwitches, FrameRate) {
  Parsed fast = Parse("f /F");
  EXPECT_EQ(fast.parsed.settings.rate_dividend, 0);
  EXPECT_EQ(fast.parsed.settings.rate_divisor, 0);
  EXPECT_EQ(fast.parsed.flags.open_flags, OPEN_FRAME_RATE);
  Parsed ntsc = Parse("f /f29.97");
  EXPECT_EQ(ntsc.parsed.settings.rate_dividend, 2997);
  EXPECT_EQ(ntsc.parsed.settings.rate_divisor, 100);
  EXPECT_EQ(ntsc.parsed.flags.open_flags, OPEN_FRAME_RATE);
  Parsed exact = Parse("f /F30000;1001");
  EXPECT_EQ(exact.parsed.settings.rate_dividend, 30000);
  EXPECT_EQ(exact.parsed.settings.rate_divisor, 1001);
  Parsed own = Parse("f /F-1");
  EXPECT_EQ(own.parsed.settings.rate_dividend, -1);
  EXPECT_EQ(own.parsed.flags.open_flags, 0u);
  EXPECT_FALSE(own.help);
}

TEST(ParseSwitches, NumericSwitchesAndTheirOpenFlags) {
  Parsed r = Parse("f /T2 /M150000 /E65536 /U5 /#77 /X10 /Y-20 /w-2 /H480");
  ASSERT_FALSE(r.help);
  const PlayerSettings& s = r.parsed.settings;
  EXPECT_EQ(s.sound_track, 2);
  EXPECT_EQ(s.simulated_rate, 150000);
  EXPECT_EQ(s.read_buffer_size, 65536);
  EXPECT_EQ(s.disabled_controls, 5);
  EXPECT_EQ(s.owner_window, 77);
  EXPECT_EQ(s.x, 10);
  EXPECT_EQ(s.y, -20);
  EXPECT_EQ(s.width_dividend, -2);
  EXPECT_EQ(s.width_divisor, 1);
  EXPECT_EQ(s.height_dividend, 480);
  EXPECT_EQ(s.height_divisor, 1);
  EXPECT_EQ(r.parsed.flags.open_flags,
            OPEN_SOUND_TRACKS | OPEN_SIMULATE_RATE | OPEN_READ_BUFFER_SIZE);
  // Zero track and speed and the -1 buffer set no flag.
  EXPECT_EQ(Parse("f /T0 /M0 /E-1").parsed.flags.open_flags, 0u);
  EXPECT_EQ(Parse("f /N /G /P /K").parsed.flags.open_flags,
            OPEN_NO_SKIP | OPEN_NO_FILL | OPEN_PRELOAD | OPEN_NO_THREAD);
}

TEST(ParseSwitches, WindowSwitches) {
  Parsed r = Parse("f /I101");
  EXPECT_EQ(r.parsed.settings.always_on_top, 1);
  EXPECT_EQ(r.parsed.settings.window_style, 1);
  Parsed black = Parse("f /i1 /R");
  EXPECT_EQ(black.parsed.settings.window_style, 2);
  EXPECT_EQ(black.parsed.settings.black_background, 1);
  Parsed flags = Parse("f /z /s /q /j /c");
  const PlayerSettings& s = flags.parsed.settings;
  EXPECT_EQ(s.use_wave_out + s.show_summary + s.show_statistics + s.keep_playing_unfocused +
                s.hide_cursor,
            5);
  EXPECT_EQ(s.black_background, 0);
  // A switch given twice leaves the second one behind.
  EXPECT_TRUE(Parse("f /S /S").help);
  // Unknown switches stay too.
  EXPECT_TRUE(Parse("f /V").help);
}

TEST(ParseSwitches, DisplayOptions) {
  Parsed a = Parse("f /A1107");
  EXPECT_EQ(a.parsed.flags.open_flags, FLAG_ALPHA | FLAG_GRAYSCALE | (7u << 28));
  EXPECT_EQ(a.parsed.flags.extra_copy_flags, 0x100800u);
  Parsed b = Parse("f /A2000");
  EXPECT_EQ(b.parsed.flags.open_flags, 7u << 28);
  EXPECT_EQ(b.parsed.flags.extra_copy_flags, 0u);
  EXPECT_EQ(Parse("f /A3").parsed.flags.open_flags, 3u << 28);
  EXPECT_EQ(Parse("f /A100").parsed.flags.open_flags, FLAG_GRAYSCALE);
  // Taken as unsigned: -1 is a huge value and forces mode 7.
  EXPECT_EQ(Parse("f /A-1").parsed.flags.open_flags, 7u << 28);
}

TEST(ParseSwitches, DisplayModeRequest) {
  Parsed r = Parse("f /D108");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.parsed.flags.display_flags, DISPLAY_CHANGE_MODE);
  EXPECT_EQ(r.parsed.settings.screen_width, 640);
  EXPECT_EQ(r.parsed.settings.screen_height, 480);
  EXPECT_EQ(r.parsed.display_request.width, 640);
  EXPECT_EQ(r.parsed.display_request.height, 480);
  EXPECT_EQ(r.parsed.display_request.depth_code, 24);
  // The ends of both tables.
  struct Case {
    const char* line;
    int32_t width, height, depth;
  } cases[] = {{"f /D1", 320, 200, 16},
               {"f /D613", 1280, 1024, 3},
               {"f /D305", 480, 360, 8},
               {"f /D412", 1152, 864, 1}};
  for (const Case& c : cases) {
    Parsed m = Parse(c.line);
    ASSERT_TRUE(m.ok) << c.line;
    EXPECT_EQ(m.parsed.display_request.width, c.width) << c.line;
    EXPECT_EQ(m.parsed.display_request.height, c.height) << c.line;
    EXPECT_EQ(m.parsed.display_request.depth_code, c.depth) << c.line;
  }
  // Numbers without a table entry are refused (help), not ignored.
  for (const char* bad : {"f /D14", "f /D100", "f /D701", "f /D-8"}) {
    Parsed m = Parse(bad);
    EXPECT_FALSE(m.ok) << bad;
    EXPECT_EQ(m.parsed.flags.display_flags & DISPLAY_CHANGE_MODE, 0u) << bad;
  }
}

TEST(ParseSwitches, BlittingStyle) {
  EXPECT_EQ(Parse("f /B3").parsed.flags.display_flags, 3u);
  Parsed both = Parse("f /B2 /D9");
  EXPECT_EQ(both.parsed.flags.display_flags, DISPLAY_CHANGE_MODE | 2u);
  // Styles beyond the known ones would spill into other display bits.
  EXPECT_FALSE(Parse("f /B11").ok);
  EXPECT_FALSE(Parse("f /B-1").ok);
}

TEST(ParseSwitches, ScreenSaverForcesItsSettings) {
  // Full mode: forever, black, no caption or cursor, DIB section; /B ignored.
  Parsed full = Parse("clip.vxa /B4 /L2", "/s", 2);
  ASSERT_TRUE(full.ok);
  EXPECT_FALSE(full.help);
  EXPECT_EQ(full.rest, "clip.vxa");
  EXPECT_EQ(full.parsed.settings.loop_count, 0);
  EXPECT_EQ(full.parsed.settings.black_background, 1);
  EXPECT_EQ(full.parsed.settings.window_style, 2);
  EXPECT_EQ(full.parsed.settings.hide_cursor, 1);
  EXPECT_EQ(full.parsed.flags.display_flags, 2u);
  // Preview (a parent window): loops and uses the DIB section only.
  Parsed preview = Parse("clip.vxa", "/p 5000", 5000);
  EXPECT_EQ(preview.parsed.settings.loop_count, 0);
  EXPECT_EQ(preview.parsed.settings.black_background, 0);
  EXPECT_EQ(preview.parsed.settings.hide_cursor, 0);
  EXPECT_EQ(preview.parsed.flags.display_flags, 2u);
}

TEST(ParseSwitches, QuickPlayDefaults) {
  Parsed r = Parse("", "f /! /L2", 0, "/S /L5 /Q");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.parsed.settings.show_summary, 1);
  EXPECT_EQ(r.parsed.settings.show_statistics, 1);
  // The command line's /L2 stands first and wins; the default /L5 is left.
  EXPECT_EQ(r.parsed.settings.loop_count, 2);
  EXPECT_TRUE(r.help);
  // A default that the command line repeats leaves a slash behind.
  EXPECT_TRUE(Parse("", "f /! /S", 0, "/S").help);
  EXPECT_FALSE(Parse("", "f /! /S", 0, "/Q").help);
  // No stored value appends nothing.
  EXPECT_FALSE(Parse("", "f /!", 0, nullptr).help);
  // Defaults that no longer fit in the text are refused, not cut.
  std::string line = "f /! " + std::string(1000, 'x');
  std::string quick(40, ' ');
  quick += "/S";
  EXPECT_FALSE(Parse("", line.c_str(), 0, quick.c_str()).ok);
}

TEST(ParseSwitches, EmbeddedTextWithCancellingCommandLine) {
  Parsed r = Parse(":115712 /l~~~~", "/-l");
  ASSERT_TRUE(r.ok);
  EXPECT_FALSE(r.help);
  EXPECT_EQ(r.rest, ":115712");
  EXPECT_EQ(r.parsed.settings.loop_count, 1);
  Parsed kept = Parse(":115712 /l~~~~", "");
  EXPECT_EQ(kept.parsed.settings.loop_count, 0);
}

TEST(ScreenSaverArgs, Modes) {
  EXPECT_EQ(ParseScreenSaverArgs(""), 1);
  EXPECT_EQ(ParseScreenSaverArgs(nullptr), 1);
  EXPECT_EQ(ParseScreenSaverArgs("  /"), 1);
  EXPECT_EQ(ParseScreenSaverArgs("/c"), 3);
  EXPECT_EQ(ParseScreenSaverArgs("-C:1234"), 3);
  EXPECT_EQ(ParseScreenSaverArgs("/S"), 2);
  EXPECT_EQ(ParseScreenSaverArgs("/p1234"), 1234);
  EXPECT_EQ(ParseScreenSaverArgs("/p 1234"), 1234);
  EXPECT_EQ(ParseScreenSaverArgs("/P:1234 99"), 1234);
  EXPECT_EQ(ParseScreenSaverArgs("-p"), 0);
  EXPECT_EQ(ParseScreenSaverArgs("/x"), 1);
}

TEST(HelpText, LinesAndTabs) {
  std::string help = kPlayerHelpText;
  EXPECT_STREQ(kPlayerHelpCaption, "Vexa Video Player Help");
  EXPECT_EQ(help.rfind("  SYNTAX: VexaPlay <Vexa1 Vexa2 ...> [/Switches]:\n", 0), 0u);
  const std::string last = "        \t    10=DirectDraw RGB system memory off-screen.\n";
  ASSERT_GE(help.size(), last.size());
  EXPECT_EQ(help.substr(help.size() - last.size()), last);
  EXPECT_NE(help.find("    /W#.#\t- Stretch to this width in pixels (can be slow). Use negative "
                      "numbers for\n         \t    scaling (i.e. for 2x, use '/w-2')."),
            std::string::npos);
  size_t lines = 0;
  size_t tabs = 0;
  for (char c : help) {
    lines += c == '\n';
    tabs += c == '\t';
  }
  EXPECT_EQ(lines, 37u);
  EXPECT_EQ(tabs, 36u);  // every line but the first has one tab
  EXPECT_EQ(help.find("\\t"), std::string::npos);
}

}  // namespace

namespace {

// The real profile reader: defaults stored in the profile file reach the parser.
TEST(SwitchProfile, QuickPlayDefaultsComeFromTheProfileFile) {
  char pattern[] = "/tmp/vexa_switch_profile_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  ProfileSetDirectory(pattern);
  ASSERT_TRUE(ProfileWriteString("Kor Video Tools", "VexaQuickPlay", "/S /Q"));
  SwitchEnvironment env{800, 600, 0, ReadSwitchProfile, nullptr};
  SwitchText text;
  ASSERT_TRUE(BuildSwitchText(&text, "", "clip /!", false));
  ParsedSwitches parsed;
  ASSERT_TRUE(ParseSwitches(&text, &env, &parsed, nullptr));
  EXPECT_EQ(parsed.settings.show_summary, 1);
  EXPECT_EQ(parsed.settings.show_statistics, 1);
  ProfileSetDirectory(nullptr);
  std::system((std::string("rm -rf '") + pattern + "'").c_str());
}

}  // namespace
