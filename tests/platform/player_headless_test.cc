// vexaplay run as a user runs it, on the headless window, screen and sound
// and the virtual clock: what it showed (DIR/present-NNNNN.png and
// DIR/presents.txt) and played (DIR/sound.wav), its messages and exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform_test_helpers.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

using Image = RgbPicture;

// Largest difference of any channel; ~0 when the sizes differ.
int MaxDifference(const Image& a, const Image& b) {
  if (a.width != b.width || a.height != b.height) return 1 << 30;
  int worst = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) worst = std::max(worst, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
  return worst;
}

struct Present {
  uint32_t number, ms, frame;
};

struct PlayerRun {
  int code;
  std::string out;
  std::vector<Present> presents;
  // Frames shown, in order, logo presents (0) included.
  std::vector<uint32_t> Frames() const {
    std::vector<uint32_t> f;
    for (const Present& p : presents) f.push_back(p.frame);
    return f;
  }
  size_t LogoPresents() const {
    size_t n = 0;
    for (const Present& p : presents) n += p.frame == 0;
    return n;
  }
};

class PlayerHeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/vexaplay_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) { return dir_ + "/" + name; }

  int Vexa(const std::string& args) {
    std::string cmd = std::string("'") + VEXA_TOOL_PATH + "' " + args + " >/dev/null 2>&1";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // A clip of the test source with its sound.
  std::string Clip(const char* name, const char* size, int frames) {
    std::string path = Path(name);
    EXPECT_EQ(Vexa(std::string("encode --quiet --testsrc ") + size + " --frames " + std::to_string(frames) +
                   " -o " + path),
              0);
    return path;
  }

  PlayerRun Play(const std::string& args, const std::string& events = "", const std::string& screen = "",
           const std::string& program = VEXA_PLAYER_PATH) {
    std::string capture = Path("cap");
    std::system(("rm -rf '" + capture + "'").c_str());
    std::string env = "VEXA_PLATFORM=headless VEXA_HEADLESS_CLOCK=virtual VEXA_HEADLESS_CAPTURE='" + capture +
                      "' VEXA_HEADLESS_EVENTS='" + events + "' VEXA_HEADLESS_SCREEN='" + screen +
                      "' XDG_CONFIG_HOME='" + dir_ + "' ";
    std::string cmd = env + "timeout 120 '" + program + "' " + args + " >'" + Path("out") + "' 2>&1";
    int status = std::system(cmd.c_str());
    PlayerRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(Path("out")), {}};
    std::istringstream lines(Slurp(capture + "/presents.txt"));
    Present p;
    while (lines >> p.number >> p.ms >> p.frame) r.presents.push_back(p);
    return r;
  }

  Image Captured(uint32_t present) {
    char name[32];
    std::snprintf(name, sizeof(name), "/present-%05u.png", present);
    Image image;
    EXPECT_TRUE(ReadPngPicture(Path("cap") + name, &image)) << name;
    return image;
  }

  Image Decoded(const std::string& clip, uint32_t frame) {
    std::string pattern = Path("dec%04d.png");
    EXPECT_EQ(Vexa("decode " + clip + " --png '" + pattern + "'"), 0);
    char name[32];
    std::snprintf(name, sizeof(name), "/dec%04u.png", frame);
    Image image;
    EXPECT_TRUE(ReadPngPicture(Path(name), &image)) << name;
    return image;
  }

  std::string dir_;
};

std::vector<uint32_t> Sequence(uint32_t first, uint32_t last) {
  std::vector<uint32_t> v;
  for (uint32_t i = first; i <= last; ++i) v.push_back(i);
  return v;
}

std::vector<uint32_t> Shown(const PlayerRun& r) {
  std::vector<uint32_t> v;
  for (uint32_t f : r.Frames())
    if (f != 0) v.push_back(f);
  return v;
}

