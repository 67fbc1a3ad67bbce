// Constant tables of the /D switch: the screen sizes of the mode numbers and
// the depth codes of the depth numbers.
#include "player/switches.h"

namespace {

// /D mode numbers 1-13.
const DisplayModeSize kDisplayModes[] = {
    {320, 200},  {320, 240},  {320, 400}, {400, 300}, {480, 360},
    {512, 384},  {640, 400},  {640, 480}, {800, 600}, {960, 720},
    {1024, 768}, {1152, 864}, {1280, 1024},
};

// /D depth numbers 0-6 (the hundreds) and the depth code of each: plain bit
// depths, or 1 = at least high colour (16, 32, 24), 2 = true colour
// preferred (32, 24, 16), 3 = true colour only (32, 24).
const int32_t kDisplayDepthCodes[] = {16, 24, 32, 8, 1, 2, 3};

constexpr int32_t kModeCount = static_cast<int32_t>(sizeof(kDisplayModes) / sizeof(kDisplayModes[0]));
constexpr int32_t kDepthCount = static_cast<int32_t>(sizeof(kDisplayDepthCodes) / sizeof(kDisplayDepthCodes[0]));

}  // namespace

bool LookupDisplayMode(int32_t mode, DisplayModeSize* size) {
  if (mode < 1 || mode > kModeCount) return false;
  *size = kDisplayModes[mode - 1];
  return true;
}

bool LookupDisplayDepth(int32_t depth_number, int32_t* depth_code) {
  if (depth_number < 0 || depth_number >= kDepthCount) return false;
  *depth_code = kDisplayDepthCodes[depth_number];
  return true;
}
