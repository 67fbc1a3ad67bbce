// The layout of a Vexa media file and the checks that make its untrusted
// fields safe to use.
//
// A file is: a 44-byte FileHeader; three tables of one 32-bit word per audio
// track (buffer sizes, TrackFormat words, identifiers); the FrameIndex
// (index frame count + 1 offsets, bit 0 marking key frames); then the frame
// packets back to back. All words are little-endian; offsets count from the
// first byte of the media data, which need not be the first byte of the
// operating-system file.
//
// Everything here works on bytes or words the caller already holds; nothing
// allocates except the tool loader at the end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/open_flags.h"

inline constexpr uint32_t kFileHeaderSize = 44;

// The header as stored, one 32-bit field each, in file order. `magic` holds
// 'V','X','A' and the revision letter as one little-endian word.
struct FileHeader {
  uint32_t magic;
  uint32_t data_size;          // media data size minus 8
  uint32_t frame_count;        // frames to play
  uint32_t largest_frame;      // bytes of the largest FramePacket
  uint32_t index_frame_count;  // frames covered by the FrameIndex
  uint32_t width;
  uint32_t height;
  uint32_t rate_dividend;  // frames per second = dividend / divisor
  uint32_t rate_divisor;
  uint32_t video_flags;
  uint32_t track_count;  // audio tracks; 0 for a silent file
};
static_assert(sizeof(FileHeader) == kFileHeaderSize, "FileHeader is stored as is");

// Video flags: FLAG_GRAYSCALE, FLAG_ALPHA and SCALE_MODE share their bits
// with the open flags (media/open_flags.h).

// Doubling modes held in the SCALE_MODE field.
enum ScaleModeValue : uint32_t {
  SCALE_NONE = 0,
  SCALE_HEIGHT_DOUBLED = 1,
  SCALE_HEIGHT_INTERLACED = 2,
  SCALE_WIDTH_DOUBLED = 3,
  SCALE_BOTH_DOUBLED = 4,
  SCALE_BOTH_INTERLACED = 5,
  SCALE_HEIGHT_INTERLACED_1X = 6,
  SCALE_FORCE_NONE = 7,  // only meaningful in open flags
};
// A short lower-case name of a doubling mode ("none", "height-doubled", ...).
const char* ScaleModeName(uint32_t mode);

// The magic word for revision letter `r`, and the test of all four bytes
// together against the accepted revisions 'f' to 'i'.
inline constexpr uint32_t VexaMagic(char r) {
  return 0x00415856u | (static_cast<uint32_t>(static_cast<unsigned char>(r)) << 24);
}
bool IsVexaMagic(uint32_t magic);
inline char RevisionOf(const FileHeader& h) { return static_cast<char>(h.magic >> 24); }

// TrackFormat word.
inline constexpr uint32_t TRACK_RATE_MASK = 0x0000FFFF;
inline constexpr uint32_t TRACK_DCT = 0x10000000;       // decoder kind 1
inline constexpr uint32_t TRACK_STEREO = 0x20000000;
inline constexpr uint32_t TRACK_16BIT = 0x40000000;     // else 8-bit output
inline constexpr uint32_t TRACK_REAL_DFT = 0x80000000;  // decoder kind 0, wins over TRACK_DCT

inline constexpr int TRACK_KIND_REAL_DFT = 0;
inline constexpr int TRACK_KIND_DCT = 1;
inline constexpr int TRACK_KIND_NONE = -1;  // no playable sound; never opened

inline constexpr uint32_t TrackFormatRate(uint32_t f) { return f & TRACK_RATE_MASK; }
inline constexpr uint32_t TrackFormatChannels(uint32_t f) { return (f & TRACK_STEREO) ? 2 : 1; }
inline constexpr bool TrackFormatIs16Bit(uint32_t f) { return (f & TRACK_16BIT) != 0; }
inline constexpr int TrackFormatKind(uint32_t f) {
  return (f & TRACK_REAL_DFT) ? TRACK_KIND_REAL_DFT : (f & TRACK_DCT) ? TRACK_KIND_DCT : TRACK_KIND_NONE;
}

// Decodes `count` little-endian words from `bytes` (any alignment).
void ContainerDecodeWords(const uint8_t* bytes, size_t count, uint32_t* words);

// Decodes the header from the first bytes of the media data. Fewer than 4
// bytes or a wrong magic: "Not a Vexa file."; a right magic but fewer than 44
// bytes: "Error reading Vexa header.". Does not validate further.
bool FileHeaderDecode(const uint8_t* bytes, size_t size, FileHeader* out);

// The largest picture a file may carry. Real files need up to 4096 x 4096
// pixels (a side may reach 16384 when the other is shorter); two plane sets
// of that, alpha included, take about 84 MB. A header naming a bigger
// picture is refused as unreadable: honouring it would let a few kilobytes
// of file demand gigabytes and minutes of decoding.
inline constexpr uint32_t kMaxPictureSide = 16384;
inline constexpr uint64_t kMaxPicturePixels = 4096ull * 4096;
// The highest frame rate a file may have, rounded to whole frames per
// second. Buffers and statistics are sized by the rate; no real file comes
// near this. A zero dividend (never waited for) stays allowed.
inline constexpr uint32_t kMaxFrameRate = 1000;
// Bytes of two full plane sets (Y and alpha at the width and height rounded
// up to 8; two chroma planes at half of them, rounded up to 8).
uint64_t FrameBufferBytes(uint32_t width, uint32_t height);

