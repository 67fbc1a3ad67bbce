// vexa logo: makes the player's closing logo clip. The clip built into the
// player (player/logo.vxa) is exactly what `vexa logo -o player/logo.vxa`
// writes.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "encode/logo_picture.h"
#include "tools/commands.h"
#include "tools/tool_files.h"

namespace {
const char kHelp[] =
    "usage: vexa logo -o OUT.vxa    (-o - writes to standard output)\n"
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
    if (!std::strcmp(argv[i], "-o") || !std::strcmp(argv[i], "--output")) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vexa logo: %s needs a value\n", argv[i]);
        return 2;
      }
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
  PendingOutput out;
  std::string error;
  if (!PendingOutputOpen(output, &out, &error)) {
    std::fprintf(stderr, "vexa logo: %s\n", error.c_str());
    return 1;
  }
  std::vector<uint8_t> clip;
  if (!MakeLogoClip(&clip)) {
    std::fprintf(stderr, "vexa logo: the picture could not be coded\n");
    PendingOutputAbandon(&out);
    return 1;
  }
  if (!PendingOutputCommit(&out, clip, &error)) {
    std::fprintf(stderr, "vexa logo: %s\n", error.c_str());
    PendingOutputAbandon(&out);
    return 1;
  }
  return 0;
}
