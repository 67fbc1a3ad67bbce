// The process's display driver.
#include "display/display_driver.h"

namespace {
const DisplayDriver* g_driver = nullptr;
}  // namespace

void DisplayRegisterDriver(const DisplayDriver* driver) { g_driver = driver; }

const DisplayDriver* DisplayGetDriver() { return g_driver; }
