#include "encode/speed_presets.h"

namespace {

const SpeedPreset kPresets[kSpeedCount] = {
    // spread margin limits step refine neighbours scaled runs pattern intra-after-motion
    // quick-rounding refine-margin
    {1, 1e300, 4, 8, 2, true, true, 40, true, true, 0, 0},
    {1, 1e300, 4, 8, 0, true, true, 40, true, true, 0, 0},
    {1, 1.25, 0, 4, 0, true, false, 16, true, true, 0.35, 1.1},
    {0, 0, 0, 2, 0, true, false, 0, true, false, 0.35, 1.1},
    {0, 0, 0, 0, 0, true, false, 0, false, false, 0.35, 1.1},
};

}  // namespace

const SpeedPreset& SpeedPresetFor(int speed) {
  return kPresets[speed < 0 ? 0 : speed >= kSpeedCount ? kSpeedCount - 1 : speed];
}
