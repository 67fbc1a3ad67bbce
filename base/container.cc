#include "base/container.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "base/core_alloc.h"
#include "base/media_error.h"

namespace {

uint32_t LoadWord(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint64_t RoundUp8(uint64_t v) { return (v + 7) & ~7ull; }

}  // namespace

const char* ScaleModeName(uint32_t mode) {
  static const char* const kNames[8] = {
      "none",       "height-doubled",       "height-interlaced",   "width-doubled",
      "2x-doubled", "2x-interlaced",        "1x-interlaced",       "force-none",
  };
  return kNames[mode & 7];
}

bool IsVexaMagic(uint32_t magic) {
  return magic == VexaMagic('f') || magic == VexaMagic('g') || magic == VexaMagic('h') || magic == VexaMagic('i');
}

void ContainerDecodeWords(const uint8_t* bytes, size_t count, uint32_t* words) {
  for (size_t i = 0; i < count; ++i) words[i] = LoadWord(bytes + 4 * i);
}

bool FileHeaderDecode(const uint8_t* bytes, size_t size, FileHeader* out) {
  if (size < 4 || !IsVexaMagic(LoadWord(bytes))) {
    MediaSetError(kErrorNotVexa);
    return false;
  }
  if (size < kFileHeaderSize) {
    MediaSetError(kErrorReadingHeader);
    return false;
  }
  uint32_t w[kFileHeaderSize / 4];
  ContainerDecodeWords(bytes, kFileHeaderSize / 4, w);
  std::memcpy(out, w, sizeof(w));
  return true;
}

uint64_t FrameBufferBytes(uint32_t width, uint32_t height) {
  // Beyond 2^28 pixels a side the answer is "too big" anyway; stopping there
  // keeps the products below inside 64 bits.
  if (width > 0x10000000u || height > 0x10000000u) return ~0ull;
  uint64_t yw = RoundUp8(width), yh = RoundUp8(height);
  uint64_t cw = RoundUp8((static_cast<uint64_t>(width) + 1) / 2);
  uint64_t ch = RoundUp8((static_cast<uint64_t>(height) + 1) / 2);
  return 2 * (2 * yw * yh + 2 * cw * ch);
}

uint64_t ContainerTablesBytes(const FileHeader& h) {
  return 12ull * h.track_count + 4ull * (static_cast<uint64_t>(h.index_frame_count) + 1);
}

bool FileHeaderValidate(const FileHeader& h, uint64_t available) {
  if (!IsVexaMagic(h.magic)) {
    MediaSetError(kErrorNotVexa);
    return false;
  }
  if (h.frame_count == 0) {
    MediaSetError(kErrorNoFrames);
    return false;
  }
  if (h.width > kMaxPictureSide || h.height > kMaxPictureSide ||
      static_cast<uint64_t>(h.width) * h.height > kMaxPicturePixels ||
      RoundedFrameRate(h.rate_dividend, h.rate_divisor) > kMaxFrameRate) {
    MediaSetError(kErrorReadingHeader);
    return false;
  }
  uint64_t first = ContainerFirstFrameOffset(h);
  if (first > ContainerEndOffset(h) || (available != kUnknownSize && first > available)) {
    MediaSetError(kErrorReadingHeader);
    return false;
  }
  return true;
}

void ContainerLayoutInit(ContainerLayout* layout, const FileHeader& h, const uint32_t* table_words) {
  layout->header = h;
  layout->buffer_sizes = table_words;
  layout->formats = table_words + h.track_count;
  layout->ids = table_words + 2 * static_cast<size_t>(h.track_count);
  layout->index = table_words + 3 * static_cast<size_t>(h.track_count);
}

bool FrameLocate(const ContainerLayout* layout, uint32_t i, FrameLocation* out) {
  const FileHeader& h = layout->header;
  if (i >= h.index_frame_count) return false;
  uint32_t entry = layout->index[i];
  uint32_t start = entry & ~1u;
  uint32_t end = layout->index[i + 1] & ~1u;
  uint32_t lowest = layout->index[0] & ~1u;
  if (start < ContainerFirstFrameOffset(h) || start < lowest) return false;
  if (end < start || end > ContainerEndOffset(h)) return false;
  if (end - start > h.largest_frame) return false;
  out->offset = start;
  out->size = end - start;
  out->key = (entry & 1) != 0;
  return true;
}

uint32_t ContainerIntactFrames(const ContainerLayout* layout, uint64_t available) {
  const FileHeader& h = layout->header;
  const uint32_t frames = h.frame_count < h.index_frame_count ? h.frame_count : h.index_frame_count;
  uint32_t n = 0;
  FrameLocation loc;
  while (n < frames && FrameLocate(layout, n, &loc) &&
         (available == kUnknownSize || static_cast<uint64_t>(loc.offset) + loc.size <= available))
    ++n;
  return n;
}

uint32_t RoundedFrameRate(uint32_t dividend, uint32_t divisor) {
  if (divisor == 0) return 1;
  uint64_t r = (static_cast<uint64_t>(dividend) + divisor / 2) / divisor;
  return r ? static_cast<uint32_t>(r) : 1;
}

void ContainerPeakRate(const ContainerLayout* layout, PeakRate* out) {
  const FileHeader& h = layout->header;
  const uint32_t* index = layout->index;
  // Only frames that are both played and indexed have offsets to compare.
  uint32_t n = h.frame_count < h.index_frame_count ? h.frame_count : h.index_frame_count;
  uint32_t w = RoundedFrameRate(h.rate_dividend, h.rate_divisor);
  out->window = w;
  out->bytes = 0;
  out->frame = 0;
  out->all_key_frames = true;
  for (uint32_t i = 0; i < n; ++i)
    if (!(index[i] & 1)) {
      out->all_key_frames = false;
      break;
    }
  if (n > w) {
    for (uint32_t i = 0; i < n - w; ++i) {
      uint32_t a = index[i] & ~1u, b = index[i + w] & ~1u;
      uint32_t d = b > a ? b - a : 0;
      if (d > out->bytes) {
        out->bytes = d;
        out->frame = i;
      }
    }
    if (out->bytes) return;
  }
  out->frame = 0;
  if (n == 0) return;
  uint32_t a = index[0] & ~1u, b = index[n] & ~1u;
  uint64_t avg = b > a ? static_cast<uint64_t>(b - a) * w / n : 0;
  out->bytes = avg > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(avg);
}

void FrameCursorInit(FrameCursor* c, const uint8_t* frame, uint32_t size, uint32_t track_count) {
  c->pos = frame;
  c->end = frame + size;
  c->track = 0;
  c->track_count = track_count;
}

bool FrameCursorNextAudio(FrameCursor* c, const uint8_t** data, uint32_t* size) {
  if (c->track >= c->track_count) return false;
  size_t left = static_cast<size_t>(c->end - c->pos);
  if (left < 4) return false;
  uint32_t len = LoadWord(c->pos);
  if (len > left - 4) return false;
  *data = c->pos + 4;
  *size = len < 4 ? 0 : len;  // no room for its decoded-byte count: no sound
  c->pos += 4 + static_cast<size_t>(len);
  ++c->track;
  return true;
}

bool FramePacketVideo(const uint8_t* frame, uint32_t size, uint32_t track_count, const uint8_t** video,
                      uint32_t* video_size) {
  FrameCursor c;
  FrameCursorInit(&c, frame, size, track_count);
  const uint8_t* data;
  uint32_t len;
  while (c.track < c.track_count)
    if (!FrameCursorNextAudio(&c, &data, &len)) return false;
  *video = c.pos;
  *video_size = static_cast<uint32_t>(c.end - c.pos);
  return true;
}

bool VideoSkipAlpha(const uint8_t* video, uint32_t size, const uint8_t** rest, uint32_t* rest_size) {
  if (size < 4) return false;
  uint32_t len = LoadWord(video);
  if (len < 4 || len > size) return false;
  *rest = video + len;
  *rest_size = size - len;
  return true;
}

// ---- Loader for tools ----

namespace {

struct Source {
  // Reads up to n bytes; returns the count (0 at the end or on error).
  size_t (*read)(void* ctx, uint8_t* buf, size_t n);
  void* ctx;
};

size_t ReadFile(void* ctx, uint8_t* buf, size_t n) { return std::fread(buf, 1, n, static_cast<std::FILE*>(ctx)); }

size_t ReadFd(void* ctx, uint8_t* buf, size_t n) {
  int fd = *static_cast<int*>(ctx);
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::read(fd, buf + got, n - got);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  return got;
}

struct MemoryCursor {
  const uint8_t* pos;
  size_t left;
};

size_t ReadMemory(void* ctx, uint8_t* buf, size_t n) {
  MemoryCursor* m = static_cast<MemoryCursor*>(ctx);
  if (n > m->left) n = m->left;
  if (n) std::memcpy(buf, m->pos, n);
  m->pos += n;
  m->left -= n;
  return n;
}

// Reads exactly `n` bytes, growing `out` only as data arrives so that a
// header claiming gigabytes of tables in a short file costs nothing.
bool ReadAll(const Source& s, uint64_t n, std::vector<uint8_t>* out) {
  const size_t kChunk = 1 << 20;
  out->clear();
  while (out->size() < n) {
    size_t want = static_cast<size_t>(n - out->size() < kChunk ? n - out->size() : kChunk);
    size_t at = out->size();
    out->resize(at + want);
    size_t got = s.read(s.ctx, out->data() + at, want);
    if (got != want) return false;
  }
  return true;
}

// Bytes from offset `at` to the end of the file behind `fd`, or
// kUnknownSize for a pipe or terminal.
uint64_t RemainingBytes(int fd, int64_t at) {
  struct stat st;
  if (at < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kUnknownSize;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  return size > static_cast<uint64_t>(at) ? size - static_cast<uint64_t>(at) : 0;
}

ContainerFile* Load(const Source& s, uint64_t available) {
  uint8_t head[kFileHeaderSize];
  size_t got = s.read(s.ctx, head, sizeof(head));
  FileHeader h;
  if (!FileHeaderDecode(head, got, &h) || !FileHeaderValidate(h, available)) return nullptr;
  uint64_t bytes = ContainerTablesBytes(h);  // < 2^32 after validation
  std::vector<uint8_t> raw;
  if (!ReadAll(s, bytes, &raw)) {
    MediaSetError(kErrorReadingHeader);
    return nullptr;
  }
  ContainerFile* file = static_cast<ContainerFile*>(CoreAllocate(sizeof(ContainerFile)));
  uint32_t* words = static_cast<uint32_t*>(CoreAllocate(static_cast<uint32_t>(bytes)));
  if (!file || !words) {
    CoreFree(file);
    CoreFree(words);
    MediaSetError(kErrorOutOfMemory);
    return nullptr;
  }
  ContainerDecodeWords(raw.data(), static_cast<size_t>(bytes / 4), words);
  file->words = words;
  file->available = available;
  ContainerLayoutInit(&file->layout, h, words);
  return file;
}

}  // namespace

// Counted from the stream's own position: what stdio has buffered ahead is
// still to come.
ContainerFile* ContainerLoad(std::FILE* f) { return Load(Source{ReadFile, f}, RemainingBytes(fileno(f), std::ftell(f))); }

ContainerFile* ContainerLoadFd(int fd) { return Load(Source{ReadFd, &fd}, RemainingBytes(fd, lseek(fd, 0, SEEK_CUR))); }

ContainerFile* ContainerLoadPath(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    MediaSetError(kErrorOpeningFile);
    return nullptr;
  }
  ContainerFile* file = ContainerLoad(f);
  std::fclose(f);
  return file;
}

ContainerFile* ContainerLoadMemory(const uint8_t* bytes, size_t size) {
  MemoryCursor m{bytes, size};
  return Load(Source{ReadMemory, &m}, size);
}

void ContainerFree(ContainerFile* file) {
  if (!file) return;
  CoreFree(file->words);
  CoreFree(file);
}
