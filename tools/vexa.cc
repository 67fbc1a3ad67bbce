// vexa: inspect, convert and make Vexa media files.
#include <cstdio>
#include <cstring>

#include "tools/commands.h"
#include "tools/tool_files.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

const Command kCommands[] = {
    {"info", CommandInfo, "describe a Vexa file's header, tracks and frames"},
    {"sample", CommandSample, "write a small valid Vexa file (placeholder video)"},
    {"encode", CommandEncode, "encode YUV4MPEG2 video or a test picture into a Vexa file"},
    {"decode", CommandDecode,
     "decode a Vexa file: video to YUV4MPEG2 (-o) with its alpha plane\n"
     "           (--alpha), frames to PNG files (--png) or raw surfaces (--rgb),\n"
     "           sound to WAV (--wav)"},
    {"logo", CommandLogo, "write the player's closing logo clip"},
    {"bundle", CommandBundle, "make a self-playing copy of the player with a clip inside"},
    {"pan", CommandPan, "make YUV4MPEG2 test video by panning and zooming across photographs"},
};

void Usage(FILE* out) {
  std::fprintf(out, "usage: vexa COMMAND [ARGS]\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
  std::fprintf(out,
               "\n'vexa COMMAND --help' describes a command. A file name '-' means standard\n"
               "input or output. Frames are numbered from 1. 'vexa --version' prints the version.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
    Usage(stdout);
    return 0;
  }
  if (!std::strcmp(argv[1], "--version") || !std::strcmp(argv[1], "-V")) {
    std::printf("vexa %s\n", kVexaVersion);
    return 0;
  }
  for (const Command& c : kCommands)
    if (!std::strcmp(argv[1], c.name)) return c.run(argc - 1, argv + 1);
  std::fprintf(stderr, "vexa: unknown command '%s'\n\n", argv[1]);
  Usage(stderr);
  return 2;
}
