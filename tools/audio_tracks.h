// Sound tracks for the tools: `vexa encode` turns WAV files (and, with the
// test picture, the test sound) into one packet per video frame for the
// container writer; `vexa decode --wav` turns a file's tracks back into WAV.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/container_writer.h"

struct AudioTrackRequest {
  std::string wav;       // input file; empty for the test sound
  uint32_t kind = 1;     // 1: cosine transform (dct), 0: real DFT (dft)
  int64_t id = -1;       // -1: the lowest identifier not taken
  bool eight_bit = false;
};

struct AudioTrackOptions {
  std::vector<AudioTrackRequest> tracks;
};

// Parses the sound options of `vexa encode` at argv[i]: --audio IN.wav, and
// after it --audio-kind dct|dft, --track-id N and --8bit for that track.
// Returns the arguments used, 0 when argv[i] is not one of them, -1 after
// printing what is wrong.
int AudioTracksParseOption(AudioTrackOptions* o, int argc, char** argv, int i);
// Help lines for those options.
extern const char kAudioTracksHelp[];

// The sound leads the picture in the file: a frame's packets hold the sound
// due this long after the frame is shown. A player fills its sound device
// from the first frame and still starts the sound with the first picture;
// the last frames of a clip carry no sound. The silence a player puts in
// after restarting its sound, and the draining of its last stretch, assume
// this lead.
constexpr uint32_t kSoundLeadMs = 750;

struct AudioTrackState;
struct PendingPicture {
  bool key;
  std::vector<uint8_t> video;
};
struct AudioTracks {
  std::vector<ContainerTrack> tracks;  // table entries for ContainerSettings
  std::vector<AudioTrackState*> state;
  std::vector<const uint8_t*> packet_ptrs;
  std::vector<uint32_t> packet_sizes;
  uint32_t rate_num = 0, rate_den = 1;  // video frames per second
  std::deque<PendingPicture> pending;   // pictures waiting for their sound
  uint32_t pictures_in = 0, frames_out = 0;
  uint64_t other_bytes = 0;  // of the frames out: sound packets and their length fields
};

// Opens the requested tracks at the video's frame rate; with a test
// picture (test_width > 0) the test sound comes first as a track of its
// own. False with a message for an unreadable WAV, a bad rate or a repeated
// identifier.
bool AudioTracksOpen(const AudioTrackOptions& o, uint32_t test_width, uint32_t test_height, uint32_t rate_num,
                     uint32_t rate_den, AudioTracks* out, std::string* error);
// Hands the next coded picture (`frame` without sound) on to the writer. It
// waits until the sound that leads it is known to lie inside the clip, so
// frames reach the writer up to the lead's worth of pictures later. A WAV
// that has ended gives silence, so sound lasts as long as the video.
bool AudioTracksAddFrame(AudioTracks* t, const ContainerFrame& frame, ContainerWriter* writer, std::string* error);
// The clip has ended: writes the waiting frames, the sound's tail with them.
bool AudioTracksFinish(AudioTracks* t, ContainerWriter* writer, std::string* error);
void AudioTracksClose(AudioTracks* t);

// OUT with `id` inserted before the extension.
std::string AudioTrackWavName(const std::string& output, uint32_t id);
