// The container reader: header refusals, untrusted index entries, the peak
// data rate and the packet walk. Files are built by hand here so that each
// field can be set to exactly the value under test.
#include "base/container.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/media_error.h"

namespace {

void Put(std::vector<uint8_t>* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

FileHeader MakeHeader(uint32_t frames, uint32_t tracks) {
  FileHeader h{};
  h.magic = VexaMagic('i');
  h.frame_count = h.index_frame_count = frames;
  h.width = h.height = 16;
  h.rate_dividend = 25;
  h.rate_divisor = 1;
  h.track_count = tracks;
  h.largest_frame = 0xFFFFFFFF;
  h.data_size = static_cast<uint32_t>(ContainerFirstFrameOffset(h) - 8);
  return h;
}

std::vector<uint8_t> Bytes(const FileHeader& h) {
  std::vector<uint8_t> b(sizeof(h));
  std::memcpy(b.data(), &h, sizeof(h));  // little-endian host
  return b;
}

// A layout over an index given as words, for peak and location tests.
struct IndexFixture {
  std::vector<uint32_t> words;
  ContainerLayout layout;
  IndexFixture(FileHeader h, std::vector<uint32_t> index) {
    words.assign(3 * h.track_count, 0);
    words.insert(words.end(), index.begin(), index.end());
    ContainerLayoutInit(&layout, h, words.data());
  }
};

TEST(ContainerHeader, MagicAcceptsOnlyTheFourRevisions) {
  for (char r : {'f', 'g', 'h', 'i'}) EXPECT_TRUE(IsVexaMagic(VexaMagic(r))) << r;
  for (char r : {'e', 'j', 'I', 'a', '\0'}) EXPECT_FALSE(IsVexaMagic(VexaMagic(r))) << r;
  EXPECT_FALSE(IsVexaMagic(VexaMagic('i') ^ 0x20));  // 'v' instead of 'V'
  EXPECT_FALSE(IsVexaMagic(0x69415856u ^ 0x100));

  std::vector<uint8_t> b = Bytes(MakeHeader(1, 0));
  FileHeader h;
  ASSERT_TRUE(FileHeaderDecode(b.data(), b.size(), &h));
  EXPECT_EQ(RevisionOf(h), 'i');
  b[3] = 'j';
  MediaSetError("");
  EXPECT_FALSE(FileHeaderDecode(b.data(), b.size(), &h));
  EXPECT_STREQ(MediaGetError(), "Not a Vexa file.");
}

TEST(ContainerHeader, ShortHeaderTexts) {
  std::vector<uint8_t> b = Bytes(MakeHeader(1, 0));
  FileHeader h;
  for (size_t n = 0; n < kFileHeaderSize; ++n) {
    MediaSetError("");
    EXPECT_FALSE(FileHeaderDecode(b.data(), n, &h));
    EXPECT_STREQ(MediaGetError(), n < 4 ? "Not a Vexa file." : "Error reading Vexa header.") << n;
  }
}

TEST(ContainerHeader, ValidationTexts) {
  FileHeader h = MakeHeader(3, 1);
  EXPECT_TRUE(FileHeaderValidate(h, kUnknownSize));

  FileHeader z = h;
  z.frame_count = 0;
  EXPECT_FALSE(FileHeaderValidate(z, kUnknownSize));
  EXPECT_STREQ(MediaGetError(), "The file doesn't contain any compressed frames yet.");

  // A bad magic is reported before a zero frame count.
  z.magic = VexaMagic('z');
  EXPECT_FALSE(FileHeaderValidate(z, kUnknownSize));
  EXPECT_STREQ(MediaGetError(), "Not a Vexa file.");

  // Zero-sized pictures are harmless; pictures and rates beyond any real
  // file are refused as unreadable, up to the named limits and not beyond.
  for (uint32_t w : {0u, 1u}) {
    FileHeader p = h;
    p.width = w;
    p.height = 0;
    EXPECT_TRUE(FileHeaderValidate(p, kUnknownSize)) << w;
  }
  const uint32_t side = kMaxPictureSide, lines = uint32_t(kMaxPicturePixels / kMaxPictureSide);
  const uint32_t huge[][2] = {{0xFFFFFFFF, 1}, {1, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}, {65536, 65536},
                              {side + 1, 1},   {1, side + 1},   {side, lines + 1},        {4097, 4096}};
  for (auto& wh : huge) {
    FileHeader p = h;
    p.width = wh[0];
    p.height = wh[1];
    EXPECT_FALSE(FileHeaderValidate(p, kUnknownSize)) << wh[0] << "x" << wh[1];
    EXPECT_STREQ(MediaGetError(), "Error reading Vexa header.");
  }
  for (auto& wh : {std::pair{4096u, 4096u}, {side, lines}, {lines, side}, {3840u, 2160u}}) {
    FileHeader ok = h;
    ok.width = wh.first;
    ok.height = wh.second;
    EXPECT_TRUE(FileHeaderValidate(ok, kUnknownSize)) << wh.first << "x" << wh.second;
  }
  for (auto& rate : {std::pair{1073741824u, 1u}, {0xFFFFFFFFu, 1u}, {kMaxFrameRate + 1, 1u}, {2001u, 2u}}) {
    FileHeader r = h;
    r.rate_dividend = rate.first;
    r.rate_divisor = rate.second;
    EXPECT_FALSE(FileHeaderValidate(r, kUnknownSize)) << rate.first << "/" << rate.second;
    EXPECT_STREQ(MediaGetError(), "Error reading Vexa header.");
  }
  for (auto& rate : {std::pair{kMaxFrameRate, 1u}, {0u, 1u}, {25u, 0u}, {2000u, 2u}}) {
    FileHeader r = h;
    r.rate_dividend = rate.first;
    r.rate_divisor = rate.second;
    EXPECT_TRUE(FileHeaderValidate(r, kUnknownSize)) << rate.first << "/" << rate.second;
  }

  // Tables and index that cannot fit before the data end, even when their
  // sizes overflow 32 bits.
  for (uint32_t tracks : {0xFFFFFFFFu, 0x15555556u, 100u}) {
    FileHeader t = h;
    t.track_count = tracks;
    EXPECT_FALSE(FileHeaderValidate(t, kUnknownSize)) << tracks;
    EXPECT_STREQ(MediaGetError(), "Error reading Vexa header.");
  }
  FileHeader i = h;
  i.index_frame_count = 0xFFFFFFFF;
  i.data_size = 0xFFFFFFFF;
  EXPECT_FALSE(FileHeaderValidate(i, kUnknownSize));
  EXPECT_STREQ(MediaGetError(), "Error reading Vexa header.");

  // A caller that knows the file's size refuses tables beyond it.
  uint64_t first = ContainerFirstFrameOffset(h);
  EXPECT_TRUE(FileHeaderValidate(h, first));
  EXPECT_FALSE(FileHeaderValidate(h, first - 1));
  EXPECT_STREQ(MediaGetError(), "Error reading Vexa header.");
}

TEST(ContainerTrackFormat, Fields) {
  EXPECT_EQ(TrackFormatKind(TRACK_REAL_DFT | TRACK_DCT), TRACK_KIND_REAL_DFT);
  EXPECT_EQ(TrackFormatKind(TRACK_REAL_DFT), TRACK_KIND_REAL_DFT);
  EXPECT_EQ(TrackFormatKind(TRACK_DCT | TRACK_STEREO), TRACK_KIND_DCT);
  EXPECT_EQ(TrackFormatKind(TRACK_STEREO | TRACK_16BIT | 44100), TRACK_KIND_NONE);
  uint32_t f = 0xAC44 | TRACK_STEREO | TRACK_16BIT | TRACK_DCT | 0x0ABC0000;
  EXPECT_EQ(TrackFormatRate(f), 44100u);
  EXPECT_EQ(TrackFormatChannels(f), 2u);
  EXPECT_TRUE(TrackFormatIs16Bit(f));
  EXPECT_EQ(TrackFormatChannels(22050), 1u);
  EXPECT_FALSE(TrackFormatIs16Bit(22050 | TRACK_STEREO));
  EXPECT_EQ(ScaleModeOf(0x40000000 | FLAG_ALPHA), 4u);
  EXPECT_EQ(ScaleModeOf(0x80000000 | SCALE_MODE), 7u);
}

TEST(ContainerIndex, FrameLocationRejectsUntrustedEntries) {
  FileHeader h = MakeHeader(4, 0);  // first frame at 44 + 20 = 64
  h.data_size = 200 - 8;
  h.largest_frame = 60;
  IndexFixture f(h, {64 | 1, 100, 160, 160, 200});
  FrameLocation loc;
  ASSERT_TRUE(FrameLocate(&f.layout, 0, &loc));
  EXPECT_EQ(loc.offset, 64u);
  EXPECT_EQ(loc.size, 36u);
  EXPECT_TRUE(loc.key);
  ASSERT_TRUE(FrameLocate(&f.layout, 1, &loc));
  EXPECT_FALSE(loc.key);
  ASSERT_TRUE(FrameLocate(&f.layout, 2, &loc));  // an empty frame is fine
  EXPECT_EQ(loc.size, 0u);
  EXPECT_TRUE(FrameLocate(&f.layout, 3, &loc));
  EXPECT_FALSE(FrameLocate(&f.layout, 4, &loc));  // beyond the index
  EXPECT_FALSE(FrameLocate(&f.layout, 0xFFFFFFFF, &loc));

  h.largest_frame = 59;  // frame 1 is 60 bytes
  IndexFixture small(h, {64 | 1, 100, 160, 160, 200});
  EXPECT_TRUE(FrameLocate(&small.layout, 0, &loc));
  EXPECT_FALSE(FrameLocate(&small.layout, 1, &loc));
  EXPECT_TRUE(FrameLocate(&small.layout, 3, &loc));

  h.largest_frame = 1000;
  IndexFixture past(h, {64, 100, 160, 200, 202});  // end beyond data size + 8
  EXPECT_TRUE(FrameLocate(&past.layout, 2, &loc));
  EXPECT_FALSE(FrameLocate(&past.layout, 3, &loc));

  IndexFixture back(h, {64, 120, 100, 150, 200});  // entry 2 below entry 1
  EXPECT_FALSE(FrameLocate(&back.layout, 1, &loc));
  EXPECT_TRUE(FrameLocate(&back.layout, 2, &loc));
  EXPECT_TRUE(FrameLocate(&back.layout, 3, &loc));

  // Frames may not start inside the header, tables or index, nor before the
  // first frame (a preloaded image starts there).
  IndexFixture low(h, {0 | 1, 20, 64, 150, 200});
  EXPECT_FALSE(FrameLocate(&low.layout, 0, &loc));
  EXPECT_FALSE(FrameLocate(&low.layout, 1, &loc));
  EXPECT_TRUE(FrameLocate(&low.layout, 2, &loc));
  IndexFixture gap(h, {100, 150, 64, 90, 200});
  EXPECT_FALSE(FrameLocate(&gap.layout, 2, &loc));
}

TEST(ContainerPeak, WindowRoundingAndFirstOfTies) {
  EXPECT_EQ(RoundedFrameRate(10000000, 333333), 30u);
  EXPECT_EQ(RoundedFrameRate(59, 2), 30u);  // 29.5 rounds up
  EXPECT_EQ(RoundedFrameRate(2997, 100), 30u);
  EXPECT_EQ(RoundedFrameRate(149, 10), 15u);
  EXPECT_EQ(RoundedFrameRate(1, 3), 1u);  // at least 1
  EXPECT_EQ(RoundedFrameRate(0, 1), 1u);
  EXPECT_EQ(RoundedFrameRate(25, 0), 1u);
  EXPECT_EQ(RoundedFrameRate(0xFFFFFFFF, 0xFFFFFFFF), 1u);  // no overflow in the rounding

  // Six frames at 2.5 frames per second: window (5 + 1) / 2 = 3.
  FileHeader h = MakeHeader(6, 0);
  h.rate_dividend = 5;
  h.rate_divisor = 2;
  IndexFixture w3(h, {100 | 1, 110, 140, 150, 180, 185, 186});
  PeakRate p;
  ContainerPeakRate(&w3.layout, &p);
  EXPECT_EQ(p.window, 3u);
  EXPECT_EQ(p.bytes, 70u);  // 110..180 from i = 1 (i ranges 0..2)
  EXPECT_EQ(p.frame, 1u);
  EXPECT_FALSE(p.all_key_frames);

  h.rate_dividend = 2;
  h.rate_divisor = 1;
  // Window 2: pair sums 20, 40, 40, 40 at i = 0..3; the first maximum wins.
  IndexFixture w2(h, {100 | 1, 110 | 1, 120 | 1, 150 | 1, 160 | 1, 190 | 1, 191});
  ContainerPeakRate(&w2.layout, &p);
  EXPECT_EQ(p.window, 2u);
  EXPECT_EQ(p.bytes, 40u);
  EXPECT_EQ(p.frame, 1u);
  EXPECT_TRUE(p.all_key_frames);  // the end entry's bit 0 does not count
}

TEST(ContainerPeak, AverageFallback) {
  // frame count <= window: (end - start) x w / frame count.
  FileHeader h = MakeHeader(3, 0);
  h.rate_dividend = 10;
  IndexFixture few(h, {100, 130, 150, 190});
  PeakRate p;
  ContainerPeakRate(&few.layout, &p);
  EXPECT_EQ(p.bytes, 90u * 10 / 3);
  EXPECT_EQ(p.frame, 0u);

  // Every windowed difference 0 (empty frames) also falls back: here 0.
  h = MakeHeader(4, 0);
  h.rate_dividend = 2;
  IndexFixture empty(h, {100, 100, 100, 100, 100});
  ContainerPeakRate(&empty.layout, &p);
  EXPECT_EQ(p.bytes, 0u);
  EXPECT_EQ(p.frame, 0u);

  // Offsets running backwards count as nothing, never as a wrapped value.
  IndexFixture back(h, {500, 400, 300, 200, 100});
  ContainerPeakRate(&back.layout, &p);
  EXPECT_EQ(p.bytes, 0u);

  // Fallback product beyond 32 bits is clamped.
  h = MakeHeader(1, 0);
  h.rate_dividend = 60000;
  IndexFixture big(h, {0, 0xFFFFFFF0});
  ContainerPeakRate(&big.layout, &p);
  EXPECT_EQ(p.bytes, 0xFFFFFFFFu);

  // Frames played beyond the index are not read from it.
  h = MakeHeader(3, 0);
  h.index_frame_count = 1;
  h.rate_dividend = 1;
  IndexFixture shortidx(h, {100 | 1, 140});
  ContainerPeakRate(&shortidx.layout, &p);
  EXPECT_EQ(p.bytes, 40u);
  EXPECT_TRUE(p.all_key_frames);
}

std::vector<uint8_t> Packet(std::initializer_list<std::vector<uint8_t>> audio, std::vector<uint8_t> video) {
  std::vector<uint8_t> b;
  for (const auto& a : audio) {
    Put(&b, static_cast<uint32_t>(a.size()));
    b.insert(b.end(), a.begin(), a.end());
  }
  b.insert(b.end(), video.begin(), video.end());
  return b;
}

TEST(ContainerPacket, WalkToVideo) {
  std::vector<uint8_t> a0 = {1, 0, 0, 0, 9, 9};
  std::vector<uint8_t> pkt = Packet({a0, {}, {4, 0, 0, 0}}, {7, 8, 9});
  FrameCursor c;
  FrameCursorInit(&c, pkt.data(), static_cast<uint32_t>(pkt.size()), 3);
  const uint8_t* d;
  uint32_t n;
  ASSERT_TRUE(FrameCursorNextAudio(&c, &d, &n));
  EXPECT_EQ(n, 6u);
  EXPECT_EQ(d, pkt.data() + 4);
  ASSERT_TRUE(FrameCursorNextAudio(&c, &d, &n));
  EXPECT_EQ(n, 0u);  // no sound, but 4 bytes consumed
  EXPECT_EQ(c.pos, pkt.data() + 14);
  ASSERT_TRUE(FrameCursorNextAudio(&c, &d, &n));
  EXPECT_EQ(n, 4u);
  EXPECT_FALSE(FrameCursorNextAudio(&c, &d, &n));  // every track read

  const uint8_t* v;
  uint32_t vn;
  ASSERT_TRUE(FramePacketVideo(pkt.data(), static_cast<uint32_t>(pkt.size()), 3, &v, &vn));
  EXPECT_EQ(vn, 3u);
  EXPECT_EQ(v[0], 7);
  // Silent files: the whole packet is video, also when empty.
  ASSERT_TRUE(FramePacketVideo(pkt.data(), 0, 0, &v, &vn));
  EXPECT_EQ(vn, 0u);
}

TEST(ContainerPacket, BrokenPacketsAreFrameErrorsAndStubsAreSilence) {
  const uint8_t* v;
  uint32_t vn;
  // A length running past the frame, by one byte and by wrapping amounts.
  for (uint32_t len : {5u, 0xFFFFFFFFu, 0xFFFFFFFCu, 0x80000000u}) {
    std::vector<uint8_t> b;
    Put(&b, len);
    b.resize(8);
    EXPECT_FALSE(FramePacketVideo(b.data(), 8, 1, &v, &vn)) << len;
  }
  // Too short for the decoded-byte count: no sound, and the video follows it.
  for (uint32_t len : {1u, 2u, 3u}) {
    std::vector<uint8_t> b;
    Put(&b, len);
    b.resize(12);
    FrameCursor c;
    FrameCursorInit(&c, b.data(), 12, 1);
    const uint8_t* d;
    uint32_t n = 99;
    ASSERT_TRUE(FrameCursorNextAudio(&c, &d, &n)) << len;
    EXPECT_EQ(n, 0u);
    ASSERT_TRUE(FramePacketVideo(b.data(), 12, 1, &v, &vn)) << len;
    EXPECT_EQ(v, b.data() + 4 + len);
  }
  // Length fields cut off by the frame end.
  std::vector<uint8_t> pkt = Packet({{}, {}}, {});
  for (uint32_t n = 0; n < pkt.size(); ++n) EXPECT_FALSE(FramePacketVideo(pkt.data(), n, 2, &v, &vn)) << n;
  EXPECT_TRUE(FramePacketVideo(pkt.data(), 8, 2, &v, &vn));
}

TEST(ContainerPacket, AlphaSkip) {
  std::vector<uint8_t> video;
  Put(&video, 6);
  video.insert(video.end(), {0xA1, 0xA2, 0x11, 0x22});
  const uint8_t* rest;
  uint32_t n;
  ASSERT_TRUE(VideoSkipAlpha(video.data(), 8, &rest, &n));
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(rest[0], 0x11);
  EXPECT_TRUE(VideoSkipAlpha(video.data(), 6, &rest, &n));  // nothing after alpha
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(VideoSkipAlpha(video.data(), 5, &rest, &n));
  EXPECT_FALSE(VideoSkipAlpha(video.data(), 3, &rest, &n));
  for (uint32_t bad : {0u, 3u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> b;
    Put(&b, bad);
    b.resize(16);
    EXPECT_FALSE(VideoSkipAlpha(b.data(), 16, &rest, &n)) << bad;
  }
}

TEST(MediaError, CopiesAndCaps) {
  std::string text = "opener says no";
  MediaSetError(text.c_str());
  text[0] = 'X';
  EXPECT_STREQ(MediaGetError(), "opener says no");
  MediaSetError(MediaGetError() + 7);  // a tail of the text itself
  EXPECT_STREQ(MediaGetError(), "says no");
  MediaSetError(std::string(1000, 'e').c_str());
  EXPECT_EQ(std::strlen(MediaGetError()), kMediaErrorCapacity - 1);
  MediaSetError(nullptr);
  EXPECT_STREQ(MediaGetError(), "");
}

}  // namespace
