// Operations shared by the open and the playback calls.
#pragma once
#include <cstdint>

struct MediaFile;

// Reads frame n (1-based; 0 reads as 1) into the frame buffer or points at
// it in memory; sets stopped when the frame cannot be read.
void MediaReadFrame(MediaFile* m, uint32_t n);
// One non-blocking read-ahead fill when the ring is low (the copy-out's
// top-up; also used by the decode).
void MediaTopUp(void* media);
// Adds the time since the end of the last decode (the copy and blit) to the
// blit time; with slowest_update, also records the frame cycle among the two
// slowest.
void MediaBookBlitTime(MediaFile* m, uint32_t now, bool slowest_update);
