#include "audio/audio_packet.h"

int AudioDecodePacket(AudioDecoder* d, const uint8_t* packet, uint32_t size, AudioPcmSink sink,
                      void* context, AudioPacketResult* result) {
  AudioPacketResult res{0, 0, 0, 0};
  int ok = 1;
  if (size > 0 && size < 4) {
    res.overrun = 1;
    ok = 0;
  } else if (size >= 4) {
    const uint32_t count = uint32_t(packet[0]) | uint32_t(packet[1]) << 8 | uint32_t(packet[2]) << 16 |
                           uint32_t(packet[3]) << 24;
    const uint32_t frame = 2 * d->channels;
    res.owed = count - count % frame;
    uint32_t remaining = res.owed;
    const uint8_t* p = packet + 4;
    const uint8_t* end = packet + size;
    while (remaining > 0) {
      if (p >= end) {
        res.overrun = 1;
        break;
      }
      const int16_t* pcm = nullptr;
      uint32_t n = 0;
      const uint8_t* next = end;
      const int whole = AudioDecodeBlock(d, p, end, &pcm, &n, &next);
      const uint32_t take = n < remaining ? n : remaining;
      if (sink && take) sink(context, pcm, take);
      remaining -= take;
      ++res.blocks;
      if (!whole) {
        res.overrun = 1;
        break;
      }
      p = next;
    }
    res.delivered = res.owed - remaining;
    ok = remaining == 0 && !res.overrun;
  }
  if (result) *result = res;
  return ok;
}
