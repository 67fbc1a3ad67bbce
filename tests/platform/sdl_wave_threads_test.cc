// A clip's sound through the core and the Wave output on the SDL driver,
// in real time, into SDL's file-writing audio driver: the file holds the
// decoded track, aligned and complete.
#include <gtest/gtest.h>

#include "sound/wave_output.h"
#include "sound_playback_helpers.h"

namespace {

TEST(SdlWaveTest, DiskDriverFileHoldsTheTrack) { ExpectSdlDiskFileHoldsTheTrack(WaveOutInitialiser, "sdl_wave"); }

}  // namespace
