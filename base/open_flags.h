// The open-flags word given to MediaOpen and kept, merged with the file's
// video flags, in the MediaFile.
#pragma once
#include <cstdint>

constexpr uint32_t OPEN_NO_VIDEO = 0x00000400;
constexpr uint32_t OPEN_FRAME_RATE = 0x00001000;
constexpr uint32_t OPEN_PRELOAD = 0x00002000;
constexpr uint32_t OPEN_SOUND_TRACKS = 0x00004000;
constexpr uint32_t FLAG_OLD_BITSTREAM = 0x00008000;
constexpr uint32_t FLAG_SWAPPED_CHROMA = 0x00010000;
constexpr uint32_t FLAG_GRAYSCALE = 0x00020000;
constexpr uint32_t OPEN_NO_SKIP = 0x00080000;
constexpr uint32_t FLAG_ALPHA = 0x00100000;
constexpr uint32_t OPEN_NO_FILL = 0x00200000;
constexpr uint32_t OPEN_SIMULATE_RATE = 0x00400000;
constexpr uint32_t OPEN_FILE_HANDLE = 0x00800000;
constexpr uint32_t OPEN_READ_BUFFER_SIZE = 0x01000000;
constexpr uint32_t OPEN_CUSTOM_OPENER = 0x02000000;
constexpr uint32_t OPEN_FROM_MEMORY = 0x04000000;
constexpr uint32_t OPEN_NO_THREAD = 0x08000000;
constexpr uint32_t SCALE_MODE = 0x70000000;
constexpr uint32_t SCALE_MODE_SHIFT = 28;

// The doubling mode (0..7) held in a flags word.
constexpr uint32_t ScaleModeOf(uint32_t flags) { return (flags & SCALE_MODE) >> SCALE_MODE_SHIFT; }
