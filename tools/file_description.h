// What `vexa info` says about a file from its header, track tables and
// frame index, without decoding a frame: the figures people look for first
// (duration, picture, frame rate, sound), then the file's own terms. The
// JSON members are shared by `info --json` and `info --summary --json`, so
// one figure has one name and one value in both.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/container.h"

struct FileDescription {
  uint32_t frames;      // frames both played and indexed
  uint32_t key_frames;
  uint32_t bad_frames;  // frames a reader would refuse (index entries, or promised beyond the index)
  uint32_t biggest;     // largest frame size found in the index
  double fps;
  double duration_s;
  uint64_t size_bytes;  // the media data, header included
  // Bytes of frame data per second and per frame, over the whole file (the
  // playback core's summary gives the same figures).
  uint32_t average_rate;
  uint32_t average_frame;
  PeakRate peak;        // peak.frame is 0-based here; shown 1-based
};

void DescribeFile(const ContainerLayout* layout, FileDescription* out);
void PrintDescriptionText(std::FILE* out, const char* path, const ContainerLayout* layout, const FileDescription& d);
// The JSON object's members, without the braces.
std::string DescriptionJsonMembers(const char* path, const ContainerLayout* layout, const FileDescription& d);
