#include "sound_playback_helpers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/audio_service.h"
#include "media/media.h"
#include "media/media_file.h"
#include "base/thread.h"
#include "platform/sdl/sdl_audio.h"
#include "sound/sound_drivers.h"
#include "sound_test_helpers.h"

std::string SoundTempPath(const std::string& name) {
  return std::string(::testing::TempDir()) + "sound_" + std::to_string(getpid()) + "_" + name;
}

int RunVexa(const std::string& args) {
  const std::string cmd = std::string(VEXA_TOOL_PATH) + " " + args + " >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
uint32_t Le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
void Put(std::vector<uint8_t>* v, uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v->push_back(uint8_t(x >> (8 * i)));
}
}  // namespace

std::vector<int16_t> ReadWav16(const std::string& path, uint32_t* rate, uint32_t* channels) {
  std::vector<int16_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  std::vector<uint8_t> b;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) b.insert(b.end(), chunk, chunk + n);
  std::fclose(f);
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) return out;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = Le(&b[at + 4], 4);
    if (!std::memcmp(&b[at], "fmt ", 4) && at + 24 <= b.size()) {
      *channels = Le(&b[at + 10], 2);
      *rate = Le(&b[at + 12], 4);
    } else if (!std::memcmp(&b[at], "data", 4)) {
      const size_t end = std::min(b.size(), at + 8 + size_t(size));
      for (size_t i = at + 8; i + 1 < end; i += 2) out.push_back(int16_t(Le(&b[i], 2)));
      return out;
    }
    at += 8 + size + (size & 1);
  }
  return out;
}

void WriteWav16(const std::string& path, uint32_t rate, uint32_t channels, const std::vector<int16_t>& s) {
  std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  Put(&v, 16, 4);
  Put(&v, 1, 2);
  Put(&v, channels, 2);
  Put(&v, rate, 4);
  Put(&v, rate * channels * 2, 4);
  Put(&v, channels * 2, 2);
  Put(&v, 16, 2);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put(&v, uint32_t(s.size() * 2), 4);
  for (int16_t x : s) Put(&v, uint16_t(x), 2);
  const uint32_t riff = uint32_t(v.size() - 8);
  std::memcpy(v.data() + 4, &riff, 4);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  std::fwrite(v.data(), 1, v.size(), f);
  std::fclose(f);
}

std::vector<int16_t> Glide(uint32_t rate, double seconds, double from, double to, double amplitude) {
  std::vector<int16_t> s(size_t(rate * seconds));
  double phase = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const double f = from + (to - from) * double(i) / double(s.size());
    phase += f / rate;
    s[i] = int16_t(std::lrint(amplitude * std::sin(2 * 3.14159265358979323846 * phase)));
  }
  return s;
}

std::vector<int16_t> PlayThroughCore(const std::string& path, uint32_t frames, uint32_t tail_ms,
                                     const std::vector<uint32_t>& tracks, uint32_t* sound_skips,
                                     const std::function<void(uint32_t frame)>& before_frame) {
  std::vector<int16_t> capture(size_t(2) * 48000 * 20);
  HeadlessAudioCaptureMemory(capture.data(), uint32_t(capture.size() / 2));
  uint32_t flags = 0;
  if (!tracks.empty()) {
    MediaSetSoundTracks(uint32_t(tracks.size()), tracks.data());
    flags |= OPEN_SOUND_TRACKS;
  }
  MediaFile* m = MediaOpen(path.c_str(), flags);
  EXPECT_NE(m, nullptr) << MediaGetError();
  if (!m) return {};
  for (uint32_t i = 0; i < frames; ++i) {
    if (before_frame) before_frame(i + 1);
    for (uint32_t waited = 0; MediaWait(m) && waited < 5000; ++waited) SoundTestAdvance(1);
    if (MediaDecodeFrame(m) != 0) {
      ADD_FAILURE() << "decode stopped at frame " << i + 1;
      break;
    }
    // After the last frame the next would be frame 1 again, whose sound is
    // held back; the tail plays out the end instead.
    if (i + 1 < frames) MediaNextFrame(m);
  }
  for (uint32_t t = 0; t < tail_ms; ++t) {
    SoundTestAdvance(1);
    MediaServiceSound(m);
  }
  PlaybackSummary summary{};
  MediaGetSummary(m, &summary);
  if (sound_skips) *sound_skips = summary.word[12];
  MediaClose(m);
  capture.resize(size_t(HeadlessAudioCapturedFrames()) * 2);
  HeadlessAudioCaptureMemory(nullptr, 0);
  return capture;
}

