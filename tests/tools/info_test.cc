// `vexa sample` and `vexa info`, run as a user would run them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct ToolRun {
  int code;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class InfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/vexa_info_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  ToolRun Vexa(const std::string& args) {
    std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
    std::string cmd = std::string("'") + VEXA_TOOL_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
    int status = std::system(cmd.c_str());
    return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }
  std::string Path(const char* name) { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(InfoTest, SilentSample) {
  ASSERT_EQ(Vexa("sample -o " + Path("a.vxa")).code, 0);
  ToolRun r = Vexa("info " + Path("a.vxa"));
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* line : {"revision:      i", "picture:       200 x 200", "rate:          10000000/333333 (30.00003 fps)",
                           "doubling none", "tracks:        0", "frames:        50", "key frames:    1 (",
                           "per 30 frames"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;

  ToolRun j = Vexa("info --json " + Path("a.vxa"));
  ASSERT_EQ(j.code, 0) << j.err;
  EXPECT_EQ(j.out.front(), '{');
  EXPECT_EQ(j.out.substr(j.out.size() - 2), "}\n");
  for (const char* field : {"\"width\":200", "\"frame_count\":50", "\"key_frames\":1", "\"tracks\":[]",
                            "\"all_key_frames\":false", "\"peak_window_frames\":30"})
    EXPECT_NE(j.out.find(field), std::string::npos) << field << "\n" << j.out;
}

TEST_F(InfoTest, SampleWithTracks) {
  ASSERT_EQ(Vexa("sample --tracks 2 -o " + Path("t.vxa")).code, 0);
  ToolRun r = Vexa("info " + Path("t.vxa"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("track 0: id 0, 22050 Hz, stereo, 16-bit output, real-dft"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("track 1: id 1, 44100 Hz, mono, 16-bit output, dct"), std::string::npos) << r.out;
  ToolRun j = Vexa("info " + Path("t.vxa") + " --json");
  EXPECT_NE(j.out.find("{\"id\":1,\"sample_rate\":44100,\"channels\":1,\"bits\":16,\"kind\":\"dct\""),
            std::string::npos)
      << j.out;
}

TEST_F(InfoTest, BadFilesGiveTheCoreTextAndExitOne) {
  {
    std::ofstream f(Path("bad.vxa"), std::ios::binary);
    f << "VXAz and some more bytes to make up a header of forty-four";
  }
  for (const char* json : {"", " --json"}) {
    ToolRun r = Vexa(std::string("info ") + Path("bad.vxa") + json);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Not a Vexa file."), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  // A valid sample cut inside its index.
  ASSERT_EQ(Vexa("sample -o " + Path("a.vxa")).code, 0);
  std::string whole = Slurp(Path("a.vxa"));
  {
    std::ofstream f(Path("cut.vxa"), std::ios::binary);
    f << whole.substr(0, 100);
  }
  ToolRun cut = Vexa("info " + Path("cut.vxa"));
  EXPECT_EQ(cut.code, 1);
  EXPECT_NE(cut.err.find("Error reading Vexa header."), std::string::npos) << cut.err;

  // Cut inside its frames: described, with the frames it still holds.
  {
    std::ofstream f(Path("short.vxa"), std::ios::binary);
    f << whole.substr(0, whole.size() - 1);
  }
  ToolRun held = Vexa("info " + Path("short.vxa"));
  EXPECT_EQ(held.code, 0) << held.err;
  EXPECT_NE(held.out.find("intact frames: 49 of 50"), std::string::npos) << held.out;

  ToolRun missing = Vexa("info " + Path("none.vxa"));
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("Error opening file."), std::string::npos);

  ToolRun help = Vexa("info --help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("usage: vexa info"), std::string::npos);
}

}  // namespace
