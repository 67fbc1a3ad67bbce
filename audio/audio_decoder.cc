// AudioDecoder set-up and the decoding of one block: coefficients from the
// bit stream, the kind's transform, 16-bit conversion and the cross-fade
// with the previous block's tail.
#include "audio/audio_decoder.h"

#include <cmath>
#include <cstring>

#include "audio/audio_tables.h"
#include "audio/audio_transform.h"
#include "audio/bit_reader.h"
#include "base/block_planner.h"
#include "base/core_alloc.h"

namespace {

constexpr uint32_t kScratchFloats = 4096;  // the largest L x channels

// Round to nearest, ties to even, after clamping to the 16-bit range (the
// same result as rounding first). Adding and removing 1.5 x 2^23 rounds in
// the current (nearest-even) mode for |v| < 2^22.
inline int16_t ToSample(float x, float scale) {
  float v = x * scale;
  v = v >= -32768.0f ? v : -32768.0f;  // also maps NaN, which cannot occur
  v = v <= 32767.0f ? v : 32767.0f;
  const float r = (v + 12582912.0f) - 12582912.0f;
  return int16_t(r);
}

// Reads coefficients 2 .. n-1 of one transform in runs.
void ReadRuns(AudioBitReader* br, float* a, uint32_t n, const uint32_t* bound, const float* q) {
  uint32_t j = 2, i = 0;
  float scale = 0.0f;
  while (j < n) {
    const uint32_t run = AudioBitRead(br, 1) ? kAudioRunLength[AudioBitRead(br, 4)] * 8 : 8;
    const uint32_t e = j + run < n ? j + run : n;
    const uint32_t w = AudioBitRead(br, 4);
    if (w == 0) {
      for (; j < e; ++j) a[j] = 0.0f;
      while (2 * bound[i] < e) scale = q[i++];
      continue;
    }
    while (j < e) {
      // Bounds rise strictly, so 2 x bound[i] >= j holds here and the
      // segment below is never empty.
      while (j == 2 * bound[i]) scale = q[i++];
      const uint32_t seg = e < 2 * bound[i] ? e : 2 * bound[i];
      for (; j < seg; ++j) {
        const uint32_t v = AudioBitRead(br, w);
        if (v == 0) {
          a[j] = 0.0f;
        } else {
          const float x = float(v) * scale;
          a[j] = AudioBitRead(br, 1) ? -x : x;
        }
      }
    }
  }
}

}  // namespace

float AudioFieldValue(uint32_t v) {
  const float x = float((v >> 5) & 0x7FFFFFu) * kAudioExponent[v & 31u];
  return (v >> 28) & 1u ? -x : x;
}

uint32_t AudioBlockLength(uint32_t sample_rate) {
  return sample_rate >= 44100 ? 2048 : sample_rate >= 22050 ? 1024 : 512;
}

uint32_t AudioBandLayout(uint32_t r, uint32_t n, uint32_t* bounds) {
  const uint32_t h = (r + 1) / 2;
  uint32_t k = 0;
  while (k < kAudioBandEdgeCount && kAudioBandEdges[k] < h) ++k;
  for (uint32_t i = 0; i < k; ++i) {
    const uint32_t b = kAudioBandEdges[i] * (n / 2) / h;
    bounds[i] = b ? b : 1;
  }
  bounds[k] = n / 2;
  return k;
}

