// vexa info FILE [--json]: what a Vexa file's header, track tables and frame
// index say, without decoding any frame. With --summary it plays the file
// through the playback core instead and prints the playback counters.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/container.h"
#include "base/media_error.h"
#include "tools/commands.h"
#include "tools/file_description.h"
#include "tools/play_summary.h"
#include "tools/tool_files.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: vexa info FILE [--json]    (FILE '-' reads standard input)\n\n"
               "Describes the file: duration, picture size, size, sound tracks and data\n"
               "rates first, then the file's own terms (revision, rate fraction, video\n"
               "flags, track formats, frame and key-frame counts, largest frame).\n"
               "Frames are numbered from 1. --json prints the same as one JSON object.\n\n"
               "       vexa info FILE --summary [--preload] [--no-thread] [--loops N] [--json]\n\n"
               "Plays the file through the playback core as fast as it goes, without a\n"
               "display, every sound track decoded, and prints the playback summary:\n"
               "frames played, corrupt frames, skips, read speed, memory and timings.\n"
               "--preload reads the whole file first, --no-thread reads without the\n"
               "reader thread, --loops N plays it N times; all three need --summary.\n"
               "With --json the object holds the description's members under the same\n"
               "names as plain --json, and the counters under \"playback\".\n\n"
               "Exit codes: 0 done; 1 the file cannot be read; 2 bad usage; 3 (--summary)\n"
               "playback delivered fewer frames than the file promises.\n");
}

bool ParseLoops(const char* text, uint32_t* loops) {
  char* end = nullptr;
  const unsigned long n = std::strtoul(text, &end, 10);
  if (!*text || *end || *text == '-' || n < 1 || n > 1000000) return false;
  *loops = uint32_t(n);
  return true;
}

}  // namespace

int CommandInfo(int argc, char** argv) {
  const char* path = nullptr;
  bool json = false;
  bool summary = false;
  const char* summary_only = nullptr;  // an option that needs --summary
  PlaySummaryOptions play;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      Usage(stdout);
      return 0;
    }
    if (!std::strcmp(a, "--json")) {
      json = true;
    } else if (!std::strcmp(a, "--summary")) {
      summary = true;
    } else if (!std::strcmp(a, "--preload")) {
      play.preload = true;
      summary_only = a;
    } else if (!std::strcmp(a, "--no-thread")) {
      play.no_thread = true;
      summary_only = a;
    } else if (!std::strcmp(a, "--loops")) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vexa info: --loops needs a value\n");
        return 2;
      }
      if (!ParseLoops(argv[++i], &play.loops)) {
        std::fprintf(stderr, "vexa info: --loops takes 1 to 1000000, not '%s'\n", argv[i]);
        return 2;
      }
      summary_only = a;
    } else if (a[0] == '-' && a[1]) {
      std::fprintf(stderr, "vexa info: unknown option '%s'\n", a);
      Usage(stderr);
      return 2;
    } else if (!path) {
      path = a;
    } else {
      std::fprintf(stderr, "vexa info: one file at a time ('%s' and '%s')\n", path, a);
      return 2;
    }
  }
  if (!path) {
    Usage(stderr);
    return 2;
  }
  if (summary_only && !summary) {
    std::fprintf(stderr, "vexa info: %s does nothing without --summary\n", summary_only);
    return 2;
  }
  // Standard input is read whole: the summary plays it from memory.
  std::vector<uint8_t> image;
  const bool from_memory = IsStdStream(path);
  if (from_memory) {
    std::string error;
    if (!ReadWholeInput(path, &image, &error)) {
      std::fprintf(stderr, "vexa info: %s\n", error.c_str());
      return 1;
    }
  }
  ContainerFile* file = from_memory ? ContainerLoadMemory(image.data(), image.size()) : ContainerLoadPath(path);
  if (!file) {
    ReportInputFailure("info", path, MediaGetError());
    return 1;
  }
  FileDescription d;
  DescribeFile(&file->layout, &d);
  int rc = 0;
  if (summary) {
    play.json = json;
    rc = PlaySummary(path, from_memory ? &image : nullptr, &file->layout, d, play);
  } else if (json) {
    std::printf("{%s}\n", DescriptionJsonMembers(path, &file->layout, d).c_str());
  } else {
    PrintDescriptionText(stdout, path, &file->layout, d);
    const uint32_t intact = ContainerIntactFrames(&file->layout, file->available), promised = file->layout.header.frame_count;
    if (intact < promised) std::printf("intact frames: %u of %u (damaged or cut off: playback stops after them)\n", intact, promised);
  }
  ContainerFree(file);
  return rc;
}
