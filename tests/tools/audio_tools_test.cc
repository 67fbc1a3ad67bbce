// Sound through the tools: WAV files into `vexa encode --audio`, the test
// source's sound, and `vexa decode --wav` back out, compared with what went
// in.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encode/test_sound.h"
#include "base/container.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Per process: ctest runs the cases of this file side by side.
std::string Temp(const std::string& name) {
  return std::string(::testing::TempDir()) + "audio_tools_" + std::to_string(getpid()) + "_" + name;
}

int Vexa(const std::string& args) {
  const std::string cmd = std::string(VEXA_TOOL_PATH) + " " + args + " >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Put(std::vector<uint8_t>* v, uint32_t x, int bytes) {
  for (int i = 0; i < bytes; ++i) v->push_back(uint8_t(x >> (8 * i)));
}

// A WAV file with an odd-sized chunk before the format, as editors leave.
void WriteWav(const std::string& path, uint32_t rate, uint32_t channels, uint32_t bits,
              const std::vector<int16_t>& s) {
  std::vector<uint8_t> data;
  for (int16_t x : s) {
    if (bits == 16) Put(&data, uint16_t(x), 2);
    else data.push_back(uint8_t((x >> 8) + 128));
  }
  std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
  v.insert(v.end(), {'f', 'm', 't', ' '});
  Put(&v, 16, 4);
  Put(&v, 1, 2);
  Put(&v, channels, 2);
  Put(&v, rate, 4);
  Put(&v, rate * channels * bits / 8, 4);
  Put(&v, channels * bits / 8, 2);
  Put(&v, bits, 2);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put(&v, uint32_t(data.size()), 4);
  v.insert(v.end(), data.begin(), data.end());
  const uint32_t riff = uint32_t(v.size() - 8);
  std::memcpy(v.data() + 4, &riff, 4);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  std::fwrite(v.data(), 1, v.size(), f);
  std::fclose(f);
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> v;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return v;
  int c;
  while ((c = std::fgetc(f)) != EOF) v.push_back(uint8_t(c));
  std::fclose(f);
  return v;
}

// The samples of a 16-bit WAV as our writer lays it out (44-byte header).
struct Wav {
  uint32_t rate = 0, channels = 0, bits = 0;
  std::vector<int16_t> s;
};
Wav ReadOurWav(const std::string& path) {
  const std::vector<uint8_t> v = ReadAll(path);
  Wav w;
  if (v.size() < 44 || std::memcmp(v.data(), "RIFF", 4) || std::memcmp(v.data() + 36, "data", 4)) return w;
  w.channels = v[22] | v[23] << 8;
  w.rate = v[24] | v[25] << 8 | v[26] << 16 | uint32_t(v[27]) << 24;
  w.bits = v[34];
  for (size_t i = 44; i + 1 < v.size(); i += 2) w.s.push_back(int16_t(v[i] | v[i + 1] << 8));
  return w;
}

double Snr(const std::vector<int16_t>& in, const std::vector<int16_t>& out) {
  double s = 0, n = 0;
  for (size_t i = 0; i < in.size() && i < out.size(); ++i) {
    const double d = double(out[i]) - in[i];
    s += double(in[i]) * in[i];
    n += d * d;
  }
  return 10 * std::log10(s / std::max(n, 1e-9));
}

std::vector<int16_t> Tone(uint32_t rate, uint32_t channels, uint32_t frames, double hz) {
  std::vector<int16_t> s;
  for (uint32_t i = 0; i < frames; ++i)
    for (uint32_t c = 0; c < channels; ++c)
      s.push_back(int16_t(std::lround(9000 * std::sin(2 * kPi * hz * (c + 1) * i / rate))));
  return s;
}

