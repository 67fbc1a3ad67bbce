// Fuzzes audio packet decoding: the first input byte picks the track layout
// (rate, channels, kind); the rest is one packet, decoded twice so that the
// second pass blends with a tail and runs on built tables.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/audio_packet.h"

namespace {

void Sink(void* ctx, const int16_t* pcm, uint32_t bytes) {
  auto* sum = static_cast<uint32_t*>(ctx);
  for (uint32_t i = 0; i < bytes / 2; ++i) *sum += uint16_t(pcm[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const uint32_t kRates[] = {8000, 11025, 22049, 22050, 32000, 44099, 44100, 48000};
  const uint8_t sel = data[0];
  const uint32_t rate = kRates[sel & 7];
  const uint32_t channels = (sel >> 3) & 1 ? 2 : 1;
  const uint32_t flags = (sel >> 4) & 1;
  AudioDecoder* d = AudioDecoderOpen(rate, channels, flags);
  if (!d) return 0;
  // An exact-size copy, so that any read past the packet is caught.
  std::vector<uint8_t> packet(data + 1, data + size);
  uint32_t sum = 0;
  for (int pass = 0; pass < 2; ++pass) {
    AudioPacketResult r;
    AudioDecodePacket(d, packet.data(), uint32_t(packet.size()), Sink, &sum, &r);
    if (r.delivered > r.owed) __builtin_trap();
  }
  AudioDecoderClose(d);
  return 0;
}
