#include <gtest/gtest.h>

#include <string>

#include "player/command_line.h"
#include "player/layout.h"
#include "player/screen_saver.h"
#include "player/version_reminder.h"

namespace {

TEST(LayoutTest, ClassifyScaleClasses) {
  uint32_t f = 0;
  EXPECT_EQ(ClassifyScale(0, 0, 320, 1920, kScaleClassWidth, &f), 320u);
  EXPECT_EQ(f, 0u);
  EXPECT_EQ(ClassifyScale(-2, 1, 320, 1920, kScaleClassWidth, &f), 640u);
  EXPECT_EQ(f, 0x80000000u);
  f = 0;
  EXPECT_EQ(ClassifyScale(-3, 2, 320, 1920, kScaleClassWidth, &f), 480u);
  EXPECT_EQ(f, 0x40000000u);
  f = 0;
  EXPECT_EQ(ClassifyScale(160, 1, 320, 1920, kScaleClassHeight, &f), 160u);
  EXPECT_EQ(f, 0x02000000u);
  f = 0;
  EXPECT_EQ(ClassifyScale(300, 1, 320, 1920, kScaleClassHeight, &f), 300u);
  EXPECT_EQ(f, 0x01000000u);
  f = 0;
  EXPECT_EQ(ClassifyScale(-1, 1, 320, 1920, kScaleClassWidth, &f), 1920u);
  EXPECT_EQ(f, 0x80000000u);
  f = 0;
  EXPECT_EQ(ClassifyScale(320, 1, 320, 1920, kScaleClassWidth, &f), 320u);
  EXPECT_EQ(f, 0u);
}

TEST(LayoutTest, ScreenFitDoublingAndPlacement) {
  // 4:3 on 16:10: full height, width by the same factor.
  PictureSize p = FitToScreen(640, 480, 1920, 1200);
  EXPECT_EQ(p.width, 1600u);
  EXPECT_EQ(p.height, 1200u);
  p = FitToScreen(1920, 800, 1920, 1200);
  EXPECT_EQ(p.width, 1920u);
  EXPECT_EQ(p.height, 800u);
  EXPECT_EQ(DoublingMode(320, 480, 320, 240), 1u);
  EXPECT_EQ(DoublingMode(640, 240, 320, 240), 3u);
  EXPECT_EQ(DoublingMode(640, 480, 320, 240), 4u);
  EXPECT_EQ(DoublingMode(960, 240, 320, 240), 0u);
  EXPECT_EQ(CentredX(1920, 330, 4), 792);
  EXPECT_EQ(CentredX(300, 330, 4), -4);
  EXPECT_EQ(CentredY(1080, 270, 26), 405);

  WindowLayout l{100, 80, 0, 0, {}};
  ReserveStatisticsLine(150, 16, &l);
  EXPECT_EQ(l.window_width, 150);
  EXPECT_EQ(l.window_height, 96);
  EXPECT_EQ(l.picture_x, 24);  // 25 rounded down to a multiple of 4
  EXPECT_EQ(l.picture_y, 16);
  EXPECT_EQ(l.statistics.right, 150);
  EXPECT_EQ(l.statistics.bottom, 16);
}

std::string Take(char* list) {
  char name[64];
  TakeNextName(list, name, sizeof(name));
  return name;
}

TEST(LayoutTest, NamesAndSources) {
  char list[] = "  a.vxa ,  \"b c.vxa\"  d  \"open";
  EXPECT_EQ(Take(list), "a.vxa");
  EXPECT_EQ(Take(list), "b c.vxa");
  EXPECT_EQ(Take(list), "d");
  EXPECT_EQ(Take(list), "\"open");
  EXPECT_EQ(Take(list), "");

  MediaSource s;
  ASSERT_TRUE(ParseMediaSource("clip", &s));
  EXPECT_EQ(std::string(s.path), "clip.vxa");
  ASSERT_TRUE(ParseMediaSource("/a/x.y/name", &s));
  EXPECT_EQ(std::string(s.path), "/a/x.y/name.vxa");
  ASSERT_TRUE(ParseMediaSource("a:\\x.y\\name", &s));
  EXPECT_EQ(std::string(s.path), "a:\\x.y\\name.vxa");
  ASSERT_TRUE(ParseMediaSource("dir/clip.vxa", &s));
  EXPECT_EQ(std::string(s.path), "dir/clip.vxa");
  ASSERT_TRUE(ParseMediaSource(":115712", &s));
  EXPECT_EQ(s.kind, SourceKind::kOwnProgram);
  EXPECT_EQ(s.offset, 115712u);
  ASSERT_TRUE(ParseMediaSource("/x/pack.bin|4096", &s));
  EXPECT_EQ(s.kind, SourceKind::kFileAtOffset);
  EXPECT_EQ(std::string(s.path), "/x/pack.bin");
  EXPECT_EQ(s.offset, 4096u);
  EXPECT_FALSE(ParseMediaSource("a|x12", &s));
  EXPECT_FALSE(ParseMediaSource(":", &s));
  EXPECT_FALSE(ParseMediaSource(":99999999999999999999999", &s));
}

bool ExistsOnly(const char* path) { return std::string(path) == "/tmp/-present"; }

TEST(CommandLineTest, NamesNeverReachTheParser) {
  const char* argv[] = {"vexaplay", "/home/u/clip.vxa", "-L3", "/s", "/tmp/-present", "/Lx", "/L2/S/W-2;3/-Q",
                        "/l2/clip", "--", "-S", "--help"};
  PlayerCommandLine c;
  const char* error = nullptr;
  ASSERT_TRUE(SplitCommandLine(11, argv, ExistsOnly, &c, &error));
  EXPECT_STREQ(c.switches, " /L3 /s /Lx /L2/S/W-2;3/-Q");
  EXPECT_STREQ(c.names, " \"/home/u/clip.vxa\" \"/tmp/-present\" \"/l2/clip\" \"-S\" \"--help\"");
  EXPECT_FALSE(c.help_requested);

  const char* help[] = {"vexaplay", "--help"};
  ASSERT_TRUE(SplitCommandLine(2, help, nullptr, &c, &error));
  EXPECT_TRUE(c.help_requested);
  const char* quote[] = {"vexaplay", "a\"b"};
  EXPECT_FALSE(SplitCommandLine(2, quote, nullptr, &c, &error));

  char left[64] = " :4096 ";
  EXPECT_FALSE(NeedsHelpAfterParse(left, ""));
  char slash[64] = "/Lx";
  EXPECT_TRUE(NeedsHelpAfterParse(slash, " \"a.vxa\""));
  char empty[64] = " ";
  EXPECT_TRUE(NeedsHelpAfterParse(empty, "  "));
  EXPECT_FALSE(NeedsHelpAfterParse(empty, " \"/a.vxa\""));
}

TEST(ScreenSaverTest, NameJitterAndReminderDates) {
  EXPECT_TRUE(IsScreenSaverFile("/usr/bin/vexa.SCR"));
  EXPECT_TRUE(IsScreenSaverFile("/x/vexascr\""));
  EXPECT_FALSE(IsScreenSaverFile("scr"));
  EXPECT_FALSE(IsScreenSaverFile("/x/vexaplay"));

  SaverMouse n;
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(SaverMouseMoved(&n, i, 0));
  EXPECT_FALSE(SaverMouseMoved(&n, 4, 0));  // no change of position
  EXPECT_TRUE(SaverMouseMoved(&n, 5, 0));
  EXPECT_EQ(n.changes, 0);

  char a[16], b[16];
  ReminderDates({2027, 3, 1}, a, b, sizeof(a));
  EXPECT_STREQ(a, "2027-01-01");
  ReminderDates({2027, 3, 5}, a, b, sizeof(a));
  EXPECT_STREQ(b, "2027-02-28");
  ReminderDates({2027, 1, 3}, a, b, sizeof(a));
  EXPECT_STREQ(a, "2026-11-03");
  EXPECT_STREQ(b, "2026-12-26");
  EXPECT_FALSE(ReminderDue({2007, 2, 20}, kVersionCheckDefault));  // before March 2007
  EXPECT_TRUE(ReminderDue({2027, 3, 20}, kVersionCheckDefault));
  EXPECT_FALSE(ReminderDue({2027, 3, 20}, "2027-03-14"));
  EXPECT_TRUE(ReminderDue({2027, 3, 20}, "2027-03-12"));
  char path[64];
  ASSERT_TRUE(CompanionToolsPath("/opt/vexa/vexaplay", path, sizeof(path)));
  EXPECT_STREQ(path, "/opt/vexa/korvideo");
}

}  // namespace
