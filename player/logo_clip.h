// The closing logo clip carried in the program's data: a complete media
// image, opened from memory at the end of every run. It is made by
// `vexa logo -o player/logo.vxa`; the build turns that file into data.
#pragma once
#include <cstddef>
#include <cstdint>

const uint8_t* LogoClipImage();
size_t LogoClipSize();
