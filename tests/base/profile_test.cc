#include "base/profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vexa_profile_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ProfileSetDirectory(dir_.c_str());
  }
  void TearDown() override {
    ProfileSetDirectory(nullptr);
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  void WriteIni(const char* content) {
    std::string sub = dir_ + "/vexa";
    mkdir(sub.c_str(), 0700);
    std::FILE* f = std::fopen((sub + "/vexa.ini").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(content, f);
    std::fclose(f);
  }
  std::string ReadIni() {
    std::FILE* f = std::fopen(ProfileFilePath(), "rb");
    if (!f) return "";
    std::string s;
    int c;
    while ((c = std::fgetc(f)) != EOF) s.push_back(static_cast<char>(c));
    std::fclose(f);
    return s;
  }
  std::string Read(const char* section, const char* key, const char* fallback = "?") {
    char out[300];
    ProfileReadString(section, key, fallback, out, sizeof(out));
    return out;
  }
  std::string dir_;
};

TEST_F(ProfileTest, ReadsBySectionAndKeyIgnoringCase) {
  EXPECT_EQ(Read("Kor Video Tools", "VexaQuickPlay"), "?");  // no file yet
  WriteIni("; settings\n"
           "[Other]\nVexaQuickPlay=/Q\n"
           "[kor video tools]\r\n  vexaquickplay =  /S /L2  \r\n"
           "LastVersionCheckDate=\"2026-12-01\"\n");
  EXPECT_EQ(Read("Kor Video Tools", "VexaQuickPlay"), "/S /L2");
  EXPECT_EQ(Read("Kor Video Tools", "LastVersionCheckDate"), "2026-12-01");
  EXPECT_EQ(Read("Kor Video Tools", "Missing", "2006-23-14"), "2006-23-14");
  EXPECT_EQ(Read("Nowhere", "VexaQuickPlay", ""), "");
  // A value longer than the caller's buffer is cut to fit.
  char small[4];
  EXPECT_EQ(ProfileReadString("Kor Video Tools", "VexaQuickPlay", "", small, sizeof(small)), 3u);
  EXPECT_STREQ(small, "/S ");
}

TEST_F(ProfileTest, WriteCreatesAndUpdatesKeepingOtherLines) {
  ASSERT_TRUE(ProfileWriteString("Kor Video Tools", "LastVersionCheckDate", "2026-12-08"));
  EXPECT_EQ(Read("Kor Video Tools", "LastVersionCheckDate"), "2026-12-08");
  ASSERT_TRUE(ProfileWriteString("Kor Video Tools", "VexaQuickPlay", "/S"));
  ASSERT_TRUE(ProfileWriteString("Other", "Key", "v"));
  ASSERT_TRUE(ProfileWriteString("kor video tools", "lastversioncheckdate", "2026-12-15"));
  EXPECT_EQ(ReadIni(),
            "[Kor Video Tools]\nlastversioncheckdate=2026-12-15\nVexaQuickPlay=/S\n\n"
            "[Other]\nKey=v\n");
  EXPECT_FALSE(ProfileWriteString("Kor Video Tools", "VexaQuickPlay", "a\nb"));
}

TEST(ProfileLocation, FollowsTheConfigurationDirectory) {
  ProfileSetDirectory(nullptr);
  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/tmp/vexa_cfg_test", 1);
  EXPECT_STREQ(ProfileFilePath(), "/tmp/vexa_cfg_test/vexa/vexa.ini");
  unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (home && home[0]) {
    EXPECT_EQ(std::string(ProfileFilePath()), std::string(home) + "/.config/vexa/vexa.ini");
  }
  if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

}  // namespace
