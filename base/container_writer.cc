#include "base/container_writer.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "base/container.h"
#include "base/media_error.h"

struct ContainerWriter {
  FileHeader header;
  std::vector<uint32_t> buffer_sizes, formats, ids;
  std::vector<uint32_t> index;  // one entry per frame: packet offset relative to the first frame, key in bit 0
  std::vector<uint8_t> frames;  // the packets, back to back
  uint32_t largest_frame;
};

namespace {

// Index entries are 32-bit with bit 0 taken by the key mark, so no offset may
// reach 2^32; the largest even offset is the end limit of the media data.
constexpr uint64_t kMaxEndOffset = 0xFFFFFFFEull;

void PutWord(std::vector<uint8_t>* out, uint32_t v) {
  uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                  static_cast<uint8_t>(v >> 24)};
  out->insert(out->end(), b, b + 4);
}

void PutWords(std::vector<uint8_t>* out, const std::vector<uint32_t>& words) {
  for (uint32_t w : words) PutWord(out, w);
}

uint64_t FirstFrameOffset(const ContainerWriter* w, uint64_t frames) {
  return kFileHeaderSize + 12ull * w->header.track_count + 4ull * (frames + 1);
}

}  // namespace

ContainerWriter* ContainerWriterCreate(const ContainerSettings* s) {
  char rev = s->revision ? s->revision : 'i';
  if (!IsVexaMagic(VexaMagic(rev)) || s->rate_divisor == 0 || (s->track_count && !s->tracks)) {
    MediaSetError("Bad container settings.");
    return nullptr;
  }
  ContainerWriter* w = new (std::nothrow) ContainerWriter();
  if (!w) {
    MediaSetError(kErrorOutOfMemory);
    return nullptr;
  }
  try {
    w->header = FileHeader{};
    w->header.magic = VexaMagic(rev);
    w->header.width = s->width;
    w->header.height = s->height;
    w->header.rate_dividend = s->rate_dividend;
    w->header.rate_divisor = s->rate_divisor;
    w->header.video_flags = s->video_flags;
    w->header.track_count = s->track_count;
    for (uint32_t t = 0; t < s->track_count; ++t) {
      w->buffer_sizes.push_back(s->tracks[t].buffer_size);
      w->formats.push_back(s->tracks[t].format);
      w->ids.push_back(s->tracks[t].id);
    }
  } catch (const std::bad_alloc&) {
    delete w;
    MediaSetError(kErrorOutOfMemory);
    return nullptr;
  }
  w->largest_frame = 0;
  return w;
}

bool ContainerWriterAddFrame(ContainerWriter* w, const ContainerFrame* f) {
  const uint32_t tracks = w->header.track_count;
  if (tracks && !f->audio_sizes) {
    MediaSetError("Frame without its audio packet sizes.");
    return false;
  }
  if (f->video_size && !f->video) {
    MediaSetError("Frame without its video data.");
    return false;
  }
  uint64_t packet = f->video_size;
  for (uint32_t t = 0; t < tracks; ++t) {
    uint32_t n = f->audio_sizes[t];
    if (n && (!f->audio || !f->audio[t] || n < 4)) {
      // A packet carries at least its decoded-byte count.
      MediaSetError("Bad audio packet.");
      return false;
    }
    packet += 4ull + n;
  }
  const bool pad = packet & 1;
  packet += pad;
  // The offset of the frame after this one must still fit the index, which
  // also grows by one entry and moves every frame 4 bytes further.
  uint64_t end = FirstFrameOffset(w, w->index.size() + 1) + w->frames.size() + packet;
  if (end > kMaxEndOffset) {
    MediaSetError("File too large.");
    return false;
  }
  try {
    size_t at = w->frames.size();
    w->frames.reserve(at + static_cast<size_t>(packet));
    w->index.push_back(static_cast<uint32_t>(at) | (f->key ? 1u : 0u));
    for (uint32_t t = 0; t < tracks; ++t) {
      PutWord(&w->frames, f->audio_sizes[t]);
      if (f->audio_sizes[t]) w->frames.insert(w->frames.end(), f->audio[t], f->audio[t] + f->audio_sizes[t]);
    }
    if (f->video_size) w->frames.insert(w->frames.end(), f->video, f->video + f->video_size);
    if (pad) w->frames.push_back(0);
  } catch (const std::bad_alloc&) {
    MediaSetError(kErrorOutOfMemory);
    return false;
  }
  if (packet > w->largest_frame) w->largest_frame = static_cast<uint32_t>(packet);
  return true;
}

bool ContainerWriterFinishToMemory(ContainerWriter* w, std::vector<uint8_t>* out) {
  bool ok = true;
  try {
    const uint32_t frames = static_cast<uint32_t>(w->index.size());
    const uint32_t first = static_cast<uint32_t>(FirstFrameOffset(w, frames));
    const uint32_t end = first + static_cast<uint32_t>(w->frames.size());
    FileHeader h = w->header;
    h.data_size = end - 8;
    h.frame_count = frames;
    h.index_frame_count = frames;
    h.largest_frame = w->largest_frame;
    out->clear();
    out->reserve(end);
    uint32_t hw[kFileHeaderSize / 4];
    std::memcpy(hw, &h, sizeof(hw));
    for (uint32_t v : hw) PutWord(out, v);
    PutWords(out, w->buffer_sizes);
    PutWords(out, w->formats);
    PutWords(out, w->ids);
    for (uint32_t e : w->index) PutWord(out, e + first);  // first is even: the key bit stays
    PutWord(out, end);
    out->insert(out->end(), w->frames.begin(), w->frames.end());
  } catch (const std::bad_alloc&) {
    MediaSetError(kErrorOutOfMemory);
    ok = false;
  }
  delete w;
  return ok;
}

bool ContainerWriterFinishToFile(ContainerWriter* w, const char* path) {
  std::vector<uint8_t> bytes;
  if (!ContainerWriterFinishToMemory(w, &bytes)) return false;
  std::FILE* f = std::fopen(path, "wb");
  if (!f) {
    MediaSetError(kErrorOpeningFile);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) MediaSetError("Error writing file.");
  return ok;
}

void ContainerWriterDestroy(ContainerWriter* w) { delete w; }
