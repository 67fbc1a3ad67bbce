// The `vexa` commands as a shell user meets them: '-' for standard input
// and output in both directions, outputs refused before any work, the name
// a single sound track is written under, the exit code of a file that ends
// early, and messages that say what is wrong.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Result {
  int code;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class ToolIo : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/vexa_io_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    // One small clip with the test sound for every case.
    ASSERT_EQ(Sh("V encode --quiet --testsrc 48x32 --frames 6 -o clip.vxa").code, 0);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs a shell line in the test folder; V stands for the program.
  Result Sh(const std::string& line) {
    const std::string cmd = "cd '" + dir_ + "' && V='" + VEXA_TOOL_PATH + "' && { " + ReplaceV(line) +
                            "; } >stdout.txt 2>stderr.txt";
    const int status = std::system(cmd.c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(P("stdout.txt")), Slurp(P("stderr.txt"))};
  }
  static std::string ReplaceV(std::string line) {
    for (size_t at = 0; (at = line.find("V ", at)) != std::string::npos; at += 4)
      if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '|') line.replace(at, 1, "\"$V\"");
    return line;
  }
  std::string P(const std::string& name) { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(ToolIo, DashReadsStandardInputAndWritesStandardOutput) {
  // encode and sample write the same bytes to a pipe as to a file, and leave no file named '-'.
  ASSERT_EQ(Sh("V encode --quiet --testsrc 48x32 --frames 6 -o - | cat > piped.vxa").code, 0);
  EXPECT_EQ(Slurp(P("piped.vxa")), Slurp(P("clip.vxa")));
  ASSERT_EQ(Sh("V sample -o - > s1.vxa && V sample -o s2.vxa").code, 0);
  EXPECT_EQ(Slurp(P("s1.vxa")), Slurp(P("s2.vxa")));
  EXPECT_EQ(Sh("V logo -o - | V info - > logo.txt").code, 0);
  EXPECT_NE(Slurp(P("logo.txt")).find("224 x 252"), std::string::npos);
  EXPECT_FALSE(Exists(P("-")));

  // info reads a pipe, with and without --summary.
  Result file = Sh("V info clip.vxa --json"), piped = Sh("cat clip.vxa | V info - --json");
  ASSERT_EQ(piped.code, 0) << piped.err;
  EXPECT_EQ(piped.out.substr(piped.out.find(',')), file.out.substr(file.out.find(',')));
  Result summary = Sh("cat clip.vxa | V info - --summary");
  ASSERT_EQ(summary.code, 0) << summary.err;
  EXPECT_NE(summary.out.find("played 6 frames"), std::string::npos) << summary.out;

  // decode: pipe in, every single-file output to a pipe, the same bytes as to files.
  ASSERT_EQ(Sh("V decode clip.vxa --quiet -o f.y4m --rgb f.raw --surface-type 13 --wav f.wav").code, 0);
  EXPECT_EQ(Sh("cat clip.vxa | V decode - -o - | cat > p.y4m").code, 0);
  EXPECT_EQ(Slurp(P("p.y4m")), Slurp(P("f.y4m")));
  EXPECT_EQ(Sh("V decode clip.vxa --rgb - --surface-type 13 | cat > p.raw").code, 0);
  EXPECT_EQ(Slurp(P("p.raw")), Slurp(P("f.raw")));
  // Through a pipe a WAV keeps "to the end" sizes; the samples are the same.
  EXPECT_EQ(Sh("V decode clip.vxa --wav - | cat > p.wav").code, 0);
  const std::string pw = Slurp(P("p.wav")), fw = Slurp(P("f.wav"));
  ASSERT_GT(fw.size(), 44u);
  EXPECT_EQ(pw.substr(40, 4), std::string(4, '\xff'));
  EXPECT_EQ(pw.substr(44), fw.substr(44));
  // The y4m goes back in through a pipe.
  EXPECT_EQ(Sh("V decode clip.vxa -o - | V encode --quiet - -o back.vxa").code, 0);
  EXPECT_EQ(Sh("V info back.vxa").code, 0);

  // Where '-' cannot work it is refused at once.
  Result png = Sh("V decode clip.vxa --png -");
  EXPECT_EQ(png.code, 2);
  EXPECT_NE(png.err.find("--png"), std::string::npos) << png.err;
  EXPECT_EQ(Sh("V decode clip.vxa -o - --rgb -").code, 2);
  EXPECT_EQ(Sh("V encode --quiet - --alpha - -o x.vxa < f.y4m").code, 2);
}

TEST_F(ToolIo, OutputsAreRefusedBeforeAnyWork) {
  Result r = Sh("V encode --testsrc 48x32 --frames 500 -o /nonexistent/dir/x.vxa");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("/nonexistent/dir/x.vxa: no such file or directory"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("frame"), std::string::npos) << "encoded before failing:\n" << r.err;
  for (const char* out : {"-o /nonexistent/x.y4m", "--rgb /nonexistent/x.raw", "--wav /nonexistent/x.wav",
                          "--png /nonexistent/f%d.png"}) {
    Result d = Sh(std::string("V decode clip.vxa ") + out);
    EXPECT_EQ(d.code, 1) << out;
    EXPECT_NE(d.err.find("/nonexistent"), std::string::npos) << d.err;
    EXPECT_EQ(d.err.find("wrote"), std::string::npos) << d.err;
  }
  // The input is never the output, by any name.
  const std::string before = Slurp(P("clip.vxa"));
  EXPECT_EQ(Sh("V decode clip.vxa -o ./clip.vxa").code, 2);
  EXPECT_EQ(Sh("V decode clip.vxa -o f.y4m && V encode --quiet f.y4m -o ./f.y4m").code, 2);
  EXPECT_EQ(Slurp(P("clip.vxa")), before);
  // A failed encode leaves no half-made file behind.
  EXPECT_EQ(Sh("head -c 2000 f.y4m > cut.y4m && V encode --quiet cut.y4m -o cut.vxa").code, 1);
  EXPECT_FALSE(Exists(P("cut.vxa")));
}

TEST_F(ToolIo, OneTrackGoesToTheNameGivenAndDecodeSaysWhatItWrote) {
  Result r = Sh("V decode clip.vxa --wav out.wav -o out.y4m");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Exists(P("out.wav")));
  EXPECT_FALSE(Exists(P("out.0.wav")));
  EXPECT_EQ(r.err, "vexa decode: wrote 6 frames (1-6) to out.y4m; 1 sound track to out.wav\n");
  EXPECT_EQ(Sh("V decode clip.vxa --frames 2-3 -o a.y4m --quiet").err, "");
}

