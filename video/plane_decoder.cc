#include "video/plane_decoder.h"

#include <cstddef>
#include <cstring>

#include "video/bit_reader.h"
#include "video/block_kinds.h"
#include "video/block_pixels.h"
#include "video/coefficients.h"
#include "video/inverse_transform.h"
#include "video/motion.h"
#include "video/quant_tables.h"
#include "video/residue.h"
#include "video/scan_tables.h"

namespace {

inline uint32_t Take(Bundle* b) { return *b->read++; }
inline int TakeSigned(Bundle* b) { return int8_t(*b->read++); }
inline int16_t TakeDc(Bundle* b) {
  int16_t v = *reinterpret_cast<const int16_t*>(b->read);
  b->read += 2;
  return v;
}
inline bool Has(const Bundle* b, uint32_t n) { return uint32_t(b->end - b->read) >= n; }

// Everything a block decoder needs besides its position.
struct PlaneState {
  BitReader r;
  PlaneBundles p;
  uint32_t width, height;
  int pitch;
};

// Runs of colours along one of the run scans, assembled in out.
VideoError DecodeRuns(PlaneState* s, uint8_t out[64]) {
  Bundle* runs = &s->p.b[BUNDLE_RUNS];
  Bundle* colours = &s->p.b[BUNDLE_COLOURS];
  const uint8_t* scan = RUN_SCANS[ReadBits(&s->r, 4)];
  // At most 63 runs and 64 colours are taken before the counts are checked;
  // the buffers' slack covers that.
  uint32_t i = 0;
  while (i < 63) {
    uint32_t fill = ReadBit(&s->r);
    uint32_t run = Take(runs) + 1;
    if (i + run > 64) {
      // A run taken past its chunk is a value left over from another plane:
      // the error must not depend on it.
      return runs->read > runs->end || colours->read > colours->end ? VIDEO_ERROR_BUNDLE_EMPTY
                                                                    : VIDEO_ERROR_RUNS_PAST_END;
    }
    if (fill) {
      uint8_t c = uint8_t(Take(colours));
      for (uint32_t k = 0; k < run; ++k) out[scan[i++]] = c;
    } else {
      for (uint32_t k = 0; k < run; ++k) out[scan[i++]] = uint8_t(Take(colours));
    }
  }
  if (i == 63) out[scan[63]] = uint8_t(Take(colours));
  if (runs->read > runs->end || colours->read > colours->end) return VIDEO_ERROR_BUNDLE_EMPTY;
  return VIDEO_OK;
}

VideoError TakePattern(PlaneState* s, uint32_t* c0, uint32_t* c1, uint8_t rows[8]) {
  Bundle* colours = &s->p.b[BUNDLE_COLOURS];
  Bundle* patterns = &s->p.b[BUNDLE_PATTERNS];
  if (!Has(colours, 2) || !Has(patterns, 8)) return VIDEO_ERROR_BUNDLE_EMPTY;
  *c0 = Take(colours);
  *c1 = Take(colours);
  for (int k = 0; k < 8; ++k) rows[k] = uint8_t(Take(patterns));
  return VIDEO_OK;
}

VideoError TakeRaw(PlaneState* s, uint8_t out[64]) {
  Bundle* colours = &s->p.b[BUNDLE_COLOURS];
  if (!Has(colours, 64)) return VIDEO_ERROR_BUNDLE_EMPTY;
  for (int k = 0; k < 64; ++k) out[k] = colours->read[k];
  colours->read += 64;
  return VIDEO_OK;
}

inline __attribute__((always_inline)) VideoError TakeOffsets(PlaneState* s, uint32_t x, uint32_t y, int* dx, int* dy) {
  Bundle* xs = &s->p.b[BUNDLE_X_OFFSETS];
  Bundle* ys = &s->p.b[BUNDLE_Y_OFFSETS];
  if (!Has(xs, 1) || !Has(ys, 1)) return VIDEO_ERROR_BUNDLE_EMPTY;
  *dx = TakeSigned(xs);
  *dy = TakeSigned(ys);
  if (!MotionSourceInside(x, y, *dx, *dy, s->width, s->height)) return VIDEO_ERROR_SOURCE_OUTSIDE;
  return VIDEO_OK;
}

// Intra transform block (8x8, or doubled to 16x16).
VideoError DecodeIntra(PlaneState* s, uint8_t* dst, bool doubled) {
  Bundle* dc = &s->p.b[BUNDLE_DC_INTRA];
  if (!Has(dc, 2)) return VIDEO_ERROR_BUNDLE_EMPTY;
  alignas(16) int16_t block[64];
  block[0] = TakeDc(dc);
  ReadCoefficients(&s->r, block);
  const uint32_t* quant = INTRA_QUANT[ReadBits(&s->r, 4)];
  if (doubled)
    InverseTransformPutScaled(block, quant, dst, s->pitch);
  else
    InverseTransformPut(block, quant, dst, s->pitch);
  return VIDEO_OK;
}

// A transform block recorded for later: its DC (from dc, which holds one),
// its other coefficients and its table.
void RecordTransform(PlaneState* s, BlockRecorder* rec, DeferredKind kind, uint32_t offset, int dx, int dy,
                     Bundle* dc) {
  DeferredBlock* d = RecordBlock(rec, kind, offset, dx, dy);
  int16_t* block = DeferredCoefficients(d);
  block[0] = TakeDc(dc);
  ReadCoefficients(&s->r, block);
  d->quant = uint8_t(ReadBits(&s->r, 4));
}

// An intra transform block recorded for later.
VideoError RecordIntra(PlaneState* s, BlockRecorder* rec, uint32_t offset) {
  Bundle* dc = &s->p.b[BUNDLE_DC_INTRA];
  if (!Has(dc, 2)) return VIDEO_ERROR_BUNDLE_EMPTY;
  RecordTransform(s, rec, DEFER_INTRA, offset, 0, 0, dc);
  return VIDEO_OK;
}

// The 8x8 source of a scaled block drawn over the 16x16 area at dst.
VideoError DecodeScaled(PlaneState* s, uint8_t* dst) {
  Bundle* sub = &s->p.b[BUNDLE_SUB_BLOCK_TYPES];
  if (!Has(sub, 1)) return VIDEO_ERROR_BUNDLE_EMPTY;
  uint8_t block[64];
  VideoError e = VIDEO_OK;
  switch (Take(sub)) {
    case BLOCK_RUNS:
      if ((e = DecodeRuns(s, block)) == VIDEO_OK) PutBlockDoubled(dst, s->pitch, block);
      break;
    case BLOCK_INTRA_DCT:
      e = DecodeIntra(s, dst, true);
      break;
    case BLOCK_FILL: {
      Bundle* colours = &s->p.b[BUNDLE_COLOURS];
      if (!Has(colours, 1)) return VIDEO_ERROR_BUNDLE_EMPTY;
      FillBlock(dst, s->pitch, Take(colours), 16);
      break;
    }
    case BLOCK_PATTERN: {
      uint32_t c0, c1;
      uint8_t rows[8];
      if ((e = TakePattern(s, &c0, &c1, rows)) == VIDEO_OK) PatternBlockDoubled(dst, s->pitch, c0, c1, rows);
      break;
    }
    case BLOCK_RAW:
      if ((e = TakeRaw(s, block)) == VIDEO_OK) PutBlockDoubled(dst, s->pitch, block);
      break;
    default:  // the area keeps its pixels
      break;
  }
  return e;
}

// After invalid data: the blocks from (x, y) on in raster order take the
// reference's pixels, so that everything the frame did not decode shows the
// previous frame (as the unmarked areas of the change map promise) rather
// than the frame before it.
void KeepReference(const PlaneDecodeArgs* a, uint32_t x, uint32_t y) {
  const size_t pitch = size_t(a->pitch);
  for (uint32_t row = y; row < y + 8 && row < a->height && x < a->width; ++row)
    std::memcpy(a->destination + row * pitch + x, a->reference + row * pitch + x, a->width - x);
  if (y + 8 < a->height)
    std::memcpy(a->destination + (y + 8) * pitch, a->reference + (y + 8) * pitch, (a->height - y - 8) * pitch);
}

}  // namespace

