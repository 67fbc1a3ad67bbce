// The player's entry: everything from the command line to the exit code.
// The program that calls it has registered the window table
// (player/window_services.h), the display driver and the sound driver of
// the platform it chose.
#pragma once
#include "sound/track_record.h"

struct PlayerStartup {
  int argc;
  const char* const* argv;
  // The sound outputs /Z chooses between.
  SoundInitialiser wave_out;
  SoundInitialiser direct_sound;
};

int PlayerMain(const PlayerStartup* startup);
