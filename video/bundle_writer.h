// Writing the chunks of every bundle kind and a plane's tree descriptions:
// the mirror of bundle.h. Each chunk writer puts the count in the bundle's
// length-field width and then the values; n = 0 writes the end mark alone.
// A writer returns false, having written nothing, when the values cannot be
// coded that way (a value out of range, a fill of unequal values, a length
// that does not fit the field).
#pragma once
#include <cstdint>

#include "video/bit_writer.h"
#include "video/bundle.h"
#include "video/huff_writer.h"

enum ChunkMode {
  CHUNK_AUTO = 0,  // the fill form when every value is equal and n > 1
  CHUNK_FILL = 1,  // fill bit 1: one value stored n times (kinds with no fill bit refuse it)
  CHUNK_LIST = 2,  // fill bit 0 (or no fill bit): every value coded
};

// The tree descriptions in stream order.
bool WriteBundleTrees(BitWriter* w, const BundleTrees* t, HuffTreeMode mode);

// blockTypes / subBlockTypes: values 0..15; in the list form values of 12..15
// cannot be coded, and runs of the repeat value use the escapes 12..15.
bool WriteKindChunk(BitWriter* w, const HuffTree* tree, uint32_t length_bits, const uint8_t* values,
                    uint32_t n, ChunkMode mode);

// Colour coding state of a plane, as the reader keeps it.
struct ColourCoder {
  const BundleTrees* trees;
  uint32_t last_high;
  bool old_colours;  // sign-and-magnitude coding (old bitstream): byte 0 cannot be coded
};
// The symbols (high and low nibble) that code stored byte value, or false.
bool ColourSymbols(bool old_colours, uint32_t value, uint32_t* high, uint32_t* low);
bool WriteColourChunk(BitWriter* w, ColourCoder* c, uint32_t length_bits, const uint8_t* values,
                      uint32_t n, ChunkMode mode);

// patterns: no fill bit; each value as its low then its high nibble.
bool WritePatternChunk(BitWriter* w, const HuffTree* tree, uint32_t length_bits, const uint8_t* values,
                       uint32_t n);

// xOffsets / yOffsets: values -15..15.
bool WriteOffsetChunk(BitWriter* w, const HuffTree* tree, uint32_t length_bits, const int8_t* values,
                      uint32_t n, ChunkMode mode);

// dcIntra (first value 0..2047) / dcInter (first value -1023..1023); later
// values are any 16-bit values whose step from the previous one, taken as a
// 16-bit signed difference, is not -32768.
bool WriteDcChunk(BitWriter* w, bool inter, uint32_t length_bits, const int16_t* values, uint32_t n);

// runs: values 0..15.
bool WriteRunChunk(BitWriter* w, const HuffTree* tree, uint32_t length_bits, const uint8_t* values,
                   uint32_t n, ChunkMode mode);

// The symbols the kind chunk's list form codes for values (literals below 12
// and escapes 12..15), for building trees; returns the symbol count (at most
// n), or -1 when a value of 12..15 would need a literal. kinds receives the
// value each symbol stands for (an escape: the value it repeats). symbols
// and kinds may be null.
int KindChunkSymbols(const uint8_t* values, uint32_t n, uint8_t* symbols, uint8_t* kinds = nullptr);
