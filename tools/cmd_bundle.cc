// vexa bundle: a self-playing copy of the player. The copy is the player's
// program file with the media appended and its embedded switch field set to
// ":OFFSET SWITCHES", so that running it plays the appended media.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "player/embedded_switches.h"
#include "tools/commands.h"
#include "tools/tool_files.h"

namespace {

const char kHelp[] =
    "usage: vexa bundle IN.vxa -o OUT [--player PATH] [SWITCHES...]\n"
    "\n"
    "Writes OUT, a copy of the player (vexaplay beside this program, or PATH)\n"
    "that plays IN.vxa, appended to it, when run; the switches (for example /L\n"
    "or /S) are stored in the copy and apply to every run. IN.vxa '-' reads\n"
    "standard input; -o - writes the copy to standard output.\n";

// vexaplay in this program's own directory.
std::string DefaultPlayer() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n <= 0) return "vexaplay";
  self[n] = 0;
  std::string path = self;
  size_t slash = path.rfind('/');
  return path.substr(0, slash + 1) + "vexaplay";
}

}  // namespace

int CommandBundle(int argc, char** argv) {
  const char* input = nullptr;
  const char* output = nullptr;
  std::string player;
  std::string switches;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    const bool takes_value = !std::strcmp(a, "-o") || !std::strcmp(a, "--output") || !std::strcmp(a, "--player");
    if (takes_value && i + 1 >= argc) {
      std::fprintf(stderr, "vexa bundle: %s needs a value\n", a);
      return 2;
    }
    if (!std::strcmp(a, "-o") || !std::strcmp(a, "--output")) {
      output = argv[++i];
    } else if (!std::strcmp(a, "--player")) {
      player = argv[++i];
    } else if (!input) {
      input = a;
    } else {
      switches += ' ';
      switches += a;
    }
  }
  if (!input || !output) {
    std::fprintf(stderr, "vexa bundle: give IN.vxa and -o OUT\n\n%s", kHelp);
    return 2;
  }
  if (player.empty()) player = DefaultPlayer();
  if (SameFile(output, input) || SameFile(output, player.c_str())) {
    std::fprintf(stderr, "vexa bundle: %s is an input; refusing to overwrite it\n", output);
    return 2;
  }
  std::vector<uint8_t> program, media;
  std::string error_text;
  if (!ReadWholeInput(player.c_str(), &program, &error_text)) {
    std::fprintf(stderr, "vexa bundle: the player: %s\n", error_text.c_str());
    return 1;
  }
  if (!ReadWholeInput(input, &media, &error_text)) {
    std::fprintf(stderr, "vexa bundle: %s\n", error_text.c_str());
    return 1;
  }
  if (media.size() < 3 || std::memcmp(media.data(), "VXA", 3) != 0) {
    std::fprintf(stderr, "vexa bundle: %s is not a Vexa file\n", input);
    return 1;
  }
  // The media starts on an 8-byte boundary after the program.
  program.resize((program.size() + 7) & ~size_t(7), 0);
  std::string field = ":" + std::to_string(program.size()) + switches;
  const char* error = nullptr;
  if (!PatchEmbeddedSwitches(program.data(), program.size(), field.c_str(), &error)) {
    std::fprintf(stderr, "vexa bundle: %s\n", error);
    return 1;
  }
  FILE* f = OpenOutput(output, &error_text);
  if (!f) {
    std::fprintf(stderr, "vexa bundle: %s\n", error_text.c_str());
    return 1;
  }
  bool ok = std::fwrite(program.data(), 1, program.size(), f) == program.size() &&
            std::fwrite(media.data(), 1, media.size(), f) == media.size();
  ok = CloseOutput(f) && ok;
  if (!ok) {
    std::fprintf(stderr, "vexa bundle: %s\n", WriteProblem(output).c_str());
    return 1;
  }
  if (!IsStdStream(output)) chmod(output, 0755);
  return 0;
}
