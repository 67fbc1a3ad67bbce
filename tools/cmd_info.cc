#include <cstdio>

#include "tools/commands.h"

int CommandInfo(int argc, char** argv) {
  std::fprintf(stderr, "vexa info: not built yet\n");
  return 1;
}