// Bytes of the three track tables and the index; the offset of the first
// frame (44 + both). 64-bit: the fields are untrusted.
uint64_t ContainerTablesBytes(const FileHeader& h);
inline uint64_t ContainerFirstFrameOffset(const FileHeader& h) { return kFileHeaderSize + ContainerTablesBytes(h); }
// One past the last byte of the media data (data size + 8).
inline uint64_t ContainerEndOffset(const FileHeader& h) { return static_cast<uint64_t>(h.data_size) + 8; }

inline constexpr uint64_t kUnknownSize = ~0ull;
// Checks a decoded header, leaving the first failing text:
//   magic or revision wrong            "Not a Vexa file."
//   frame count 0                      "The file doesn't contain any compressed frames yet."
//   picture beyond kMaxPictureSide or kMaxPicturePixels, rounded frame rate
//   above kMaxFrameRate, tables and index that would run past the data end,
//   or past `available` bytes of media data when the caller knows it (else
//   kUnknownSize)                      "Error reading Vexa header."
// A header that passes has tables that fit in 32 bits and in the file, so a
// caller may size and read them without overflow or a giant allocation.
bool FileHeaderValidate(const FileHeader& h, uint64_t available);

// The whole layout, pointing at words the caller owns (decoded tables and
// index, in file order, ContainerTablesBytes(h) / 4 words).
struct ContainerLayout {
  FileHeader header;
  const uint32_t* buffer_sizes;  // track_count words
  const uint32_t* formats;       // track_count words
  const uint32_t* ids;           // track_count words
  const uint32_t* index;         // index_frame_count + 1 words
};
void ContainerLayoutInit(ContainerLayout* layout, const FileHeader& h, const uint32_t* table_words);

// Frame i (0-based) of the index.
struct FrameLocation {
  uint32_t offset;  // from the start of the media data
  uint32_t size;
  bool key;
};
// False for a frame that must not be read: i beyond the index, an end past
// the data end, an entry below its predecessor or below the first frame, or
// a size above the largest-frame field. Sets no error text: the caller treats
// it as a read error of that frame.
bool FrameLocate(const ContainerLayout* layout, uint32_t i, FrameLocation* out);

// How many frames, from the first, can be read: each is located by the index
// (FrameLocate) and ends within `available` bytes of media data (kUnknownSize
// when the caller cannot tell). Playback delivers these and then stops as at
// a read error; for a cut-off file it is the frames that survived the cut.
// Counts at most the frames to play.
uint32_t ContainerIntactFrames(const ContainerLayout* layout, uint64_t available);

// The rounded frame rate used as the peak window: (dividend + divisor / 2) /
// divisor, at least 1 (and 1 when the divisor is 0).
uint32_t RoundedFrameRate(uint32_t dividend, uint32_t divisor);

struct PeakRate {
  uint32_t bytes;       // largest byte count of any window of `window` frames
  uint32_t frame;       // first index i where it occurs
  uint32_t window;      // frames per window (the rounded frame rate)
  bool all_key_frames;  // every indexed frame to play is a key frame
};
// The peak data rate of the file over the frames both played and indexed.
// Offsets going backwards count as 0 bytes, never as a wrapped huge value.
void ContainerPeakRate(const ContainerLayout* layout, PeakRate* out);

// Walking a FramePacket: one audio packet per file track, then the video.
struct FrameCursor {
  const uint8_t* pos;
  const uint8_t* end;
  uint32_t track;        // next track to read
  uint32_t track_count;  // tracks of the file
};
void FrameCursorInit(FrameCursor* c, const uint8_t* frame, uint32_t size, uint32_t track_count);
// The next track's packet: its bytes after the length field. `*size` is 0
// when the track has no sound in this frame, also when the packet is 1 to 3
// bytes long (too short for its decoded-byte count): that track's sound is
// dropped for the frame and the rest of the frame stands. False when the
// packet runs past the frame, or every track has been read; the frame is
// then broken.
bool FrameCursorNextAudio(FrameCursor* c, const uint8_t** data, uint32_t* size);
// Skips every audio packet; the video data is what remains. False when an
// audio packet breaks the frame.
bool FramePacketVideo(const uint8_t* frame, uint32_t size, uint32_t track_count, const uint8_t** video,
                      uint32_t* video_size);
// Skips the alpha plane that opens the video data of a FLAG_ALPHA file (its
// length field counts itself). False when the field is missing, below 4 or
// past the video data.
bool VideoSkipAlpha(const uint8_t* video, uint32_t size, const uint8_t** rest, uint32_t* rest_size);

// For tools: header, tables and index read into memory. Not used by playback.
struct ContainerFile {
  ContainerLayout layout;
  uint32_t* words;     // tables and index (CoreAllocate)
  uint64_t available;  // bytes of media data the source holds; kUnknownSize for a stream
};
// Reads from the current position of `f` (the start of the media data).
// Null with the error text on failure; tables or index cut short give
// "Error reading Vexa header.".
ContainerFile* ContainerLoad(std::FILE* f);
ContainerFile* ContainerLoadFd(int fd);
// Opens `path` ("Error opening file." when it cannot).
ContainerFile* ContainerLoadPath(const char* path);
// From a media image in memory.
ContainerFile* ContainerLoadMemory(const uint8_t* bytes, size_t size);
void ContainerFree(ContainerFile* file);