TEST_F(PlayerHeadlessTest, PlaysThroughTheLogoWithTheDecodersPicturesAndSound) {
  std::string clip = Clip("a.vxa", "96x64", 45);
  uint32_t first_picture_ms = 0;
  for (const char* style : {"/B2", "/B6"}) {
    PlayerRun r = Play(clip + " " + style);
    ASSERT_EQ(r.code, 0) << style << r.out;
    first_picture_ms = r.presents[0].ms;
    ASSERT_EQ(Shown(r), Sequence(1, 45)) << style;
    EXPECT_EQ(r.presents.back().frame, 0u);
    // The logo shows for 2.25 s at 10 frames a second.
    uint32_t logo_start = r.presents[45].ms;
    EXPECT_GE(r.presents.back().ms - logo_start, 2100u);
    EXPECT_LE(r.presents.back().ms - logo_start, 2300u);
    // Frames follow the file's 30 frames a second.
    EXPECT_NEAR(double(r.presents[44].ms - r.presents[0].ms), 44 * 1000.0 / 30, 3.0);
    int tolerance = std::strcmp(style, "/B2") == 0 ? 0 : 12;
    for (uint32_t frame : {1u, 7u, 45u})
      EXPECT_LE(MaxDifference(Captured(frame), Decoded(clip, frame)), tolerance) << style << " frame " << frame;
    Image logo = Captured(uint32_t(r.presents.size()));
    EXPECT_EQ(logo.width, 224u);
    EXPECT_EQ(logo.height, 252u);
  }
  // The whole track is heard, the decoder's samples from the first to the
  // last, starting with the first picture (within a device block of 50 ms)
  // and followed by at most a block of whatever the device held.
  ASSERT_EQ(Vexa("decode " + clip + " --wav " + Path("ref.wav")), 0);
  std::string heard = Slurp(Path("cap/sound.wav")), ref = Slurp(Path("ref.wav"));
  ASSERT_GT(heard.size(), 44u);
  ASSERT_GT(ref.size(), 44u);
  const size_t block = 44100 * 4 / 20;
  auto silent_until = [](const std::string& wav) {
    size_t at = 44;
    while (at + 3 < wav.size() && wav.compare(at, 4, std::string(4, '\0')) == 0) at += 4;
    return at;
  };
  const size_t start = silent_until(heard), ref_start = silent_until(ref);
  const size_t track = ref.size() - ref_start;
  ASSERT_LT(ref_start - 44, block);
  EXPECT_LE(start - ref_start, block + first_picture_ms * 44100 / 1000 * 4);
  ASSERT_GE(heard.size(), start + track);
  EXPECT_TRUE(heard.compare(start, track, ref, ref_start, track) == 0);
  EXPECT_LE(heard.size() - start - track, block);
}

TEST_F(PlayerHeadlessTest, LoopsRepeatTheFileOrTheList) {
  std::string a = Clip("a.vxa", "64x48", 3);
  PlayerRun one = Play(a + " /L3");
  ASSERT_EQ(one.code, 0) << one.out;
  EXPECT_EQ(Shown(one), (std::vector<uint32_t>{1, 2, 3, 1, 2, 3, 1, 2, 3}));
  std::string b = Clip("b.vxa", "64x48", 2);
  std::string c = Clip("c.vxa", "64x48", 1);
  PlayerRun list = Play(a + " " + b + " " + c + " /L3");
  ASSERT_EQ(list.code, 0) << list.out;
  EXPECT_EQ(Shown(list), (std::vector<uint32_t>{1, 2, 3, 1, 2, 1, 1, 2, 3, 1, 2, 1, 1, 2, 3, 1, 2, 1}));
  // Names without an extension get ".vxa".
  PlayerRun bare = Play(Path("c"));
  EXPECT_EQ(bare.code, 0) << bare.out;
}

TEST_F(PlayerHeadlessTest, KeysPauseStepSkipAndQuit) {
  std::string clip = Clip("a.vxa", "64x48", 60);  // two seconds
  // Space pauses; Enter, Enter shows two frames; Esc ends through the logo.
  PlayerRun step = Play(clip, "300:key SPACE;600:key ENTER;700:key ENTER;1500:key ESCAPE");
  ASSERT_EQ(step.code, 0) << step.out;
  std::vector<uint32_t> frames = Shown(step);
  size_t before_pause = 0;
  for (const Present& p : step.presents) before_pause += p.frame != 0 && p.ms <= 300;
  EXPECT_EQ(frames.size(), before_pause + 2);
  EXPECT_GT(step.LogoPresents(), 10u);
  // The full stop skips to the logo.
  PlayerRun skip = Play(clip, "200:key PERIOD");
  EXPECT_EQ(skip.code, 0);
  EXPECT_LT(Shown(skip).size(), 10u);
  EXPECT_GT(skip.LogoPresents(), 10u);
  // Esc during the logo ends at once.
  PlayerRun quit = Play(clip, "200:key PERIOD;500:key ESCAPE");
  EXPECT_EQ(quit.code, 0);
  EXPECT_LE(quit.presents.back().ms, 520u);
  // /U masks: nothing pauses, skips or quits, and a close still ends the run.
  PlayerRun masked = Play(clip + " /U7", "100:key SPACE;200:key PERIOD;300:key ESCAPE");
  EXPECT_EQ(Shown(masked), Sequence(1, 60));
  PlayerRun closed = Play(clip + " /U7", "300:close");
  EXPECT_EQ(closed.code, 0);
  EXPECT_LT(Shown(closed).size(), 15u);
  EXPECT_EQ(closed.LogoPresents(), 0u);
}

