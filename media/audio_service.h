// Sound servicing of a media file: per-track set-up at open, decoding each
// frame's packets into the track rings, feeding the rings to the sound
// output, sound on and off with the silence pre-roll.
#pragma once
#include <cstdint>

#include "sound/track_record.h"

struct MediaFile;
struct ServiceNode;

// Sets up the opened track at list position `slot` (file track `position`)
// on the output's track-open operation. False when the track must be
// dropped (the output, the ring or the decoder failed); the record is then
// closed.
bool MediaOpenTrack(MediaFile* m, uint32_t slot, uint32_t position, SoundOpenOp open);
// Closes every opened track: output, decoder and ring.
void MediaCloseTracks(MediaFile* m);

// Decodes one packet of the opened track in `slot` into its ring. The caller
// holds the audio lock.
void MediaDecodeTrackPacket(MediaFile* m, uint32_t slot, const uint8_t* packet, uint32_t size);

// Moves ring data into the outputs while they take it. Never blocks: when
// the audio lock is busy the attempt is skipped.
void MediaServiceSound(MediaFile* m);
// Turns sound off (on = 0) or on again (1) on every opened track; returns 1
// when sound is playing afterwards. Takes the audio lock.
int MediaSoundOnOff(MediaFile* m, int on);

// The audio node's client operations for the audio service thread.
uint32_t AudioClientNeed(ServiceNode* node, uint32_t pass);
void AudioClientService(ServiceNode* node, uint32_t pass);

// Process-wide count of tracks ever opened on a sound output.
uint32_t MediaTracksEverOpened();
