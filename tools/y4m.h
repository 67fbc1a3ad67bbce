// YUV4MPEG2 files of 4:2:0 (or monochrome) pictures: the tools' raw-video
// input and output. Planes are Y (width x height) and the two chroma planes
// U (blue difference) and V (red difference) of ceil(width/2) x
// ceil(height/2); a monochrome file reads with chroma 128.
#pragma once
#include <cstdint>
#include <cstdio>

struct Y4mInfo {
  uint32_t width, height;
  uint32_t rate_num, rate_den;  // frames per second = rate_num / rate_den
  bool mono;                    // C mono: Y only
};

inline uint32_t Y4mChromaWidth(const Y4mInfo* i) { return (i->width + 1) / 2; }
inline uint32_t Y4mChromaHeight(const Y4mInfo* i) { return (i->height + 1) / 2; }

struct Y4mFile {
  FILE* f;
  Y4mInfo info;
  bool writing;
};

// The last failure's text.
const char* Y4mError();

// Opens a file for reading and parses its header (4:2:0 and mono layouts
// only). Null on failure.
Y4mFile* Y4mOpenRead(const char* path);
// Reads the next frame into the planes (pitches in bytes). 1: a frame was
// read; 0: end of file; -1: error (truncated or malformed frame).
int Y4mReadFrame(Y4mFile* f, uint8_t* y, int y_pitch, uint8_t* u, uint8_t* v, int c_pitch);

// Creates a file and writes its header (C420jpeg, or Cmono when info->mono).
Y4mFile* Y4mOpenWrite(const char* path, const Y4mInfo* info);
// Writes one frame; u and v are ignored for a mono file.
bool Y4mWriteFrame(Y4mFile* f, const uint8_t* y, int y_pitch, const uint8_t* u, const uint8_t* v,
                   int c_pitch);

// Closes the file; false when a write error occurred. Null does nothing.
bool Y4mClose(Y4mFile* f);