TEST_F(PlayerHeadlessTest, FocusLossPausesUnlessToldNotTo) {
  std::string clip = Clip("a.vxa", "64x48", 30);
  PlayerRun paused = Play(clip, "100:focus off;700:focus on");
  ASSERT_EQ(paused.code, 0);
  uint32_t longest = 0;
  for (size_t i = 1; i < paused.presents.size(); ++i)
    longest = std::max(longest, paused.presents[i].ms - paused.presents[i - 1].ms);
  EXPECT_GE(longest, 550u);
  PlayerRun kept = Play(clip + " /J", "100:focus off;700:focus on");
  EXPECT_EQ(Shown(kept), Sequence(1, 30));
  EXPECT_LT(kept.presents[29].ms, 1010u);
}

TEST_F(PlayerHeadlessTest, SummaryStatisticsAndSizes) {
  std::string clip = Clip("a.vxa", "64x48", 6);
  PlayerRun s = Play(clip + " /S");
  EXPECT_NE(s.out.find("Vexa Playback Summary\nVideo: 64 x 48 at 30.0 frames/sec\nTotal frames: 6\n"),
            std::string::npos)
      << s.out;
  EXPECT_NE(s.out.find("Total frames played: 6\n"), std::string::npos);
  PlayerRun quiet = Play(clip);
  EXPECT_EQ(quiet.out.find("Summary"), std::string::npos);

  // /Q: a band above the picture, as wide as its text, with yellow text on black.
  PlayerRun q = Play(clip + " /Q /B2");
  Image shot = Captured(3);
  EXPECT_GT(shot.width, 64u);
  EXPECT_GT(shot.height, 48u);
  int yellow = 0;
  for (size_t i = 0; i + 2 < shot.rgb.size() && i < size_t(shot.width) * 3 * 10; i += 3)
    yellow += shot.rgb[i] > 200 && shot.rgb[i + 1] > 200 && shot.rgb[i + 2] < 80;
  EXPECT_GT(yellow, 10);

  // /W-2 /H-2 doubles in the copy; /W-1 /H-1 fills the screen's height.
  PlayerRun doubled = Play(clip + " /W-2 /H-2 /B2");
  Image big = Captured(2);
  EXPECT_EQ(big.width, 128u);
  EXPECT_EQ(big.height, 96u);
  Image small = Decoded(clip, 2);
  int worst = 0;
  for (uint32_t y = 0; y < 96; ++y)
    for (uint32_t x = 0; x < 128; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(int(big.rgb[(y * 128 + x) * 3 + c]) -
                                         int(small.rgb[((y / 2) * 64 + x / 2) * 3 + c])));
  EXPECT_LE(worst, 0);
  PlayerRun fit = Play(clip + " /W-1 /H-1 /I2", "", "640x400x32");
  Image full = Captured(1);
  EXPECT_EQ(full.width, 533u);
  EXPECT_EQ(full.height, 400u);
}

TEST_F(PlayerHeadlessTest, BundledCopyPlaysItself) {
  std::string clip = Clip("a.vxa", "64x48", 4);
  ASSERT_EQ(Vexa("bundle " + clip + " -o " + Path("selfplay") + " --player '" + VEXA_PLAYER_PATH + "' /L2"), 0);
  PlayerRun r = Play("", "", "", Path("selfplay"));
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Shown(r), (std::vector<uint32_t>{1, 2, 3, 4, 1, 2, 3, 4}));
  // NAME|OFFSET plays the same media from inside the copy.
  std::string copy = Slurp(Path("selfplay"));
  size_t offset = copy.size() - Slurp(clip).size();
  PlayerRun inside = Play("'" + Path("selfplay") + "|" + std::to_string(offset) + "'");
  EXPECT_EQ(Shown(inside), Sequence(1, 4));
}