TEST(AudioTools, WavTracksAndTestSoundRoundTrip) {
  // One second of video at 30 frames per second; WAVs of exactly that.
  const std::vector<int16_t> a = Tone(22050, 2, 22050, 440);
  std::vector<int16_t> b = Tone(8000, 1, 8000, 300);
  for (int16_t& x : b) x = int16_t(x & ~0xFF);  // what 8 bits keep
  WriteWav(Temp("a.wav"), 22050, 2, 16, a);
  WriteWav(Temp("b.wav"), 8000, 1, 8, b);
  const std::string vxa = Temp("x.vxa");
  ASSERT_EQ(Vexa("encode --quiet --testsrc 64x48 --frames 30 --audio " + Temp("a.wav") + " --track-id 7 --audio " +
                 Temp("b.wav") + " --audio-kind dft --8bit -o " + vxa),
            0);

  const std::vector<uint8_t> bytes = ReadAll(vxa);
  ContainerFile* file = ContainerLoadMemory(bytes.data(), bytes.size());
  ASSERT_TRUE(file);
  ASSERT_EQ(file->layout.header.track_count, 3u);
  EXPECT_EQ(file->layout.ids[0], 0u);  // the test sound
  EXPECT_EQ(file->layout.ids[1], 7u);
  EXPECT_EQ(file->layout.ids[2], 1u);  // lowest free identifier
  EXPECT_EQ(file->layout.formats[0], 44100u | TRACK_DCT | TRACK_STEREO | TRACK_16BIT);
  EXPECT_EQ(file->layout.formats[1], 22050u | TRACK_DCT | TRACK_STEREO | TRACK_16BIT);
  EXPECT_EQ(file->layout.formats[2], 8000u | TRACK_REAL_DFT);
  ContainerFree(file);

  ASSERT_EQ(Vexa("decode " + vxa + " --wav " + Temp("o.wav")), 0);
  const Wav t = ReadOurWav(Temp("o.0.wav")), wa = ReadOurWav(Temp("o.7.wav")), wb = ReadOurWav(Temp("o.1.wav"));
  ASSERT_EQ(wa.s.size(), a.size());
  EXPECT_EQ(wa.rate, 22050u);
  EXPECT_EQ(wa.channels, 2u);
  EXPECT_GT(Snr(a, wa.s), 40.0);
  ASSERT_EQ(wb.s.size(), b.size());
  EXPECT_EQ(wb.bits, 16u);
  // The track plays through an 8-bit output: its WAV holds what 8 bits keep
  // of the decoded sound.
  EXPECT_GT(Snr(b, wb.s), 28.0);
  for (int16_t x : wb.s) ASSERT_EQ(x & 0xFF, 0);

  TestSound gen;
  TestSoundInit(&gen, 64, 48, 30, 1, 44100, 2);
  std::vector<int16_t> want(44100 * 2);
  TestSoundNext(&gen, 44100, want.data());
  ASSERT_EQ(t.s.size(), want.size());
  EXPECT_GT(Snr(want, t.s), 40.0);

  // One track by identifier, to exactly the name given.
  ASSERT_EQ(Vexa("decode " + vxa + " --wav " + Temp("seven.wav") + " --track 7"), 0);
  EXPECT_EQ(ReadOurWav(Temp("seven.wav")).s, wa.s);
  EXPECT_EQ(Vexa("decode " + vxa + " --wav " + Temp("none.wav") + " --track 5"), 1);
}

TEST(AudioTools, BadSoundInputsAreRefused) {
  const std::string out = Temp("bad.vxa");
  WriteWav(Temp("fast.wav"), 96000, 1, 16, std::vector<int16_t>(100, 0));
  WriteWav(Temp("ok.wav"), 16000, 1, 16, std::vector<int16_t>(100, 0));
  EXPECT_EQ(Vexa("encode --quiet --testsrc 16x16 --frames 2 --audio " + Temp("fast.wav") + " -o " + out), 1);
  EXPECT_EQ(Vexa("encode --quiet --testsrc 16x16 --frames 2 --audio " + Temp("missing.wav") + " -o " + out), 1);
  EXPECT_EQ(Vexa("encode --quiet --testsrc 16x16 --frames 2 --track-id 3 -o " + out), 2);
  EXPECT_EQ(Vexa("encode --quiet --testsrc 16x16 --frames 2 --audio " + Temp("ok.wav") + " --audio-kind mp -o " + out), 2);
  EXPECT_EQ(Vexa("encode --quiet --testsrc 16x16 --frames 2 --audio " + Temp("ok.wav") + " --track-id 4 --audio " +
                 Temp("ok.wav") + " --track-id 4 -o " + out),
            1)
      << "an identifier given twice";
  // A silent file has no sound to write.
  ASSERT_EQ(Vexa("sample -o " + Temp("silent.vxa")), 0);
  EXPECT_EQ(Vexa("decode " + Temp("silent.vxa") + " --wav " + Temp("s.wav")), 1);
}

}  // namespace
