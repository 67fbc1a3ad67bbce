#include "audio/fft_twiddles.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.28318530717958647692;

// Rows for length l start at 6 * (l/4 - 2) = 3(l - 8)/2 floats; all lengths
// up to the largest take 3(max - 8)/2 + 6 * max/4 floats.
constexpr uint32_t kFloats = 3 * (kFftTwiddleMaxPoints - 8) / 2 + 6 * kFftTwiddleMaxPoints / 4;

struct Table {
  alignas(32) float v[kFloats];
  Table() {
    for (uint32_t l = 8; l <= kFftTwiddleMaxPoints; l *= 2) {
      float* row = v + 3 * (l - 8) / 2;
      const uint32_t q = l / 4;
      for (uint32_t p = 0; p < q; ++p)
        for (uint32_t k = 1; k <= 3; ++k) {
          const double t = kTwoPi * double(k * p) / double(l);
          row[(2 * k - 2) * q + p] = float(std::cos(t));
          row[(2 * k - 1) * q + p] = float(std::sin(t));
        }
    }
  }
};

}  // namespace

FftStageTwiddles FftTwiddlesFor(uint32_t l) {
  static const Table table;
  const float* row = table.v + 3 * (l - 8) / 2;
  const uint32_t q = l / 4;
  return FftStageTwiddles{row, row + q, row + 2 * q, row + 3 * q, row + 4 * q, row + 5 * q};
}
