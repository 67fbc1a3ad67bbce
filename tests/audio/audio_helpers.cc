#include "tests/audio/audio_helpers.h"

#include <cmath>

#include "audio/audio_tables.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

std::vector<double> Coefficients(const AudioDecoder* d, const TransformSpec& s) {
  const uint32_t n = d->transform_length;
  std::vector<double> a(n, 0.0);
  a[0] = AudioFieldValue(s.field0);
  a[1] = AudioFieldValue(s.field1);
  for (uint32_t j = 2; j < n; ++j) {
    uint32_t band = 0;
    while (band + 1 <= d->band_count && 2 * d->band_bounds[band + 1] <= j) ++band;
    const uint32_t code = s.codes[band] > 95 ? 95 : s.codes[band];
    // Coefficients outside any run's width are not written: recompute what
    // the runs carry.
    a[j] = double(s.values[j]) * double(kAudioBandScale[code]);
  }
  // Zero the coefficients of width-0 runs.
  uint32_t j = 2;
  for (const AudioRun& r : s.runs) {
    const uint32_t e = std::min(j + AudioRunCoefficients(r.code), n);
    if (r.width == 0)
      for (uint32_t i = j; i < e; ++i) a[i] = 0;
    j = e;
  }
  return a;
}
}  // namespace

TransformSpec SilentTransform(const AudioDecoder* d) {
  TransformSpec s;
  const uint32_t n = d->transform_length;
  s.codes.assign(d->band_count, 0);
  s.values.assign(n, 0);
  for (uint32_t j = 2; j < n; j += 8) s.runs.push_back({kAudioShortRun, 0});
  return s;
}

TransformSpec RandomTransform(const AudioDecoder* d, std::mt19937* rng, uint32_t max_code,
                              uint32_t max_width) {
  TransformSpec s;
  const uint32_t n = d->transform_length;
  std::uniform_int_distribution<uint32_t> code(0, max_code), rcode(0, 16), width(0, max_width),
      exp(0, 31), mant(0, 0x7FFFFF), bit(0, 1);
  s.field0 = exp(*rng) | mant(*rng) << 5 | bit(*rng) << 28;
  s.field1 = exp(*rng) | mant(*rng) << 5 | bit(*rng) << 28;
  // Keep the direct coefficients moderate: exponents 0-12.
  s.field0 = (s.field0 & ~31u) | (s.field0 & 31u) % 13;
  s.field1 = (s.field1 & ~31u) | (s.field1 & 31u) % 13;
  for (uint32_t i = 0; i < d->band_count; ++i) s.codes.push_back(uint8_t(code(*rng)));
  s.values.assign(n, 0);
  uint32_t j = 2;
  while (j < n) {
    AudioRun r{rcode(*rng), width(*rng)};
    const uint32_t e = std::min(j + AudioRunCoefficients(r.code), n);
    if (r.width > 0) {
      std::uniform_int_distribution<int32_t> v(-(int32_t(1) << r.width) + 1, (int32_t(1) << r.width) - 1);
      for (uint32_t i = j; i < e; ++i) s.values[i] = bit(*rng) ? 0 : v(*rng);
    }
    s.runs.push_back(r);
    j = e;
  }
  return s;
}

std::vector<uint8_t> WriteBlock(const AudioDecoder* d, const std::vector<TransformSpec>& t) {
  uint32_t cap = 64;
  for (const TransformSpec& s : t) cap += 8 + s.codes.size() + 3 * uint32_t(s.values.size()) + 2 * s.runs.size();
  std::vector<uint8_t> out(cap);
  AudioBitWriter w;
  AudioBitWriterStart(&w, out.data(), cap);
  if (d->flags & AUDIO_KIND_DCT) AudioBitPut(&w, 0, 2);
  for (const TransformSpec& s : t)
    AudioWriteTransform(&w, d->transform_length, s.field0, s.field1, s.codes.data(), uint32_t(s.codes.size()),
                        s.values.data(), s.runs.data(), uint32_t(s.runs.size()));
  AudioBitAlign(&w);
  out.resize(w.size);
  return out;
}

std::vector<double> ModelBlock(const AudioDecoder* d, const std::vector<TransformSpec>& t) {
  const uint32_t n = d->transform_length;
  const bool dct = d->flags & AUDIO_KIND_DCT;
  const double scale = 2.0 / std::sqrt(double(n));
  std::vector<std::vector<double>> outs;
  for (const TransformSpec& s : t) {
    const std::vector<double> a = Coefficients(d, s);
    std::vector<double> x(n);
    for (uint32_t k = 0; k < n; ++k) {
      double sum = 0;
      if (dct) {
        for (uint32_t j = 0; j < n; ++j) sum += a[j] * std::cos(kPi * j * (k + 0.5) / n);
      } else {
        sum = (a[0] + a[1] * ((k & 1) ? -1.0 : 1.0)) / 2;
        for (uint32_t j = 1; j < n / 2; ++j) {
          const double th = 2 * kPi * double((uint64_t(j) * k) % n) / n;
          sum += a[2 * j] * std::cos(th) + a[2 * j + 1] * std::sin(th);
        }
      }
      x[k] = sum * scale;
    }
    outs.push_back(x);
  }
  if (outs.size() == 1) return outs[0];
  std::vector<double> inter(2 * n);
  for (uint32_t k = 0; k < n; ++k) inter[2 * k] = outs[0][k], inter[2 * k + 1] = outs[1][k];
  return inter;
}

int16_t ModelSample(double x) {
  const double r = std::nearbyint(x);
  return int16_t(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
}
