// `vexa logo` remakes the clip the player carries; `vexa bundle` writes a
// self-playing copy whose embedded switches point at the appended media.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/file.h"
#include "media/media.h"
#include "media/media_file_head.h"
#include "player/embedded_switches.h"
#include "player/layout.h"
#include "player/logo_clip.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class LogoBundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/vexa_logo_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  int Vexa(const std::string& args) {
    std::string cmd = std::string("'") + VEXA_TOOL_PATH + "' " + args + " >/dev/null 2>'" + dir_ + "/err'";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Path(const char* name) { return dir_ + "/" + name; }
  std::string dir_;
};

const MediaFileHead* Head(MediaFile* m) { return reinterpret_cast<const MediaFileHead*>(m); }

TEST_F(LogoBundleTest, LogoIsReproducibleAndPlayable) {
  ASSERT_EQ(Vexa("logo -o " + Path("logo.vxa")), 0);
  std::string made = Slurp(Path("logo.vxa"));
  ASSERT_EQ(made.size(), LogoClipSize()) << "player/logo.vxa is not what `vexa logo` makes";
  EXPECT_EQ(std::memcmp(made.data(), LogoClipImage(), made.size()), 0);
  MediaFile* m = MediaOpenMemory(LogoClipImage(), LogoClipSize(), 0);
  ASSERT_NE(m, nullptr) << MediaGetError();
  EXPECT_EQ(Head(m)->width, 224u);
  EXPECT_EQ(Head(m)->height, 252u);
  EXPECT_EQ(Head(m)->frame_count, 1u);
  EXPECT_EQ(Head(m)->rate_dividend / Head(m)->rate_divisor, 10u);
  MediaClose(m);
}

TEST_F(LogoBundleTest, BundlePointsTheCopyAtItsMedia) {
  ASSERT_EQ(Vexa("encode --testsrc 64x48 --frames 3 --quiet -o " + Path("clip.vxa")), 0);
  // This test program carries an embedded switch field too; use it as the player.
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  char own[16];
  EXPECT_EQ(EmbeddedSwitchText(own, sizeof(own)), 0u);  // also keeps the field linked in
  ASSERT_EQ(Vexa("bundle " + Path("clip.vxa") + " -o " + Path("copy") + " --player '" + self + "' /L2 /S"), 0);
  std::string copy = Slurp(Path("copy"));
  std::string clip = Slurp(Path("clip.vxa"));
  long at = FindEmbeddedSwitchField(reinterpret_cast<const uint8_t*>(copy.data()), copy.size());
  ASSERT_GE(at, 0);
  std::string field = copy.substr(size_t(at), copy.find('~', size_t(at)) - size_t(at));
  MediaSource source;
  ASSERT_TRUE(ParseMediaSource(field.substr(0, field.find(' ')).c_str(), &source)) << field;
  EXPECT_EQ(source.kind, SourceKind::kOwnProgram);
  EXPECT_EQ(field.substr(field.find(' ')), " /L2 /S");
  EXPECT_EQ(source.offset % 8, 0u);
  ASSERT_EQ(copy.size(), source.offset + clip.size());
  EXPECT_EQ(copy.substr(size_t(source.offset)), clip);
  EXPECT_TRUE(access(Path("copy").c_str(), X_OK) == 0);

  // The same media read as NAME|OFFSET, through a file handle.
  ASSERT_TRUE(ParseMediaSource((Path("copy") + "|" + std::to_string(source.offset)).c_str(), &source));
  PlatformFile f = PlatformOpenRead(source.path);
  ASSERT_NE(f, kNoFile);
  ASSERT_TRUE(PlatformSeek(f, source.offset));
  MediaFile* m = MediaOpen(reinterpret_cast<const void*>(f), OPEN_FILE_HANDLE);
  ASSERT_NE(m, nullptr) << MediaGetError();
  EXPECT_EQ(Head(m)->frame_count, 3u);
  MediaClose(m);
  PlatformClose(f);

  EXPECT_NE(Vexa("bundle " + Path("copy") + " -o " + Path("x")), 0);  // not a Vexa file
}

}  // namespace
