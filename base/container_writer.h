// Writes a Vexa media file: header, track tables, frame index and the frame
// packets, from frames handed over one at a time. A tool, not playback code:
// it keeps the whole file in memory until it is finished.
//
// Each frame's packet is laid out as the reader expects: for every track in
// table order a 4-byte length and that many bytes, then the video data. The
// frame index keeps the key mark in bit 0 of each offset, so every packet
// must have an even length; the writer appends one zero byte after the video
// data of a frame whose packet would otherwise be odd (the video decoder
// ignores bytes past its planes), so callers need not care.
#pragma once
#include <cstdint>
#include <vector>

struct ContainerTrack {
  uint32_t buffer_size;  // bytes of decoded 16-bit sound the player must hold
  uint32_t format;       // TrackFormat word (see media/container.h)
  uint32_t id;           // identifier callers select the track by
};

struct ContainerSettings {
  char revision;  // 'f', 'g', 'h' or 'i'; 0 means 'i'
  uint32_t width, height;
  uint32_t rate_dividend, rate_divisor;
  uint32_t video_flags;  // FLAG_GRAYSCALE, FLAG_ALPHA, SCALE_MODE bits
  uint32_t track_count;
  const ContainerTrack* tracks;  // track_count entries (copied)
};

struct ContainerFrame {
  bool key;
  // Per track (track_count entries; both may be null when there are no
  // tracks, `audio` also when every size is 0): the packet's bytes after its
  // length field, that is the decoded-byte count followed by the coded
  // blocks, so at least 4 bytes. Size 0 writes a length of 0: no sound for
  // that track in this frame.
  const uint8_t* const* audio;
  const uint32_t* audio_sizes;
  const uint8_t* video;  // may be null when video_size is 0
  uint32_t video_size;
};

struct ContainerWriter;  // opaque

// Null with MediaGetError() set on bad settings (zero rate divisor, bad
// revision, track_count with null tracks) or when out of memory.
ContainerWriter* ContainerWriterCreate(const ContainerSettings* settings);
// Appends one frame. False (error text set) when the file would exceed the
// 31-bit offsets of the index or the frame is malformed; the writer stays
// usable and the frame is not added.
bool ContainerWriterAddFrame(ContainerWriter* writer, const ContainerFrame* frame);
// Completes the file (index, largest frame, data size) and writes it out.
// Both free the writer whatever the result. A writer with no frames still
// writes a file (frame count 0), which readers refuse.
bool ContainerWriterFinishToFile(ContainerWriter* writer, const char* path);
bool ContainerWriterFinishToMemory(ContainerWriter* writer, std::vector<uint8_t>* out);
// Frees a writer without writing anything; null does nothing.
void ContainerWriterDestroy(ContainerWriter* writer);