AudioDecoder* AudioDecoderOpen(uint32_t sample_rate, uint32_t channels, uint32_t flags) {
  if (channels != 1 && channels != 2) return nullptr;
  const uint32_t l = AudioBlockLength(sample_rate);
  const bool dct = (flags & AUDIO_KIND_DCT) != 0;
  const uint32_t n = dct ? l : l * channels;
  const uint32_t r = dct ? sample_rate : sample_rate * channels;
  const uint32_t b = 2 * l * channels;

  uint32_t bounds[kAudioBandEdgeCount + 1];
  const uint32_t k = AudioBandLayout(r, n, bounds);

  void *pcm = nullptr, *bound_area = nullptr, *index = nullptr, *table = nullptr, *tail = nullptr;
  PlannerRecord(&pcm, b);
  PlannerRecord(&bound_area, (k + 1) * 4);
  PlannerRecord(&index, AudioTransformIndexEntries(n) * 4);
  PlannerRecord(&table, AudioTransformTableFloats(n, dct) * 4);
  PlannerRecord(&tail, b / 2);
  auto* d = static_cast<AudioDecoder*>(PlannerCommit(sizeof(AudioDecoder)));
  if (!d) return nullptr;

  d->transform_length = n;
  d->output_scale = float(2.0L / std::sqrt((long double)n));
  d->block_bytes = b;
  d->overlap_bytes = b / 16;
  d->transform_count = dct ? channels : 1;
  d->pcm = static_cast<int16_t*>(pcm);
  d->first_block = 1;
  d->band_count = k;
  d->band_bounds = static_cast<uint32_t*>(bound_area);
  std::memcpy(d->band_bounds, bounds, (k + 1) * 4);
  d->transform_index = static_cast<int32_t*>(index);
  d->transform_index[0] = 0;
  d->transform_table = static_cast<float*>(table);
  d->tail = static_cast<int16_t*>(tail);
  std::memset(d->tail, 0, b / 2);
  d->flags = flags;
  d->channels = channels;
  d->block_length = l;
  return d;
}

void AudioDecoderClose(AudioDecoder* decoder) { CoreFree(decoder); }

int AudioDecodeBlock(AudioDecoder* d, const uint8_t* input, const uint8_t* end, const int16_t** pcm,
                     uint32_t* pcm_bytes, const uint8_t** next) {
  alignas(32) float scratch[kScratchFloats];
  const uint32_t n = d->transform_length;
  const uint32_t k = d->band_count;
  const bool dct = (d->flags & AUDIO_KIND_DCT) != 0;

  AudioBitReader br;
  AudioBitReaderStart(&br, input, end);
  if (dct) AudioBitRead(&br, 2);
  for (uint32_t t = 0; t < d->transform_count; ++t) {
    float* a = scratch + t * n;
    a[0] = AudioFieldValue(AudioBitRead(&br, 29));
    a[1] = AudioFieldValue(AudioBitRead(&br, 29));
    float q[kAudioBandEdgeCount];
    for (uint32_t i = 0; i < k; ++i) {
      const uint32_t code = AudioBitRead(&br, 8);
      q[i] = kAudioBandScale[code < kAudioBandScaleCount ? code : kAudioBandScaleCount - 1];
    }
    ReadRuns(&br, a, n, d->band_bounds, q);
    if (dct)
      InverseDct(n, a, d->transform_index, d->transform_table);
    else
      InverseRealDft(n, a, d->transform_index, d->transform_table);
  }

  int16_t* out = d->pcm;
  const float scale = d->output_scale;
  if (d->transform_count == 1) {
    for (uint32_t i = 0; i < n; ++i) out[i] = ToSample(scratch[i], scale);
  } else {
    for (uint32_t i = 0; i < n; ++i) {
      out[2 * i] = ToSample(scratch[i], scale);
      out[2 * i + 1] = ToSample(scratch[n + i], scale);
    }
  }

  // Cross-fade the first C samples with the previous block's last C.
  const uint32_t c = d->block_bytes / 32;
  const uint32_t samples = d->block_bytes / 2;
  if (d->first_block) {
    d->first_block = 0;
  } else {
    uint32_t shift = 0;
    while ((1u << shift) < c) ++shift;
    for (uint32_t i = 0; i < c; ++i)
      out[i] = int16_t((int32_t(d->tail[i]) * int32_t(c - i) + int32_t(out[i]) * int32_t(i)) >> shift);
  }
  std::memcpy(d->tail, out + (samples - c), c * 2);

  const uint64_t used = AudioBitsConsumed(&br);
  const uint64_t avail = end > input ? uint64_t(end - input) * 8 : 0;
  if (pcm) *pcm = out;
  if (pcm_bytes) *pcm_bytes = d->block_bytes - d->block_bytes / 16;
  if (next) {
    const uint64_t bytes = uint64_t(br.words) * 4;
    *next = bytes < avail / 8 ? input + bytes : (end > input ? end : input);
  }
  return used <= avail ? 1 : 0;
}
