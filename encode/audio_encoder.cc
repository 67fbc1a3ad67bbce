// Audio encoding: block layout across packets, forward transform, per-band
// scales, per-run widths chosen by dynamic programming, block syntax.
#include "encode/audio_encoder.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "audio/audio_tables.h"
#include "audio/block_writer.h"

namespace {

uint32_t BitLength(uint32_t v) {
  uint32_t b = 0;
  while (v) ++b, v >>= 1;
  return b;
}

// Sample of `ch` at frame `f`, holding the last one past `available`.
inline double Fetch(const int16_t* s, uint32_t channels, uint32_t available, uint64_t f, uint32_t ch) {
  if (available == 0) return 0.0;
  if (f >= available) f = available - 1;
  return s[f * channels + ch];
}

// Fills enc->block (L frames) for a block starting at frame `start` that
// delivers `deliver` frames. A full block is the next L frames. A block cut
// short keeps its first `deliver` frames and ends with the overlap the next
// block starts with (frames start + deliver ...); the part between, which
// the decoder drops, fades from the one to the other so the block stays
// smooth.
void LayOutBlock(AudioEncoder* e, const int16_t* s, uint32_t available, uint64_t start, uint32_t deliver) {
  const uint32_t l = e->block_length, c = e->overlap_frames, ch = e->channels;
  const uint32_t full = l - c;
  for (uint32_t i = 0; i < l; ++i) {
    for (uint32_t k = 0; k < ch; ++k) {
      double v;
      if (deliver == full || i < deliver) {
        v = Fetch(s, ch, available, start + i, k);
      } else {
        // The frame the tail's timeline puts at i: the tail (i >= l - c)
        // holds frames start + deliver onwards.
        const int64_t late = int64_t(start) + deliver + int64_t(i) - int64_t(full);
        const double tail = Fetch(s, ch, available, uint64_t(late < 0 ? 0 : late), k);
        if (i >= full) {
          v = tail;
        } else {
          const double t = double(i - deliver + 1) / double(full - deliver + 1);
          v = (1.0 - t) * Fetch(s, ch, available, start + i, k) + t * tail;
        }
      }
      e->block[size_t(i) * ch + k] = v;
    }
  }
}

// Chooses runs and widths for values[2 .. n-1] with the fewest bits.
void PlanRuns(AudioEncoder* e) {
  const uint32_t n = e->n;
  const uint32_t groups = (n - 2 + 7) / 8;
  std::vector<uint32_t> width(groups), nonzero(groups), len(groups);
  for (uint32_t g = 0; g < groups; ++g) {
    const uint32_t j0 = 2 + 8 * g, j1 = std::min(j0 + 8, n);
    uint32_t m = 0, nz = 0;
    for (uint32_t j = j0; j < j1; ++j) {
      const uint32_t v = uint32_t(std::abs(e->values[j]));
      m = std::max(m, v);
      nz += v != 0;
    }
    width[g] = BitLength(m), nonzero[g] = nz, len[g] = j1 - j0;
  }
  // Run options in groups of 8, by code: 16 is the short run.
  struct Option { uint32_t code, groups, header; };
  Option options[17];
  options[0] = {kAudioShortRun, 1, 5};
  for (uint32_t c = 0; c < 16; ++c) options[c + 1] = {c, kAudioRunLength[c], 9};
  const uint64_t kInf = ~uint64_t(0);
  std::vector<uint64_t> best(groups + 1, kInf);
  std::vector<uint32_t> choice(groups + 1, 0), from(groups + 1, 0), wchoice(groups + 1, 0);
  best[0] = 0;
  for (uint32_t g = 0; g < groups; ++g) {
    if (best[g] == kInf) continue;
    for (const Option& o : options) {
      const uint32_t end = std::min(g + o.groups, groups);
      uint32_t w = 0, coeffs = 0, nz = 0;
      for (uint32_t x = g; x < end; ++x) w = std::max(w, width[x]), coeffs += len[x], nz += nonzero[x];
      const uint64_t cost = best[g] + o.header + (w ? uint64_t(w) * coeffs + nz : 0);
      if (cost < best[end]) best[end] = cost, choice[end] = o.code, from[end] = g, wchoice[end] = w;
    }
  }
  e->runs.clear();
  for (uint32_t g = groups; g > 0; g = from[g]) e->runs.push_back(AudioRun{choice[g], wchoice[g]});
  std::reverse(e->runs.begin(), e->runs.end());
}

// Quantises one transform's input (enc->signal, in sample units) and writes it.
void EncodeTransform(AudioEncoder* e, AudioBitWriter* w) {
  const uint32_t n = e->n;
  // Scale to the decoder's float domain, whose output is multiplied by 2/sqrt(n).
  const double up = std::sqrt(double(n)) / 2.0;
  double power = 0.0;
  for (uint32_t k = 0; k < n; ++k) power += e->signal[k] * e->signal[k];
  power /= n;
  for (uint32_t k = 0; k < n; ++k) e->signal[k] *= up;
  if (e->flags & AUDIO_KIND_DCT)
    AudioForwardDct(&e->forward, e->signal.data(), e->coeffs.data());
  else
    AudioForwardRealDft(&e->forward, e->signal.data(), e->coeffs.data());

  // Uniform quantisation with step q gives a noise power of q^2 / 6 in the
  // output (n coefficients, error q^2/12 each, times 2/n); aim it at the
  // target below the signal, but never below the 16-bit rounding noise.
  const double noise = std::max(power / std::pow(10.0, e->snr_db / 10.0), 1.0 / 12.0);
  const double step = std::sqrt(6.0 * noise);
  const uint32_t k = e->band_count;
  for (uint32_t i = 0; i < k; ++i) {
    const uint32_t j0 = std::max(2u, 2 * e->bounds[i]), j1 = 2 * e->bounds[i + 1];
    double peak = 0.0;
    for (uint32_t j = j0; j < j1; ++j) peak = std::max(peak, std::fabs(e->coeffs[j]));
    uint32_t code = 0;
    while (code + 1 < kAudioBandScaleCount && kAudioBandScale[code + 1] <= step) ++code;
    while (code + 1 < kAudioBandScaleCount && peak / kAudioBandScale[code] > 32767.0) ++code;
    e->codes[i] = uint8_t(code);
    const double scale = kAudioBandScale[code];
    for (uint32_t j = j0; j < j1; ++j) {
      double v = std::nearbyint(e->coeffs[j] / scale);
      v = std::clamp(v, -32767.0, 32767.0);
      e->values[j] = int32_t(v);
    }
  }
  PlanRuns(e);
  AudioWriteTransform(w, n, AudioCoefficientField(float(e->coeffs[0])), AudioCoefficientField(float(e->coeffs[1])),
                      e->codes.data(), k, e->values.data(), e->runs.data(), uint32_t(e->runs.size()));
}

void EncodeBlock(AudioEncoder* e, AudioBitWriter* w) {
  if (e->flags & AUDIO_KIND_DCT) AudioBitPut(w, 0, 2);
  const uint32_t l = e->block_length, ch = e->channels;
  if (e->transforms == 1) {
    for (uint32_t i = 0; i < l * ch; ++i) e->signal[i] = e->block[i];
    EncodeTransform(e, w);
  } else {
    for (uint32_t k = 0; k < ch; ++k) {
      for (uint32_t i = 0; i < l; ++i) e->signal[i] = e->block[size_t(i) * ch + k];
      EncodeTransform(e, w);
    }
  }
  AudioBitAlign(w);
}

uint32_t BlockBound(const AudioEncoder* e) {
  const uint64_t bits = 2 + uint64_t(e->transforms) * (58 + 8 * e->band_count + 17ull * e->n + 64);
  return uint32_t((bits + 31) / 32 * 4);
}

}  // namespace

