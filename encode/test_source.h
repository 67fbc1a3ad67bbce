// A synthetic moving picture for demos and tests, so that no outside video
// files are needed: scrolling colour bars, gradients, a bouncing box, a
// frame counter and a strip of noise. Deterministic for (size, frame).
#pragma once
#include <cstdint>

// Draws frame number `frame` of a width x height picture: Y at y (pitch
// y_pitch), the blue difference at u and the red difference at v (each
// ceil(width/2) x ceil(height/2), pitch c_pitch).
void TestSourceFrame(uint32_t width, uint32_t height, uint32_t frame, uint8_t* y, int y_pitch,
                     uint8_t* u, uint8_t* v, int c_pitch);

// An alpha picture to go with it (width x height): opaque with a soft-edged
// transparent disc that drifts across.
void TestSourceAlpha(uint32_t width, uint32_t height, uint32_t frame, uint8_t* a, int a_pitch);
