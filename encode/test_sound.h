// A synthetic sound track to go with the test picture (test_source.h), so
// that demos and tests need no outside audio: a tone whose pitch follows the
// bouncing box across the picture (a sweep up and down), panned with it in
// stereo, and a beep each time the box bounces off a side (high) or the top
// or bottom (low). Deterministic for the picture size, frame rate and
// sample rate.
#pragma once
#include <cstdint>

struct TestSound {
  uint32_t width, height;          // the test picture's size
  uint32_t rate_num, rate_den;     // video frames per second = num / den
  uint32_t sample_rate, channels;  // channels 1 or 2
  uint64_t position;               // next sample frame
  double phase;                    // of the sweep tone, in turns
};

void TestSoundInit(TestSound* s, uint32_t width, uint32_t height, uint32_t rate_num, uint32_t rate_den,
                   uint32_t sample_rate, uint32_t channels);
// The next `frames` sample frames, interleaved.
void TestSoundNext(TestSound* s, uint32_t frames, int16_t* out);

// Where the box is at video frame time f (fractional): 0 .. 1 across the
// travel, horizontally and vertically, and the frame times (in frames) of
// the bounces before or at f. Shared with the picture's geometry.
void TestSoundBox(const TestSound* s, double f, double* x, double* y, double* last_x_bounce,
                  double* last_y_bounce);
