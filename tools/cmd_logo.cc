// vexa logo: makes the player's closing logo clip. The clip built into the
// player (player/logo.vxa) is exactly what `vexa logo -o player/logo.vxa`
// writes.
#include <cstdio>
#include <cstring>
#include <vector>

#include "encode/logo_picture.h"
#include "tools/commands.h"

namespace {
const char kHelp[] =
    "usage: vexa logo -o OUT.vxa\n"
    "\n"
    "Writes the player's closing logo clip: one 224x252 picture drawn by this\n"
    "program, coded at 10 frames per second without sound.\n";
}  // namespace

int CommandLogo(int argc, char** argv) {
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if ((!std::strcmp(argv[i], "-o") || !std::strcmp(argv[i], "--output")) && i + 1 < argc) {
      output = argv[++i];
      continue;
    }
    std::fprintf(stderr, "vexa logo: unexpected argument %s\n\n%s", argv[i], kHelp);
    return 2;
  }
  if (!output) {
    std::fprintf(stderr, "vexa logo: give -o OUT.vxa\n\n%s", kHelp);
    return 2;
  }
  std::vector<uint8_t> clip;
  if (!MakeLogoClip(&clip)) {
    std::fprintf(stderr, "vexa logo: the picture could not be coded\n");
    return 1;
  }
  FILE* f = std::fopen(output, "wb");
  bool ok = f && std::fwrite(clip.data(), 1, clip.size(), f) == clip.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) {
    std::fprintf(stderr, "vexa logo: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