long FindInCapture(const std::vector<int16_t>& capture, const std::vector<int16_t>& reference, uint32_t channels,
                   uint16_t mask) {
  const size_t frames = reference.size() / channels;
  if (capture.size() / 2 < frames) return -1;
  auto match = [&](size_t at, size_t i) {
    for (uint32_t c = 0; c < 2; ++c) {
      const int16_t want = int16_t(reference[i * channels + (channels == 2 ? c : 0)] & mask);
      if (int16_t(capture[(at + i) * 2 + c] & mask) != want) return false;
    }
    return true;
  };
  for (size_t at = 0; at + frames <= capture.size() / 2; ++at) {
    size_t i = 0;
    while (i < frames && match(at, i)) ++i;
    if (i == frames) return long(at);
  }
  return -1;
}

void UseSdlDiskAudio(const std::string& disk_file) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", disk_file.c_str(), 1);
  PlatformRegisterSoundDrivers();
  SoundSelectDriver("sdl");
}

std::vector<int16_t> PlayThroughSdlDisk(const std::string& path, uint32_t frames, uint32_t tail_ms,
                                        const std::string& disk_file) {
  MediaFile* m = MediaOpen(path.c_str(), 0);
  EXPECT_NE(m, nullptr) << MediaGetError();
  if (!m) return {};
  EXPECT_EQ(m->opened_count, 1u);
  for (uint32_t i = 0; i < frames; ++i) {
    while (MediaWait(m)) PlatformSleep(1);
    if (MediaDecodeFrame(m) != 0) break;
    if (i + 1 < frames) MediaNextFrame(m);
  }
  for (uint32_t t = 0; t < tail_ms; t += 5) {
    PlatformSleep(5);
    MediaServiceSound(m);
  }
  MediaClose(m);
  SoundDriverQuit();  // closes SDL's audio, which completes the file
  std::vector<int16_t> out;
  FILE* f = std::fopen(disk_file.c_str(), "rb");
  if (!f) return out;
  uint8_t b[2];
  while (std::fread(b, 1, 2, f) == 2) out.push_back(int16_t(uint16_t(b[0] | (b[1] << 8))));
  std::fclose(f);
  return out;
}

void ExpectSdlDiskFileHoldsTheTrack(SoundInitialiser initialiser, const std::string& tag) {
  const std::string clip = SoundTempPath(tag + ".vxa"), ref = SoundTempPath(tag + "_ref.wav"),
                    disk = SoundTempPath(tag + ".raw");
  ASSERT_EQ(RunVexa("encode --quiet --testsrc 32x24 --frames 45 -o " + clip), 0);
  ASSERT_EQ(RunVexa("decode " + clip + " --wav " + ref + " --track 0"), 0);
  uint32_t rate = 0, channels = 0;
  const std::vector<int16_t> reference = ReadWav16(ref, &rate, &channels);
  ASSERT_EQ(channels, 2u);
  UseSdlDiskAudio(disk);
  ASSERT_EQ(MediaSetSoundSystem(initialiser, 0), 1);
  const std::vector<int16_t> played = PlayThroughSdlDisk(clip, 45, 800, disk);
  EXPECT_GE(FindInCapture(played, reference, 2), 0) << played.size() << " samples written";
  std::remove(clip.c_str());
  std::remove(ref.c_str());
  std::remove(disk.c_str());
}
