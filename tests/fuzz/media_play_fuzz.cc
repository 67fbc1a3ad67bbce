// libFuzzer target: arbitrary bytes as a whole media file, played through the
// playback core as a player would: opened from memory, and also through a
// file handle (streamed through a 64 KiB ring, read frame by frame without
// one, or preloaded), then up to kFrames frames decoded and advanced with
// every sound track fed to the memory output. Whatever the bytes, the core
// must stay inside its buffers, end, and keep its memory near the file's
// size (libFuzzer's memory limit catches a giant allocation).
//
// Seed it with our encoder's clips, e.g.
//   vexa encode --testsrc 32x24 --frames 6 --keyint 3 -o corpus/a.vxa
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "media/media.h"
#include "sound/memory_output.h"

namespace {

constexpr uint32_t kFrames = 10;
constexpr uint64_t kMaxFuzzPixels = 160 * 120;

void PlayOne(MediaFile* m) {
  if (!m) return;
  for (uint32_t i = 0; i < kFrames; ++i) {
    MediaWait(m);  // once: a damaged rate may put the next frame far away
    if (MediaDecodeFrame(m)) break;
    MediaGetChangedRects(0, m);
    MediaNextFrame(m);
  }
  PlaybackSummary summary;
  RealtimeStats realtime;
  MediaGetSummary(m, &summary);
  MediaGetRealtime(m, 0, &realtime);
  MediaClose(m);
}

void ChooseTracks() {
  const uint32_t ids[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  MediaSetSoundTracks(8, ids);
}

uint32_t Word(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Big pictures are legal up to the header limits, but decoding them makes
  // every run slow without reaching new code: the limits have tests of their
  // own.
  if (size >= 28 && uint64_t(Word(data + 20)) * Word(data + 24) > kMaxFuzzPixels) return 0;
  static const bool sound = MediaSetSoundSystem(MemoryOutputInitialiser, 0) != 0;
  (void)sound;

  ChooseTracks();
  PlayOne(MediaOpenMemory(data, size, OPEN_SOUND_TRACKS));

  // The same bytes as a file, read one of three ways.
  const int fd = memfd_create("vexa_fuzz", 0);
  if (fd < 0) return 0;
  if (size && write(fd, data, size) != ssize_t(size)) {
    close(fd);
    return 0;
  }
  lseek(fd, 0, SEEK_SET);
  uint32_t flags = OPEN_SOUND_TRACKS | OPEN_FILE_HANDLE | OPEN_NO_THREAD;
  switch (size % 3) {
    case 0:
      MediaSetReadBufferSize(65536);
      flags |= OPEN_READ_BUFFER_SIZE;
      break;
    case 1:
      MediaSetReadBufferSize(0);
      flags |= OPEN_READ_BUFFER_SIZE;
      break;
    default:
      flags |= OPEN_PRELOAD;
      break;
  }
  ChooseTracks();
  PlayOne(MediaOpen(reinterpret_cast<const void*>(intptr_t(fd)), flags));
  // A one-shot size an open refused before using stays set; clear it.
  MediaSetReadBufferSize(-1);
  close(fd);
  return 0;
}