AudioEncoder* AudioEncoderOpen(uint32_t rate, uint32_t channels, uint32_t kind, uint32_t sixteen_bit) {
  if (rate == 0 || rate > 0xFFFF || (channels != 1 && channels != 2)) return nullptr;
  auto* e = new (std::nothrow) AudioEncoder();
  if (!e) return nullptr;
  e->rate = rate;
  e->channels = channels;
  e->flags = kind & AUDIO_KIND_DCT;
  e->sixteen_bit = sixteen_bit ? 1 : 0;
  e->block_length = AudioBlockLength(rate);
  e->overlap_frames = e->block_length / 16;
  const bool dct = e->flags != 0;
  e->n = dct ? e->block_length : e->block_length * channels;
  e->transforms = dct ? channels : 1;
  e->band_count = AudioBandLayout(dct ? rate : rate * channels, e->n, e->bounds);
  e->snr_db = 48.0;
  AudioForwardInit(&e->forward, e->n);
  e->block.resize(size_t(e->block_length) * channels);
  e->signal.resize(e->n);
  e->coeffs.resize(e->n);
  e->values.resize(e->n);
  e->codes.resize(e->band_count + 1);
  return e;
}

void AudioEncoderClose(AudioEncoder* enc) { delete enc; }

void AudioEncoderSetQuality(AudioEncoder* enc, double snr_db) { enc->snr_db = snr_db; }

uint32_t AudioEncoderTrackFormat(const AudioEncoder* e) {
  return (e->rate & 0xFFFFu) | (e->flags ? 0x10000000u : 0x80000000u) | (e->channels == 2 ? 0x20000000u : 0) |
         (e->sixteen_bit ? 0x40000000u : 0);
}

uint32_t AudioPacketBound(const AudioEncoder* e, uint32_t count) {
  const uint32_t full = e->block_length - e->overlap_frames;
  const uint64_t blocks = (uint64_t(count) + full - 1) / full;
  const uint64_t bytes = 4 + blocks * BlockBound(e);
  return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(bytes);
}

uint32_t AudioEncodePacket(AudioEncoder* e, const int16_t* samples, uint32_t count, uint32_t available,
                           uint8_t* out, uint32_t capacity) {
  if (count == 0 || capacity < 4) return 0;
  if (available < count) available = count;
  const uint64_t bytes = uint64_t(count) * 2 * e->channels;
  if (bytes > 0xFFFFFFFFull) return 0;
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(bytes >> (8 * i));
  AudioBitWriter w;
  AudioBitWriterStart(&w, out + 4, capacity - 4);
  const uint32_t full = e->block_length - e->overlap_frames;
  for (uint64_t start = 0; start < count; start += full) {
    const uint32_t deliver = uint32_t(std::min<uint64_t>(full, count - start));
    LayOutBlock(e, samples, available, start, deliver);
    EncodeBlock(e, &w);
    if (w.overflow) return 0;
  }
  return 4 + w.size;
}

uint32_t AudioFrameSamples(uint32_t rate, uint32_t dividend, uint32_t divisor, uint32_t frame) {
  if (dividend == 0) return 0;
  const uint64_t per = uint64_t(rate) * divisor;
  return uint32_t(((uint64_t(frame) + 1) * per) / dividend - (uint64_t(frame) * per) / dividend);
}
