// The picture of the player's closing logo clip, drawn here so that the
// clip can be made again from nothing but our own code.
#pragma once
#include <cstdint>

inline constexpr uint32_t kLogoWidth = 224;
inline constexpr uint32_t kLogoHeight = 252;

// Draws the logo as 4:2:0 YUV: y is kLogoWidth x kLogoHeight, u and v
// (blue and red difference) half that size each way.
void DrawLogoPicture(uint8_t* y, uint8_t* u, uint8_t* v);

#include <vector>

// The closing logo clip: the picture above as one frame at 10 frames per
// second, no sound, coded by our encoder. False when coding fails.
bool MakeLogoClip(std::vector<uint8_t>* out);