TEST_F(ToolIo, FilesThatEndEarlyGiveExitCodeThree) {
  // The last frames cut off: what could be played is written, and the exit code says the rest is missing.
  const std::string whole = Slurp(P("clip.vxa"));
  std::ofstream(P("short.vxa"), std::ios::binary) << whole.substr(0, whole.size() - 200);
  Result d = Sh("V decode short.vxa -o s.y4m");
  EXPECT_EQ(d.code, 3) << d.err;
  EXPECT_NE(d.err.find("cannot be read"), std::string::npos) << d.err;
  Result s = Sh("V info short.vxa --summary --json");
  EXPECT_EQ(s.code, 3) << s.err;
  EXPECT_NE(s.out.find("\"complete\":false"), std::string::npos) << s.out;
}

TEST_F(ToolIo, InfoAndSummaryAgreeAndEscapeTheirStrings) {
  ASSERT_EQ(Sh("cp clip.vxa 'q\"uote\\.vxa'").code, 0);
  Result info = Sh("V info 'q\"uote\\.vxa' --json"), summary = Sh("V info 'q\"uote\\.vxa' --summary --json");
  ASSERT_EQ(summary.code, 0) << summary.err;
  EXPECT_NE(summary.out.find("\"file\":\"q\\\"uote\\\\.vxa\""), std::string::npos) << summary.out;
  // The description is the same in both, and the core's own counts agree with it.
  EXPECT_EQ(summary.out.substr(0, info.out.size() - 2), info.out.substr(0, info.out.size() - 2));
  Result text = Sh("V info clip.vxa --summary");
  for (const char* name : {"average_rate_bytes_per_s", "average_frame_bytes", "peak_rate_bytes_per_s", "peak_frame"}) {
    const size_t at = text.out.find(std::string("  ") + name + " ");
    ASSERT_NE(at, std::string::npos) << name;
    const std::string core = text.out.substr(at + 29, text.out.find('\n', at) - at - 29);
    EXPECT_NE(info.out.find(std::string("\"") + name + "\":" + core + ","), std::string::npos)
        << name << " " << core << "\n" << info.out;
  }
}

TEST_F(ToolIo, MessagesSayWhatIsWrong) {
  struct Case {
    const char* line;
    int code;
    const char* says;
  } cases[] = {
      {"V info .", 1, "(is a directory)"},
      {"V decode . -o x.y4m", 1, "(is a directory)"},
      {"V encode . -o x.vxa", 1, "is a directory"},
      {"V decode clip.vxa -o", 2, "-o needs a value"},
      {"V encode --testsrc 8x8 --frames 1 -o x.vxa --quality", 2, "--quality needs a value"},
      {"V encode --testsrc 8x8 --frames 1 -o x.vxa --quality 101", 2, "0 to 100"},
      {"V sample --tracks", 2, "--tracks needs a value"},
      {"V info clip.vxa --loops", 2, "--loops needs a value"},
      {"V bundle clip.vxa -o", 2, "-o needs a value"},
      {"V info clip.vxa --preload", 2, "--preload does nothing without --summary"},
      {"V decode clip.vxa --wav x.wav --surface-type 3", 2, "--surface-type"},
      {"V decode clip.vxa -o x.y4m --surface-type 16", 2, "0 to 15"},
      {"V decode --help", 0, "15 yv12"},
      {"V --help", 0, "--wav"},
      {"V --version", 0, "vexa "},
  };
  for (const Case& c : cases) {
    Result r = Sh(c.line);
    EXPECT_EQ(r.code, c.code) << c.line << "\n" << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << c.line << "\n" << r.out << r.err;
  }
  // A progress line rewritten with carriage returns only on a terminal.
  EXPECT_EQ(Sh("V encode --testsrc 16x16 --frames 100 -o p.vxa").err.find('\r'), std::string::npos);
  if (geteuid() != 0) {  // root reads any file
    ASSERT_EQ(Sh("cp clip.vxa locked.vxa && chmod 000 locked.vxa").code, 0);
    EXPECT_NE(Sh("V info locked.vxa").err.find("(permission denied)"), std::string::npos);
  }
}

}  // namespace
