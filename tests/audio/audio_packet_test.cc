// Packets: the decoded-byte count, blocks until it is reached, the last one
// cut short; packets that end early; malformed bytes never read outside.
#include "audio/audio_packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/audio/audio_helpers.h"

namespace {

struct Collect {
  std::vector<int16_t> pcm;
  std::vector<uint32_t> pieces;
  static void Sink(void* ctx, const int16_t* p, uint32_t bytes) {
    auto* c = static_cast<Collect*>(ctx);
    c->pcm.insert(c->pcm.end(), p, p + bytes / 2);
    c->pieces.push_back(bytes);
  }
};

std::vector<uint8_t> Packet(uint32_t count, const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<uint8_t> p(4);
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(count >> (8 * i));
  for (const auto& b : blocks) p.insert(p.end(), b.begin(), b.end());
  return p;
}

std::vector<uint8_t> RandomBlock(const AudioDecoder* d, std::mt19937* rng) {
  std::vector<TransformSpec> t;
  for (uint32_t i = 0; i < d->transform_count; ++i) t.push_back(RandomTransform(d, rng, 20, 8));
  return WriteBlock(d, t);
}

TEST(AudioPacket, BlocksUntilTheCountTheLastCutShort) {
  AudioDecoder* d = AudioDecoderOpen(44100, 2, AUDIO_KIND_DCT);  // 7680 bytes a block
  std::mt19937 rng(1);
  const auto b1 = RandomBlock(d, &rng), b2 = RandomBlock(d, &rng), b3 = RandomBlock(d, &rng);
  const std::vector<uint8_t> pk = Packet(7680 + 5880, {b1, b2, b3});
  Collect c;
  AudioPacketResult r;
  EXPECT_EQ(AudioDecodePacket(d, pk.data(), uint32_t(pk.size()), Collect::Sink, &c, &r), 1);
  EXPECT_EQ(r.owed, 13560u);
  EXPECT_EQ(r.delivered, 13560u);
  EXPECT_EQ(r.blocks, 2u) << "the third block is never reached";
  EXPECT_EQ(c.pieces, (std::vector<uint32_t>{7680, 5880}));

  // A count that is not whole stereo frames is taken down to one.
  c = Collect();
  const std::vector<uint8_t> odd = Packet(4 * 100 + 3, {b1});
  EXPECT_EQ(AudioDecodePacket(d, odd.data(), uint32_t(odd.size()), Collect::Sink, &c, &r), 1);
  EXPECT_EQ(r.delivered, 400u);
  AudioDecoderClose(d);
}

TEST(AudioPacket, PacketEndingEarlyYieldsWhatItHas) {
  AudioDecoder* d = AudioDecoderOpen(22050, 1, 0);  // 1920 bytes a block
  std::mt19937 rng(2);
  const auto b1 = RandomBlock(d, &rng), b2 = RandomBlock(d, &rng);
  // Two whole blocks but a count of three.
  std::vector<uint8_t> pk = Packet(3 * 1920, {b1, b2});
  Collect c;
  AudioPacketResult r;
  EXPECT_EQ(AudioDecodePacket(d, pk.data(), uint32_t(pk.size()), Collect::Sink, &c, &r), 0);
  EXPECT_EQ(r.delivered, 2 * 1920u);
  EXPECT_EQ(r.overrun, 1u);
  // The second block cut in half: delivered (zero bits past the end) and the
  // shortfall reported.
  pk = Packet(2 * 1920, {b1, std::vector<uint8_t>(b2.begin(), b2.begin() + b2.size() / 2)});
  c = Collect();
  EXPECT_EQ(AudioDecodePacket(d, pk.data(), uint32_t(pk.size()), Collect::Sink, &c, &r), 0);
  EXPECT_EQ(r.blocks, 2u);
  EXPECT_EQ(r.delivered, 2 * 1920u);
  EXPECT_EQ(r.overrun, 1u);
  // Too short to hold the count; and an empty packet, which is no sound.
  EXPECT_EQ(AudioDecodePacket(d, pk.data(), 3, Collect::Sink, &c, &r), 0);
  EXPECT_EQ(AudioDecodePacket(d, pk.data(), 0, Collect::Sink, &c, &r), 1);
  EXPECT_EQ(r.delivered, 0u);
  AudioDecoderClose(d);
}

// A frame without a packet leaves the decoder alone: the next block blends
// with the tail of the last block decoded, as it would have anyway.
TEST(AudioPacket, FrameWithoutPacketKeepsTheTail) {
  AudioDecoder* a = AudioDecoderOpen(16000, 1, AUDIO_KIND_DCT);
  AudioDecoder* b = AudioDecoderOpen(16000, 1, AUDIO_KIND_DCT);
  std::mt19937 rng(3);
  const auto b1 = RandomBlock(a, &rng), b2 = RandomBlock(a, &rng);
  Collect ca, cb;
  const auto p1 = Packet(100, {b1}), p2 = Packet(960, {b2});
  AudioDecodePacket(a, p1.data(), uint32_t(p1.size()), Collect::Sink, &ca, nullptr);
  AudioDecodePacket(a, p1.data(), 0, Collect::Sink, &ca, nullptr);  // no packet this frame
  AudioDecodePacket(a, p2.data(), uint32_t(p2.size()), Collect::Sink, &ca, nullptr);
  AudioDecodePacket(b, p1.data(), uint32_t(p1.size()), Collect::Sink, &cb, nullptr);
  AudioDecodePacket(b, p2.data(), uint32_t(p2.size()), Collect::Sink, &cb, nullptr);
  EXPECT_EQ(ca.pcm, cb.pcm);
  AudioDecoderClose(a);
  AudioDecoderClose(b);
}

// Random and truncated packets of every layout: the sanitizer build checks
// that nothing is read outside the packet; every call returns.
TEST(AudioPacket, MalformedPacketsStayInside) {
  struct Case { uint32_t rate, channels, flags; };
  const Case cases[] = {{8000, 1, 0}, {22050, 2, AUDIO_KIND_DCT}, {44100, 2, 0}, {48000, 1, AUDIO_KIND_DCT}};
  std::mt19937 rng(11);
  for (const Case& cs : cases) {
    AudioDecoder* d = AudioDecoderOpen(cs.rate, cs.channels, cs.flags);
    const auto good = Packet(0xFFFFFFFFu, {RandomBlock(d, &rng), RandomBlock(d, &rng)});
    for (int trial = 0; trial < 40; ++trial) {
      std::vector<uint8_t> bytes;
      if (trial % 2) {
        bytes.assign(good.begin(), good.begin() + rng() % good.size());
      } else {
        bytes.resize(rng() % 3000);
        for (uint8_t& x : bytes) x = uint8_t(rng());
      }
      Collect c;
      AudioPacketResult r;
      AudioDecodePacket(d, bytes.data(), uint32_t(bytes.size()), Collect::Sink, &c, &r);
      EXPECT_LE(r.delivered, r.owed);
      EXPECT_EQ(c.pcm.size() * 2, r.delivered);
    }
    AudioDecoderClose(d);
  }
}

}  // namespace
