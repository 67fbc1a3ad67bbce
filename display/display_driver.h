// The display driver: the service tables a backend fills for the display
// buffer (and for the player's painting), registered once for the process.
//
// display/ never names a backend. A program (or a test) chooses one by
// calling its bootstrap in platform/ (the SDL2 one, or the headless one),
// which registers its tables here:
//   static const DisplayDriver kDriver = {"headless", &screen, &gdi, &ddraw};
//   DisplayRegisterDriver(&kDriver);
// Every display operation reads the registered driver; with none, display
// buffers fail to open ("No capable blitting style available.").
#pragma once
#include "display/ddraw_services.h"
#include "display/gdi_services.h"
#include "display/screen_services.h"

struct DisplayDriver {
  const char* name;
  const ScreenServices* screen;       // required
  const GdiServices* gdi;             // required
  const DirectDrawServices* ddraw;    // null: this machine has no DirectDraw
};

// Makes `driver` the process's display driver (null: none). The tables must
// live as long as they are registered. Register before opening the first
// display buffer and do not change drivers while a buffer is open (tests
// may register another driver between buffers).
void DisplayRegisterDriver(const DisplayDriver* driver);
// The registered driver, or null.
const DisplayDriver* DisplayGetDriver();
// Counts registrations: what the display learnt about a machine (whether it
// has DirectDraw, the cursor probe's answer) is forgotten when it changes.
uint32_t DisplayDriverGeneration();
