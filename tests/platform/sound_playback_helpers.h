// Whole-file sound playback for the output tests: clips made by `vexa
// encode`, references made by `vexa decode --wav`, the core playing on the
// injected clock into the headless device, and the comparison of what the
// device played with the reference.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sound/track_record.h"

// A per-process temporary path.
std::string SoundTempPath(const std::string& name);
// Runs the vexa program with these arguments; its exit status.
int RunVexa(const std::string& args);
// 16-bit samples of a WAV file (interleaved); empty when it cannot be read.
std::vector<int16_t> ReadWav16(const std::string& path, uint32_t* rate, uint32_t* channels);
void WriteWav16(const std::string& path, uint32_t rate, uint32_t channels, const std::vector<int16_t>& samples);
// A tone gliding from `from` to `to` Hz over `seconds`, mono.
std::vector<int16_t> Glide(uint32_t rate, double seconds, double from, double to, double amplitude);

// Plays the file's first `frames` frames through the core on the injected
// clock, 1 ms at a time, then `tail_ms` more; the headless device's mix
// (stereo frames) is captured. Track identifiers: empty takes the default.
std::vector<int16_t> PlayThroughCore(const std::string& path, uint32_t frames, uint32_t tail_ms,
                                     const std::vector<uint32_t>& tracks = {}, uint32_t* sound_skips = nullptr,
                                     const std::function<void(uint32_t frame)>& before_frame = nullptr);

// Where `reference` (with `channels` channels) starts in the stereo
// capture, matching every sample after masking both with `mask`; -1 when
// it is not there whole.
long FindInCapture(const std::vector<int16_t>& capture, const std::vector<int16_t>& reference, uint32_t channels,
                   uint16_t mask = 0xFFFF);

// Plays the file through the core in real time on the SDL driver with SDL's
// file-writing audio driver, then quits the driver; the raw bytes SDL wrote
// (the device format: 16-bit little-endian samples). The output must have
// been chosen. Empty when SDL's audio cannot start.
std::vector<int16_t> PlayThroughSdlDisk(const std::string& path, uint32_t frames, uint32_t tail_ms,
                                        const std::string& disk_file);
// Sets SDL's file-writing driver up and chooses the SDL sound driver.
void UseSdlDiskAudio(const std::string& disk_file);
// Plays a small clip through the output that `initialiser` makes, on SDL's
// file-writing driver in real time, and checks that the file holds the
// decoded track, aligned and complete. `tag` keeps the files apart.
void ExpectSdlDiskFileHoldsTheTrack(SoundInitialiser initialiser, const std::string& tag);
