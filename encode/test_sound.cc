#include "encode/test_sound.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBeepSeconds = 0.08;

// Travel of the box in pixels, as the test picture draws it: it moves
// 3 pixels a frame across and 2 down, reflecting at the edges.
void Travel(uint32_t w, uint32_t h, double* rx, double* ry) {
  const int W = int(w), H = int(h);
  const int bs = (W < H ? W : H) / 5 + 4;
  *rx = W - bs > 1 ? W - bs : 1;
  *ry = H - bs > 1 ? H - bs : 1;
}

// A triangle wave of period 2r in pixels, 0 .. 1.
double Reflect(double pixels, double r) {
  double p = std::fmod(pixels, 2 * r);
  if (p >= r) p = 2 * r - p;
  return p / r;
}

}  // namespace

void TestSoundInit(TestSound* s, uint32_t width, uint32_t height, uint32_t rate_num, uint32_t rate_den,
                   uint32_t sample_rate, uint32_t channels) {
  *s = TestSound{width, height, rate_num, rate_den ? rate_den : 1, sample_rate, channels, 0, 0.0};
}

void TestSoundBox(const TestSound* s, double f, double* x, double* y, double* last_x_bounce,
                  double* last_y_bounce) {
  double rx, ry;
  Travel(s->width, s->height, &rx, &ry);
  *x = Reflect(3 * f, rx);
  *y = Reflect(2 * f, ry);
  // Bounces every rx pixels of travel: at frames k rx / 3 (and k ry / 2).
  *last_x_bounce = std::floor(3 * f / rx) * rx / 3;
  *last_y_bounce = std::floor(2 * f / ry) * ry / 2;
}

void TestSoundNext(TestSound* s, uint32_t frames, int16_t* out) {
  const double fps = double(s->rate_num) / double(s->rate_den);
  for (uint32_t i = 0; i < frames; ++i, ++s->position) {
    const double t = double(s->position) / s->sample_rate;
    const double f = t * fps;
    double x, y, bx, by;
    TestSoundBox(s, f, &x, &y, &bx, &by);
    // Sweep: 220 Hz at the left edge up to 1760 Hz at the right, on a
    // logarithmic scale.
    const double freq = 220.0 * std::pow(2.0, 3.0 * x);
    s->phase += freq / s->sample_rate;
    s->phase -= std::floor(s->phase);
    const double tone = 0.22 * std::sin(2 * kPi * s->phase);
    // Beeps after each bounce, with a short fade in and a decay.
    double beep = 0.0;
    const double since_x = (f - bx) / fps, since_y = (f - by) / fps;
    if (bx > 0 && since_x < kBeepSeconds)
      beep += 0.3 * std::sin(2 * kPi * 2093.0 * since_x) * std::min(1.0, since_x * 400) * (1 - since_x / kBeepSeconds);
    if (by > 0 && since_y < kBeepSeconds)
      beep += 0.3 * std::sin(2 * kPi * 523.25 * since_y) * std::min(1.0, since_y * 400) * (1 - since_y / kBeepSeconds);
    if (s->channels == 2) {
      const double left = tone * (1.0 - 0.7 * x) + beep, right = tone * (0.3 + 0.7 * x) + beep;
      out[2 * i] = int16_t(std::lround(32767 * left));
      out[2 * i + 1] = int16_t(std::lround(32767 * right));
    } else {
      out[i] = int16_t(std::lround(32767 * (tone + beep)));
    }
  }
}