TEST_F(PlayerHeadlessTest, FailuresSayWhyAndExitWithOne) {
  std::string clip = Clip("a.vxa", "64x48", 2);
  std::ofstream(Path("junk.vxa")) << "not a media file at all, just words";
  struct Row {
    std::string args, message;
  };
  const Row rows[] = {
      {Path("missing.vxa"), "Vexa Error\nError opening file.\n"},
      {Path("junk.vxa"), "Vexa Error\nNot a Vexa file.\n"},
      {"'" + Path("missing.bin") + "|64'", "Vexa Error\nError opening file.\n"},
      {clip + " " + Path("junk.vxa"), "Vexa Error\nNot a Vexa file.\n"},
      {clip + " /B1 /W-3", "Vexa Error\nNo capable blitting style available.\n"},
      {clip + " /Lx", "Vexa Video Player Help\n  SYNTAX:"},
      {"", "Vexa Video Player Help\n"},
  };
  for (const Row& row : rows) {
    PlayerRun r = Play(row.args);
    EXPECT_EQ(r.code, 1) << row.args << "\n" << r.out;
    EXPECT_NE(r.out.find(row.message), std::string::npos) << row.args << "\n" << r.out;
  }
  PlayerRun help = Play("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("  SYNTAX: VexaPlay", 0), 0u);
  // A path with slashes, given with switches in dash form.
  PlayerRun dashes = Play("-L2 " + clip);
  EXPECT_EQ(Shown(dashes), (std::vector<uint32_t>{1, 2, 1, 2}));
}

TEST_F(PlayerHeadlessTest, ScreenSaverEndsOnTheSixthMouseMove) {
  std::string clip = Clip("a.vxa", "64x48", 10);
  ASSERT_EQ(Vexa("bundle " + clip + " -o " + Path("vexa.scr") + " --player '" + VEXA_PLAYER_PATH + "'"), 0);
  std::string five = "100:move 1 1;150:move 2 1;200:move 3 1;250:move 4 1;300:move 5 1";
  // A small screen: full screen means a whole-screen capture at every present.
  const std::string screen = "320x240x32";
  PlayerRun jitter = Play("/s", five + ";1500:close", screen, Path("vexa.scr"));
  EXPECT_EQ(jitter.code, 0) << jitter.out;
  EXPECT_GT(jitter.presents.back().ms, 1400u);  // plays on (looping) until closed
  EXPECT_EQ(jitter.LogoPresents(), 0u);
  PlayerRun ended = Play("/s", five + ";350:move 6 1;5000:close", screen, Path("vexa.scr"));
  EXPECT_EQ(ended.code, 0);
  ASSERT_GT(ended.LogoPresents(), 0u);
  for (const Present& p : ended.presents)
    if (p.frame != 0) {
      EXPECT_LE(p.ms, 400u);
    }
  PlayerRun configure = Play("/c", "", "", Path("vexa.scr"));
  EXPECT_EQ(configure.code, 0);
  EXPECT_NE(configure.out.find("There are no settings for this screensaver."), std::string::npos);
}

TEST_F(PlayerHeadlessTest, WeeklyReminderOnlyBesideTheCompanionTools) {
  std::string clip = Clip("a.vxa", "64x48", 2);
  std::string copy = Path("vexaplay");
  ASSERT_EQ(std::system(("cp '" + std::string(VEXA_PLAYER_PATH) + "' '" + copy + "'").c_str()), 0);
  PlayerRun alone = Play(clip, "", "", copy);
  EXPECT_EQ(alone.out.find("New version check"), std::string::npos);
  std::ofstream(Path("korvideo")) << "";
  PlayerRun asked = Play(clip, "", "", copy);
  EXPECT_EQ(asked.code, 0);  // answered No: plays on
  EXPECT_NE(asked.out.find("New version check...\nIt's been a while"), std::string::npos) << asked.out;
  EXPECT_EQ(Shown(asked), Sequence(1, 2));
  EXPECT_NE(Slurp(Path("vexa/vexa.ini")).find("LastVersionCheckDate"), std::string::npos);
  PlayerRun again = Play(clip, "", "", copy);  // within the week: not asked
  EXPECT_EQ(again.out.find("New version check"), std::string::npos);
}

}  // namespace
