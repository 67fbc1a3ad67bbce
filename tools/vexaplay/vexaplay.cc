// vexaplay: plays Vexa files in a window (SDL2), or without a display on
// the headless window, screen and sound (VEXA_PLATFORM=headless, chosen by
// itself when neither DISPLAY nor WAYLAND_DISPLAY is set).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/headless/headless_player.h"
#include "platform/sdl/sdl_player.h"
#include "player/player_main.h"
#include "sound/dsound_output.h"
#include "sound/wave_output.h"

namespace {

bool WantHeadless() {
  const char* platform = std::getenv("VEXA_PLATFORM");
  if (platform && *platform) return std::strcmp(platform, "headless") == 0;
  return !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  const bool headless = WantHeadless();
  if (headless) {
    const char* error = nullptr;
    if (!HeadlessPlayerStart(&error)) {
      std::fprintf(stderr, "vexaplay: %s\n", error);
      return 1;
    }
  } else if (!SdlPlayerStart()) {
    std::fprintf(stderr, "vexaplay: no display (%s); set VEXA_PLATFORM=headless to play without one\n",
                 SdlPlayerError());
    return 1;
  }
  PlayerStartup startup{argc, argv, WaveOutInitialiser, DirectSoundInitialiser};
  int code = PlayerMain(&startup);
  if (headless) HeadlessPlayerStop();
  else SdlPlayerStop();
  return code;
}
