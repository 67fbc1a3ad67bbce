// Decoding one track's audio packet of a frame: a 32-bit count of decoded
// bytes, then coded blocks until that count is reached, the last block's
// output cut short. Used by the playback core and the tools.
#pragma once
#include <cstdint>

#include "audio/audio_decoder.h"

// Receives each block's delivered PCM (bytes is even; whole sample frames).
typedef void (*AudioPcmSink)(void* context, const int16_t* pcm, uint32_t bytes);

struct AudioPacketResult {
  uint32_t owed;       // the packet's decoded-byte count (whole sample frames)
  uint32_t delivered;  // bytes handed to the sink
  uint32_t blocks;     // blocks decoded
  uint32_t overrun;    // 1 when the packet ended before its blocks did
};

// Decodes the `size` bytes that follow a packet's length field, reading
// nothing outside them. Returns 1 when the full count was delivered from
// whole blocks; 0 when the packet ended before its blocks did (a block cut
// off by the end of the packet is decoded with zero bits for the missing
// ones and delivered, then decoding stops; delivered may fall short of
// owed) or is too short to hold the count. A count that is not a whole number of
// sample frames is taken down to one, so channels stay in step.
int AudioDecodePacket(AudioDecoder* decoder, const uint8_t* packet, uint32_t size, AudioPcmSink sink,
                      void* context, AudioPacketResult* result);
