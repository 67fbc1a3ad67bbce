#include "display/colour_tables.h"

#include <array>

namespace {

constexpr std::array<uint8_t, 256> MakeLumaTable() {
  std::array<uint8_t, 256> t{};
  for (int y = 0; y < 256; ++y) {
    if (y < 16) {
      t[y] = 0;
    } else if (y >= 235) {
      t[y] = 255;
    } else {
      t[y] = static_cast<uint8_t>(((y - 16) * kLumaScale) >> 16);
    }
  }
  return t;
}

constexpr std::array<int8_t, 256> MakeChromaTable() {
  std::array<int8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    // Arithmetic shift of a negative product rounds towards minus infinity.
    int32_t product = (c - 128) * kChromaScale;
    t[c] = static_cast<int8_t>(product >= 0 ? product >> 16 : -((-product + 65535) >> 16));
  }
  return t;
}

static_assert(MakeLumaTable()[16] == 0 && MakeLumaTable()[234] == 254 && MakeLumaTable()[235] == 255);
static_assert(MakeChromaTable()[0] == -52 && MakeChromaTable()[128] == 0 && MakeChromaTable()[255] == 51);

}  // namespace

constinit const std::array<uint8_t, 256> LumaTable = MakeLumaTable();
constinit const std::array<int8_t, 256> ChromaTable = MakeChromaTable();
