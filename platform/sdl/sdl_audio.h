// The SDL2 sound driver: both device kinds on SDL audio devices. The queued
// device opens one SDL device per wave device in the track's own format;
// the looping device opens one shared SDL device and mixes every playing
// buffer in its callback.
#pragma once
#include <cstdint>

#include "sound/sound_drivers.h"

// The driver's list entry ("sdl").
extern const SoundBootstrap kSdlSoundDriver;

// Registers the sound drivers of this program in order of preference: SDL,
// then the headless one (used only when VEXA_PLATFORM names it). Programs
// and tests call it once at start, before choosing a sound output.
void PlatformRegisterSoundDrivers();

// Processor time spent in the audio callbacks so far, and the frames they
// delivered (for measurements).
uint64_t SdlAudioCallbackNanos();
uint64_t SdlAudioCallbackFrames();
