// vexa sample -o OUT.vxa: a small, structurally valid Vexa file written
// through the container writer, for trying the tools and the player's file
// handling before real encoded material exists.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/container.h"
#include "base/container_writer.h"
#include "base/media_error.h"
#include "tools/commands.h"
#include "tools/tool_files.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: vexa sample -o OUT.vxa [--tracks N] [--size WxH] [--frames N]\n"
               "       (-o - writes to standard output)\n\n"
               "Writes a small valid Vexa container: 200 x 200, 50 frames at\n"
               "10000000/333333 frames per second, frame 1 a key frame, silent unless\n"
               "--tracks N (0 to 8) adds N audio tracks (identifiers 0, 1, ...).\n"
               "The layout (header, tables, index, packets) is real, but the video data\n"
               "of each frame is placeholder bytes, not an encoded picture, and every\n"
               "audio packet is a dummy that declares 0 bytes of decoded sound.\n");
}

bool ParseU32(const char* text, uint32_t* out) {
  char* end;
  unsigned long v = std::strtoul(text, &end, 10);
  if (end == text || *end || v > 0xFFFFFFFFul) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

bool ParseSize(const char* text, uint32_t* w, uint32_t* h) {
  unsigned a, b;
  char tail;
  if (std::sscanf(text, "%ux%u%c", &a, &b, &tail) != 2 || !a || !b || a > 4096 || b > 4096) return false;
  *w = a;
  *h = b;
  return true;
}

}  // namespace

int CommandSample(int argc, char** argv) {
  const char* out = nullptr;
  uint32_t tracks = 0, width = 200, height = 200, frames = 50;
  for (int i = 1; i < argc; i += 2) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      Usage(stdout);
      return 0;
    }
    const bool known = !std::strcmp(a, "-o") || !std::strcmp(a, "--tracks") || !std::strcmp(a, "--size") ||
                       !std::strcmp(a, "--frames");
    if (known && !v) {
      std::fprintf(stderr, "vexa sample: %s needs a value\n", a);
      return 2;
    }
    bool ok = known;
    if (!std::strcmp(a, "-o")) out = v;
    else if (!std::strcmp(a, "--tracks")) ok = ok && ParseU32(v, &tracks) && tracks <= 8;
    else if (!std::strcmp(a, "--size")) ok = ok && ParseSize(v, &width, &height);
    else if (!std::strcmp(a, "--frames")) ok = ok && ParseU32(v, &frames) && frames >= 1 && frames <= 100000;
    if (!ok) {
      if (known) std::fprintf(stderr, "vexa sample: bad value for %s: '%s'\n", a, v);
      else std::fprintf(stderr, "vexa sample: unknown argument '%s'\n", a);
      Usage(stderr);
      return 2;
    }
  }
  if (!out) {
    Usage(stderr);
    return 2;
  }
  PendingOutput output;
  std::string error;
  if (!PendingOutputOpen(out, &output, &error)) {
    std::fprintf(stderr, "vexa sample: %s\n", error.c_str());
    return 1;
  }

  std::vector<ContainerTrack> table;
  for (uint32_t t = 0; t < tracks; ++t) {
    // Alternate the two decoder kinds and channel layouts so tools show both.
    uint32_t rate = t & 1 ? 44100 : 22050;
    uint32_t format = rate | TRACK_16BIT | (t & 1 ? TRACK_DCT : TRACK_REAL_DFT | TRACK_STEREO);
    table.push_back({rate * 4, format, t});
  }
  ContainerSettings settings{'i', width, height, 10000000, 333333, 0, tracks, table.data()};
  ContainerWriter* writer = ContainerWriterCreate(&settings);
  if (!writer) {
    std::fprintf(stderr, "vexa sample: %s\n", MediaGetError());
    PendingOutputAbandon(&output);
    return 1;
  }

  // Placeholder video (zero bytes): a key frame about the size of a picture's worth of
  // coarse data, then smaller frames whose sizes vary so that the rate
  // figures of `vexa info` have something to show.
  std::vector<uint8_t> video(width * height / 4 + 64);
  // Dummy audio: a decoded-byte count of 0 followed by 8 filler bytes.
  const uint8_t dummy_audio[12] = {0, 0, 0, 0, 0x5a, 0x5a, 0x5a, 0x5a, 0xa5, 0xa5, 0xa5, 0xa5};
  std::vector<const uint8_t*> audio(tracks, dummy_audio);
  std::vector<uint32_t> audio_sizes(tracks);
  for (uint32_t n = 0; n < frames; ++n) {
    uint32_t size = n == 0 ? static_cast<uint32_t>(video.size()) : 64 + (n * 37) % 251;
    // Every other frame has sound on the tracks, so empty packets occur too.
    for (uint32_t t = 0; t < tracks; ++t) audio_sizes[t] = (n + t) % 2 ? 0 : sizeof(dummy_audio);
    ContainerFrame frame{n == 0, audio.data(), audio_sizes.data(), video.data(), size};
    if (!ContainerWriterAddFrame(writer, &frame)) {
      std::fprintf(stderr, "vexa sample: %s\n", MediaGetError());
      ContainerWriterDestroy(writer);
      PendingOutputAbandon(&output);
      return 1;
    }
  }
  std::vector<uint8_t> bytes;
  if (!ContainerWriterFinishToMemory(writer, &bytes)) {
    std::fprintf(stderr, "vexa sample: %s\n", MediaGetError());
    PendingOutputAbandon(&output);
    return 1;
  }
  if (!PendingOutputCommit(&output, bytes, &error)) {
    std::fprintf(stderr, "vexa sample: %s\n", error.c_str());
    PendingOutputAbandon(&output);
    return 1;
  }
  return 0;
}
