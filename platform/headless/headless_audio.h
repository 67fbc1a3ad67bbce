// The headless sound driver: both device kinds without hardware. Devices
// consume in real time on the platform clock (the real one, an injected one
// or the virtual one), mix what plays at one device rate, and can write the
// mix to a 16-bit stereo WAV file or a caller's memory. Faults can be
// switched on for tests.
#pragma once
#include <cstdint>

#include "sound/sound_drivers.h"

// The driver's list entry ("headless", demand-only).
extern const SoundBootstrap kHeadlessSoundDriver;

struct HeadlessAudioFaults {
  bool no_library;          // the driver's audio cannot start
  bool fail_open;           // waveOutOpen and secondary CreateSoundBuffer fail
  uint32_t lose_buffer;     // the next N Lock and Play calls report a lost buffer (~0u: for ever)
  bool stall_cursors;       // cursor readings stop moving (a stuck driver); the device plays on
  uint32_t jitter_bytes;    // readings of the play cursor wander by up to this much
  uint32_t play_offset;     // added to the play cursor's readings only (readings that disagree)
  bool stop_consuming;      // the device stops taking data
  bool status_stuck;        // GetStatus keeps reporting playing after Stop
};

// Replaces the faults in force (null clears them). Takes effect at once.
void HeadlessAudioSetFaults(const HeadlessAudioFaults* faults);
HeadlessAudioFaults HeadlessAudioGetFaults();

// Device rate of the mix: 0 (default) takes the first device's format
// (the primary buffer's, or the first wave device's) and otherwise 44100.
void HeadlessAudioSetRate(uint32_t rate);
uint32_t HeadlessAudioRate();

// Captures the mix, stereo 16-bit frames at the device rate, into the
// caller's memory (null stops). The count of frames stored so far:
void HeadlessAudioCaptureMemory(int16_t* frames, uint32_t capacity_frames);
uint32_t HeadlessAudioCapturedFrames();
// Writes the mix to a WAV file from now on (null closes it, completing the
// header). VEXA_HEADLESS_WAV names one when the driver starts.
bool HeadlessAudioCaptureWav(const char* path);

// Whether the driver, when it starts, runs a thread that brings the devices
// up to the clock every 5 ms (default on). Tests that move an injected clock
// themselves turn it off and call HeadlessAudioAdvance after each move.
void HeadlessAudioSetTicker(bool on);
// Brings the devices up to the clock now (every device call does this too).
void HeadlessAudioAdvance();
// Stereo frames mixed since the driver started.
uint64_t HeadlessAudioMixedFrames();
// Lost-buffer restores seen since the driver started.
uint32_t HeadlessAudioRestores();
