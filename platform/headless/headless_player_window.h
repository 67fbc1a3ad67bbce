// The player's window on the headless screen: a thin layer over the
// headless display backend's windows.
#pragma once
#include <cstdint>

#include "display/display_types.h"

enum class HeadlessFrame { kCaption, kThin, kNone };

// Registers the headless display driver with a screen of this size and depth.
bool HeadlessPlayerDisplayStart(int32_t width, int32_t height, int32_t bits);
void HeadlessPlayerDisplayStop();

// Outer corner and size; the frame decides the client area's place in it.
PlatformWindow* HeadlessPlayerWindowCreate(int32_t x, int32_t y, int32_t width, int32_t height, HeadlessFrame frame);
void HeadlessPlayerWindowDestroy(PlatformWindow* window);
void HeadlessPlayerWindowPlace(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height);
void HeadlessPlayerWindowShow(PlatformWindow* window, bool shown);
// Writes the client area as a PNG file.
bool HeadlessPlayerWindowSavePng(PlatformWindow* window, const char* path);
