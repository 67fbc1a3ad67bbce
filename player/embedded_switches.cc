// The embedded switch field. It is one statically initialised block of the
// program's data: the marker, the field of 512 "~", and a terminating zero.
// The block is kept by the compiler and linker (it is used), and every read
// goes through a pointer the optimiser cannot see through, so a patched
// program file really reads its patched bytes.
#include "player/embedded_switches.h"

#include <cstring>

#include "player/switches.h"

namespace {

constexpr char kMarker[kEmbeddedMarkerSize + 1] = "<<VexaSwitches>>";

struct EmbeddedBlock {
  char bytes[kEmbeddedMarkerSize + kEmbeddedFieldSize + 1];
};

constexpr EmbeddedBlock MakeBlock() {
  EmbeddedBlock block{};
  for (uint32_t i = 0; i < kEmbeddedMarkerSize; ++i) block.bytes[i] = kMarker[i];
  for (uint32_t i = 0; i < kEmbeddedFieldSize; ++i) block.bytes[kEmbeddedMarkerSize + i] = '~';
  block.bytes[kEmbeddedMarkerSize + kEmbeddedFieldSize] = 0;
  return block;
}

// Only this block holds the marker followed by a field: the marker literal
// above is used at compile time only. The block is deliberately not const:
// debug information records the value of a constant, which would put a
// second intact copy of the field into the program file.
[[gnu::used]] EmbeddedBlock g_embedded_block = MakeBlock();

// The block's address, hidden from the optimiser so that the constant
// content is never folded into the code that reads it.
const char* BlockBytes() {
  const char* p = g_embedded_block.bytes;
  asm volatile("" : "+r"(p));
  return p;
}

bool FieldIntact(const uint8_t* field) {
  for (uint32_t i = 0; i < kEmbeddedFieldSize; ++i) {
    if (field[i] == 0) return false;
  }
  return field[kEmbeddedFieldSize] == 0;
}

}  // namespace

const char* EmbeddedSwitchMarker() { return BlockBytes(); }

uint32_t EmbeddedSwitchText(char* out, uint32_t out_size) {
  if (out_size == 0) return 0;
  const char* field = BlockBytes() + kEmbeddedMarkerSize;
  uint32_t limit = out_size - 1 < kEmbeddedSwitchMax ? out_size - 1 : kEmbeddedSwitchMax;
  uint32_t n = 0;
  while (n < limit && field[n] != 0 && field[n] != '~') {
    out[n] = field[n];
    ++n;
  }
  out[n] = 0;
  return n;
}

long FindEmbeddedSwitchField(const uint8_t* bytes, size_t size) {
  const size_t block_size = kEmbeddedMarkerSize + kEmbeddedFieldSize + 1;
  if (!bytes || size < block_size) return -1;
  const char* marker = BlockBytes();
  long found = -1;
  for (size_t i = 0; i + block_size <= size; ++i) {
    if (bytes[i] != static_cast<uint8_t>(marker[0])) continue;
    if (std::memcmp(bytes + i, marker, kEmbeddedMarkerSize) != 0) continue;
    if (!FieldIntact(bytes + i + kEmbeddedMarkerSize)) continue;
    if (found >= 0) return -1;  // two candidates: refuse to guess
    found = static_cast<long>(i + kEmbeddedMarkerSize);
  }
  return found;
}

bool PatchEmbeddedSwitches(uint8_t* bytes, size_t size, const char* text, const char** error) {
  size_t length = text ? std::strlen(text) : 0;
  if (length > kEmbeddedSwitchMax) {
    if (error) *error = "The switch text is longer than 510 characters.";
    return false;
  }
  if (length > 0 && std::memchr(text, '~', length) != nullptr) {
    if (error) *error = "The switch text may not contain \"~\".";
    return false;
  }
  long at = FindEmbeddedSwitchField(bytes, size);
  if (at < 0) {
    if (error) *error = "No embedded switch field found in the program file.";
    return false;
  }
  uint8_t* field = bytes + at;
  if (length > 0) std::memcpy(field, text, length);
  std::memset(field + length, '~', kEmbeddedFieldSize - length);
  return true;
}

bool BuildPlayerSwitchText(SwitchText* out, const char* command_line, bool screen_saver) {
  char embedded[kEmbeddedSwitchMax + 1];
  EmbeddedSwitchText(embedded, sizeof(embedded));
  return BuildSwitchText(out, embedded, command_line, screen_saver);
}