bool DecodePlane(const PlaneDecodeArgs* a, PlaneDecodeResult* result) {
  PlaneState s;
  BitReaderInit(&s.r, a->stream, a->stream_size);
  OpenPlaneBundles(&s.p, &s.r, a->bundles, a->width, a->old_colours);
  s.width = a->width;
  s.height = a->height;
  s.pitch = a->pitch;

  const int pitch = a->pitch;
  const uint32_t step = a->map_step;
  const bool in_place = a->destination == a->reference;
  uint8_t* map_row = a->change_map;
  uint8_t* skip_row = a->skip_counts;
  int32_t unchanged = 0;
  VideoError error = VIDEO_OK;
  Bundle* kinds = &s.p.b[BUNDLE_BLOCK_TYPES];

  // Copies, residue and transform blocks are recorded rather than made here
  // when a queue is given and the plane has a reference of its own.
  BlockRecorder recorder;
  BlockRecorder* rec = nullptr;
  if (a->queue && !in_place) {
    rec = &recorder;
    BlockRecorderBegin(rec, a->queue, a->destination, a->reference, pitch);
  }

  uint32_t fail_x = 0, fail_y = 0;  // first block not decoded when the data breaks
  for (uint32_t y = 0; y < a->height && error == VIDEO_OK; y += 8) {
    fail_y = y;
    fail_x = 0;
    if (!RefillBundles(&s.p, &s.r)) {
      error = VIDEO_ERROR_CHUNK_TOO_LONG;
      break;
    }
    const bool odd_row = (y & 8) != 0;
    uint8_t* dst_row = a->destination + size_t(y) * pitch;
    const uint8_t* ref_row = a->reference + size_t(y) * pitch;
    uint32_t mc = 0;  // map column, in half map bytes
    for (uint32_t x = 0; x < a->width; fail_x = x) {
      if (BitReaderOverrun(&s.r)) {
        error = VIDEO_ERROR_DATA_OVERRUN;
        break;
      }
      if (kinds->read >= kinds->end) {
        error = VIDEO_ERROR_BUNDLE_EMPTY;
        break;
      }
      uint8_t* dst = dst_row + x;
      // The next block row's reference rows, a line of one of them a block,
      // into the second-level cache: eight blocks cover the eight rows of a
      // 64-byte column, a row ahead of the copies and transforms that read
      // them. Without it those reads wait on the reference at every block.
      // The same lines of the destination are asked for to be written: the
      // set was last written two frames ago and has left the cache, and at
      // 1080p the blocks' stores waited on those lines as well.
      if (const uint32_t ahead = y + 8 + ((x >> 3) & 7); ahead < a->height) {
        __builtin_prefetch(a->reference + size_t(ahead) * pitch + (x & ~63u), 0, 2);
        __builtin_prefetch(a->destination + size_t(ahead) * pitch + (x & ~63u), 1, 2);
      }
      switch (Take(kinds)) {
        case BLOCK_SKIP:
          if (rec)
            RecordSkip(rec, uint32_t(dst - a->destination));
          else if (!in_place)
            CopyBlock8x8(dst, ref_row + x, pitch);
          if (!map_row[mc >> 1]) {
            ++unchanged;
            if (skip_row) ++skip_row[mc >> 1];
          }
          x += 8;
          mc += step;
          continue;
        case BLOCK_SCALED:
          // In odd rows the area was drawn by the scaled block above.
          if (x + 16 > a->width || (!odd_row && y + 16 > a->height)) {
            error = VIDEO_ERROR_SCALED_AT_EDGE;
            break;
          }
          if (!odd_row) error = DecodeScaled(&s, dst);
          if (error != VIDEO_OK) break;
          map_row[mc >> 1] = 1;
          map_row[(mc + step) >> 1] = 1;
          x += 16;
          mc += 2 * step;
          continue;
        case BLOCK_MOTION: {
          int dx, dy;
          if ((error = TakeOffsets(&s, x, y, &dx, &dy)) != VIDEO_OK) break;
          if (rec) {
            RecordBlock(rec, DEFER_COPY, uint32_t(dst - a->destination), dx, dy);
            break;
          }
          CopyBlock8x8(dst, ref_row + (std::ptrdiff_t(dy) * pitch + std::ptrdiff_t(x) + dx), pitch);
          break;
        }
        case BLOCK_RUNS: {
          uint8_t block[64];
          if ((error = DecodeRuns(&s, block)) != VIDEO_OK) break;
          PutBlock8x8(dst, pitch, block);
          break;
        }
        case BLOCK_RESIDUE: {
          int dx, dy;
          if ((error = TakeOffsets(&s, x, y, &dx, &dy)) != VIDEO_OK) break;
          int limit = int(ReadBits(&s.r, 7));
          if (rec) {
            ReadResidue(&s.r, limit, DeferredResidue(RecordBlock(rec, DEFER_RESIDUE, uint32_t(dst - a->destination), dx, dy)));
            break;
          }
          int8_t residue[64];
          ReadResidue(&s.r, limit, residue);
          ResidueAdd(residue, dst, pitch, ref_row + (std::ptrdiff_t(dy) * pitch + std::ptrdiff_t(x) + dx), pitch);
          break;
        }
        case BLOCK_INTRA_DCT:
          error = rec ? RecordIntra(&s, rec, uint32_t(dst - a->destination)) : DecodeIntra(&s, dst, false);
          break;
        case BLOCK_FILL: {
          Bundle* colours = &s.p.b[BUNDLE_COLOURS];
          if (!Has(colours, 1)) {
            error = VIDEO_ERROR_BUNDLE_EMPTY;
            break;
          }
          FillBlock(dst, pitch, Take(colours), 8);
          break;
        }
        case BLOCK_INTER_DCT: {
          int dx, dy;
          if ((error = TakeOffsets(&s, x, y, &dx, &dy)) != VIDEO_OK) break;
          Bundle* dc = &s.p.b[BUNDLE_DC_INTER];
          if (!Has(dc, 2)) {
            error = VIDEO_ERROR_BUNDLE_EMPTY;
            break;
          }
          if (rec) {
            RecordTransform(&s, rec, DEFER_INTER, uint32_t(dst - a->destination), dx, dy, dc);
            break;
          }
          alignas(16) int16_t block[64];
          block[0] = TakeDc(dc);
          ReadCoefficients(&s.r, block);
          const uint32_t* quant = INTER_QUANT[ReadBits(&s.r, 4)];
          InverseTransformAdd(block, quant, dst, pitch, ref_row + (std::ptrdiff_t(dy) * pitch + std::ptrdiff_t(x) + dx), pitch);
          break;
        }
        case BLOCK_PATTERN: {
          uint32_t c0, c1;
          uint8_t rows[8];
          if ((error = TakePattern(&s, &c0, &c1, rows)) != VIDEO_OK) break;
          PatternBlock(dst, pitch, c0, c1, rows);
          break;
        }
        case BLOCK_RAW: {
          uint8_t block[64];
          if ((error = TakeRaw(&s, block)) != VIDEO_OK) break;
          PutBlock8x8(dst, pitch, block);
          break;
        }
        default:  // kinds 10..15: the block keeps its pixels, unmarked
          x += 8;
          mc += step;
          continue;
      }
      if (error != VIDEO_OK) break;
      map_row[mc >> 1] = 1;
      x += 8;
      mc += step;
    }
    if (rec && error == VIDEO_OK && (odd_row || y + 8 >= a->height)) RecordRowPairEnd(rec);
    if (step == 2 || odd_row) {
      map_row += a->map_pitch;
      if (skip_row) skip_row += a->map_pitch;
    }
  }
  // On invalid data every recorded block is made before the reference fills in.
  if (rec) RecordPlaneEnd(rec, error != VIDEO_OK);
  if (error == VIDEO_OK && BitReaderOverrun(&s.r)) error = VIDEO_ERROR_DATA_OVERRUN;
  else if (error != VIDEO_OK && !in_place) KeepReference(a, fail_x, fail_y);

  uint64_t end = BitReaderWordOffset(&s.r);
  result->end_offset = end > a->stream_size ? a->stream_size : uint32_t(end);
  result->unchanged = unchanged;
  result->error = error;
  return error == VIDEO_OK;
}
