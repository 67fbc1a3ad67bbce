// A clip's sound through the core and the DirectSound output on the SDL driver,
// in real time, into SDL's file-writing audio driver: the file holds the
// decoded track, aligned and complete.
#include <gtest/gtest.h>

#include "sound/dsound_output.h"
#include "sound_playback_helpers.h"

namespace {

TEST(SdlDirectSoundTest, DiskDriverFileHoldsTheTrack) { ExpectSdlDiskFileHoldsTheTrack(DirectSoundInitialiser, "sdl_dsound"); }

}  // namespace
