// The luma and chroma expansion tables of the colour equations:
//   y = LumaTable[Y]; v = ChromaTable[V]; u = ChromaTable[U]
//   red = y + d + 4v; green = y + d - u - 2v; blue = y + d + 5u
// where d is the dither offset of the channel. Every converter, plain or
// vector, produces exactly what these tables and equations give.
#pragma once
#include <array>
#include <cstdint>

// 0 for 0-15, floor((Y - 16) * 76392 / 65536) for 16-234, 255 for 235-255.
extern const std::array<uint8_t, 256> LumaTable;
// floor((C - 128) * 26572 / 65536): -52 at 0, 0 at 128, 51 at 255.
extern const std::array<int8_t, 256> ChromaTable;

// The fixed-point factors behind the tables, for the vector converters.
inline constexpr int32_t kLumaScale = 76392;    // 255/219 in 1/65536
inline constexpr int32_t kChromaScale = 26572;  // in 1/65536
