// The process's display driver.
#include "display/display_driver.h"

namespace {
const DisplayDriver* g_driver = nullptr;
uint32_t g_generation = 0;
}  // namespace

void DisplayRegisterDriver(const DisplayDriver* driver) {
  g_driver = driver;
  g_generation++;
}

uint32_t DisplayDriverGeneration() { return g_generation; }

const DisplayDriver* DisplayGetDriver() { return g_driver; }
