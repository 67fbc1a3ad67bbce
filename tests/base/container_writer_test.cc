// The container writer, read back through the reader, and the tool loader on
// damaged files made from the writer's output.
#include "base/container_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/container.h"
#include "base/media_error.h"

namespace {

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void SetWord(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

ContainerSettings Settings(uint32_t tracks = 0, const ContainerTrack* table = nullptr) {
  return ContainerSettings{'i', 200, 200, 10000000, 333333, 0, tracks, table};
}

// The 200 x 200 silent clip: 50 frames, only frame 0 a key frame, sizes
// varying (some odd) so the index and largest-frame field have work to do.
std::vector<uint8_t> SilentClip() {
  ContainerSettings s = Settings();
  ContainerWriter* w = ContainerWriterCreate(&s);
  std::vector<uint8_t> video(5000, 0x33);
  for (uint32_t n = 0; n < 50; ++n) {
    ContainerFrame f{n == 0, nullptr, nullptr, video.data(), n == 0 ? 4999u : 100 + (n * 13) % 50};
    EXPECT_TRUE(ContainerWriterAddFrame(w, &f));
  }
  std::vector<uint8_t> out;
  EXPECT_TRUE(ContainerWriterFinishToMemory(w, &out));
  return out;
}

const ContainerTrack kTracks[2] = {
    {88200, 22050 | TRACK_STEREO | TRACK_16BIT | TRACK_REAL_DFT, 5},
    {44100, 11025 | TRACK_DCT, 0},
};

// Two tracks; frame n has audio on track t when (n + t) is even; packet
// contents encode n and t so a mix-up shows. Audio lengths are odd on purpose.
std::vector<uint8_t> TrackClip(uint32_t frames) {
  ContainerSettings s = Settings(2, kTracks);
  ContainerWriter* w = ContainerWriterCreate(&s);
  EXPECT_NE(w, nullptr);
  for (uint32_t n = 0; n < frames; ++n) {
    std::vector<uint8_t> a[2], video(n % 5, static_cast<uint8_t>(0xC0 + n));
    const uint8_t* ptr[2];
    uint32_t sizes[2];
    for (uint32_t t = 0; t < 2; ++t) {
      if ((n + t) % 2 == 0) a[t].assign(4 + n % 3 + t, static_cast<uint8_t>(n * 2 + t));
      ptr[t] = a[t].data();
      sizes[t] = static_cast<uint32_t>(a[t].size());
    }
    ContainerFrame f{n % 4 == 0, ptr, sizes, video.data(), static_cast<uint32_t>(video.size())};
    EXPECT_TRUE(ContainerWriterAddFrame(w, &f));
  }
  std::vector<uint8_t> out;
  EXPECT_TRUE(ContainerWriterFinishToMemory(w, &out));
  return out;
}

TEST(ContainerWriter, SilentClipLayout) {
  std::vector<uint8_t> b = SilentClip();
  FileHeader h;
  ASSERT_TRUE(FileHeaderDecode(b.data(), b.size(), &h));
  ASSERT_TRUE(FileHeaderValidate(h, b.size()));
  EXPECT_EQ(h.magic, VexaMagic('i'));
  EXPECT_EQ(h.frame_count, 50u);
  EXPECT_EQ(h.index_frame_count, 50u);
  EXPECT_EQ(h.data_size + 8, b.size());
  EXPECT_EQ(ContainerFirstFrameOffset(h), 248u);
  // Index at 44, 51 entries, the first frame right after it.
  EXPECT_EQ(Word(b, 44), 248u | 1);
  EXPECT_EQ(Word(b, 44 + 50 * 4), b.size());

  ContainerFile* file = ContainerLoadMemory(b.data(), b.size());
  ASSERT_NE(file, nullptr);
  uint32_t biggest = 0;
  for (uint32_t i = 0; i < 50; ++i) {
    FrameLocation loc;
    ASSERT_TRUE(FrameLocate(&file->layout, i, &loc)) << i;
    EXPECT_EQ(loc.key, i == 0) << i;
    EXPECT_EQ(loc.offset % 2, 0u);
    biggest = std::max(biggest, loc.size);
  }
  EXPECT_EQ(h.largest_frame, biggest);
  EXPECT_EQ(biggest, 5000u);  // 4999 bytes of video, padded to even
  PeakRate p;
  ContainerPeakRate(&file->layout, &p);
  EXPECT_EQ(p.window, 30u);
  EXPECT_FALSE(p.all_key_frames);
  EXPECT_EQ(p.frame, 0u);  // the window holding the big key frame
  ContainerFree(file);
}

TEST(ContainerWriter, TracksRoundTrip) {
  const uint32_t kFrames = 23;
  std::vector<uint8_t> b = TrackClip(kFrames);
  ContainerFile* file = ContainerLoadMemory(b.data(), b.size());
  ASSERT_NE(file, nullptr) << MediaGetError();
  const ContainerLayout& l = file->layout;
  ASSERT_EQ(l.header.track_count, 2u);
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(l.buffer_sizes[t], kTracks[t].buffer_size);
    EXPECT_EQ(l.formats[t], kTracks[t].format);
    EXPECT_EQ(l.ids[t], kTracks[t].id);
  }
  EXPECT_EQ(TrackFormatKind(l.formats[0]), TRACK_KIND_REAL_DFT);
  EXPECT_EQ(TrackFormatKind(l.formats[1]), TRACK_KIND_DCT);

  for (uint32_t n = 0; n < kFrames; ++n) {
    FrameLocation loc;
    ASSERT_TRUE(FrameLocate(&l, n, &loc)) << n;
    EXPECT_EQ(loc.key, n % 4 == 0);
    EXPECT_EQ(loc.size % 2, 0u) << n;
    FrameCursor c;
    FrameCursorInit(&c, b.data() + loc.offset, loc.size, 2);
    for (uint32_t t = 0; t < 2; ++t) {
      const uint8_t* d;
      uint32_t len;
      ASSERT_TRUE(FrameCursorNextAudio(&c, &d, &len));
      if ((n + t) % 2) {
        EXPECT_EQ(len, 0u);
        continue;
      }
      ASSERT_EQ(len, 4 + n % 3 + t);
      for (uint32_t k = 0; k < len; ++k) ASSERT_EQ(d[k], static_cast<uint8_t>(n * 2 + t));
    }
    // The video follows, plus at most the one padding byte, which is zero.
    uint32_t video = static_cast<uint32_t>(c.end - c.pos);
    ASSERT_TRUE(video == n % 5 || video == n % 5 + 1) << n;
    for (uint32_t k = 0; k < n % 5; ++k) EXPECT_EQ(c.pos[k], static_cast<uint8_t>(0xC0 + n));
    if (video > n % 5) {
      EXPECT_EQ(c.pos[n % 5], 0);
    }
  }
  ContainerFree(file);
}

TEST(ContainerWriter, RefusesBadInput) {
  ContainerSettings s = Settings();
  s.rate_divisor = 0;
  EXPECT_EQ(ContainerWriterCreate(&s), nullptr);
  s = Settings();
  s.revision = 'e';
  EXPECT_EQ(ContainerWriterCreate(&s), nullptr);
  s = Settings(2, nullptr);
  EXPECT_EQ(ContainerWriterCreate(&s), nullptr);

  s = Settings(2, kTracks);
  ContainerWriter* w = ContainerWriterCreate(&s);
  ASSERT_NE(w, nullptr);
  uint8_t bytes[8] = {};
  const uint8_t* audio[2] = {bytes, bytes};
  uint32_t short_sizes[2] = {4, 3};  // no room for the decoded-byte count
  ContainerFrame f{true, audio, short_sizes, bytes, 2};
  EXPECT_FALSE(ContainerWriterAddFrame(w, &f));
  ContainerFrame none{true, nullptr, nullptr, bytes, 2};
  EXPECT_FALSE(ContainerWriterAddFrame(w, &none));
  // A refused frame leaves the writer usable and adds nothing.
  uint32_t sizes[2] = {4, 0};
  ContainerFrame good{true, audio, sizes, bytes, 1};
  EXPECT_TRUE(ContainerWriterAddFrame(w, &good));
  std::vector<uint8_t> out;
  ASSERT_TRUE(ContainerWriterFinishToMemory(w, &out));
  FileHeader h;
  ASSERT_TRUE(FileHeaderDecode(out.data(), out.size(), &h));
  EXPECT_EQ(h.frame_count, 1u);
  EXPECT_EQ(h.largest_frame, 4u + 4 + 4 + 1 + 1);

  ContainerWriterDestroy(nullptr);
  ContainerWriterDestroy(ContainerWriterCreate(&s));
}

TEST(ContainerLoader, EveryTruncationIsAnErrorNotACrash) {
  std::vector<uint8_t> b = TrackClip(6);
  FileHeader h;
  ASSERT_TRUE(FileHeaderDecode(b.data(), b.size(), &h));
  const size_t first = static_cast<size_t>(ContainerFirstFrameOffset(h));
  for (size_t n = 0; n < first; ++n) {
    MediaSetError("");
    EXPECT_EQ(ContainerLoadMemory(b.data(), n), nullptr) << n;
    const char* want = n < 4 ? "Not a Vexa file." : "Error reading Vexa header.";
    EXPECT_STREQ(MediaGetError(), want) << n;
  }
  // Up to the first frame is all the loader needs.
  ContainerFile* file = ContainerLoadMemory(b.data(), first);
  ASSERT_NE(file, nullptr);
  ContainerFree(file);
}

TEST(ContainerLoader, DamagedIndexGivesFrameErrors) {
  std::vector<uint8_t> b = TrackClip(6);
  const size_t index = 44 + 12 * 2;
  std::vector<uint8_t> past = b, back = b, big = b;
  SetWord(&past, index + 4 * 6, Word(b, index + 4 * 6) + 2);  // end beyond data size + 8
  SetWord(&back, index + 4 * 3, (Word(b, index + 4 * 2) & ~1u) - 2);  // entry 3 below entry 2
  SetWord(&back, 12, 0xFFFFFFFF);  // so that only the ordering is at fault
  SetWord(&big, 12, Word(b, 12) - 2);                          // largest-frame field too small
  struct Case {
    const std::vector<uint8_t>* file;
    std::vector<bool> readable;
  } cases[] = {
      {&b, {1, 1, 1, 1, 1, 1}},
      {&past, {1, 1, 1, 1, 1, 0}},
      {&back, {1, 1, 0, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    ContainerFile* f = ContainerLoadMemory(c.file->data(), c.file->size());
    ASSERT_NE(f, nullptr);
    for (uint32_t i = 0; i < 6; ++i) {
      FrameLocation loc;
      bool ok = FrameLocate(&f->layout, i, &loc);
      EXPECT_EQ(ok, c.readable[i]) << i;
      if (ok) {
        EXPECT_LE(loc.offset + loc.size, c.file->size());
      }
    }
    ContainerFree(f);
  }
  ContainerFile* f = ContainerLoadMemory(big.data(), big.size());
  ASSERT_NE(f, nullptr);
  int refused = 0;
  for (uint32_t i = 0; i < 6; ++i) {
    FrameLocation loc;
    refused += !FrameLocate(&f->layout, i, &loc);
  }
  EXPECT_GE(refused, 1);
  ContainerFree(f);
}

TEST(ContainerLoader, HugeCountsFailWithoutAllocating) {
  std::vector<uint8_t> b = SilentClip();
  struct Case {
    size_t at;
    uint32_t value;
    const char* text;
  } cases[] = {
      {40, 0xFFFFFFFF, "Error reading Vexa header."},  // track count
      {40, 0x10000000, "Error reading Vexa header."},
      {16, 0xFFFFFFFF, "Error reading Vexa header."},  // index frame count
      {20, 0xFFFFFFFF, "Error reading Vexa header."},  // width
      {24, 0x40000000, "Error reading Vexa header."},  // height
      {28, 0x40000000, "Error reading Vexa header."},  // rate dividend
      {8, 0, "The file doesn't contain any compressed frames yet."},
  };
  for (const Case& c : cases) {
    for (uint32_t data_size : {Word(b, 4), 0xFFFFFFFFu}) {
      std::vector<uint8_t> d = b;
      SetWord(&d, c.at, c.value);
      SetWord(&d, 4, data_size);
      MediaSetError("");
      ContainerFile* f = ContainerLoadMemory(d.data(), d.size());
      // With a data size claiming 4 GB the tables pass the header check but
      // the file is too short for them.
      EXPECT_EQ(f, nullptr) << c.at;
      EXPECT_STREQ(MediaGetError(), c.text) << c.at << " " << data_size;
      ContainerFree(f);
    }
  }
}

TEST(ContainerLoader, FilesAndDescriptors) {
  char path[] = "/tmp/vexa_container_testXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ContainerSettings s = Settings(2, kTracks);
  ContainerWriter* w = ContainerWriterCreate(&s);
  uint8_t pkt[4] = {0, 1, 0, 0};
  const uint8_t* audio[2] = {pkt, pkt};
  uint32_t sizes[2] = {4, 4};
  ContainerFrame f{true, audio, sizes, pkt, 3};
  ASSERT_TRUE(ContainerWriterAddFrame(w, &f));
  ASSERT_TRUE(ContainerWriterFinishToFile(w, path));

  ContainerFile* a = ContainerLoadPath(path);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->layout.header.track_count, 2u);
  EXPECT_EQ(a->layout.ids[0], 5u);
  ContainerFree(a);

  // Media data that starts inside a larger file: the loader reads from the
  // descriptor's current position.
  std::FILE* out = std::fopen(path, "rb");
  std::vector<uint8_t> media(4096);
  media.resize(std::fread(media.data(), 1, media.size(), out));
  std::fclose(out);
  std::vector<uint8_t> wrapped(100 + media.size(), 0xEE);
  std::memcpy(wrapped.data() + 100, media.data(), media.size());
  out = std::fopen(path, "wb");
  std::fwrite(wrapped.data(), 1, wrapped.size(), out);
  std::fclose(out);
  fd = open(path, O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(lseek(fd, 100, SEEK_SET), 100);
  ContainerFile* b = ContainerLoadFd(fd);
  close(fd);
  ASSERT_NE(b, nullptr) << MediaGetError();
  EXPECT_EQ(b->layout.header.data_size + 8, media.size());
  ContainerFree(b);
  EXPECT_EQ(ContainerLoadPath(path), nullptr);  // from offset 0 it is not a Vexa file
  EXPECT_STREQ(MediaGetError(), "Not a Vexa file.");
  unlink(path);

  EXPECT_EQ(ContainerLoadPath("/nonexistent/dir/x.vxa"), nullptr);
  EXPECT_STREQ(MediaGetError(), "Error opening file.");
  ContainerWriter* w2 = ContainerWriterCreate(&s);
  EXPECT_FALSE(ContainerWriterFinishToFile(w2, "/nonexistent/dir/x.vxa"));
}

}  // namespace
