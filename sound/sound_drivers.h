// The list of sound drivers, registered at start by the program (the
// backends sit above this layer), and the process-wide choice among them.
// Each driver starts its audio and fills the device tables.
#pragma once

struct WaveOutTable;
struct DirectSoundTable;

struct SoundDevices {
  const WaveOutTable* wave_out;          // null: no queued-buffer device
  const DirectSoundTable* direct_sound;  // null: no looping-buffer device
};

struct SoundBootstrap {
  const char* name;         // as VEXA_PLATFORM names it: "sdl", "headless"
  const char* description;
  bool demand_only;         // used only when asked for by name
  // Starts the driver's audio and fills the tables; false when it cannot.
  bool (*init)(SoundDevices* devices);
  void (*quit)();
};

// Adds a driver to the list (in order of preference; the same one twice is
// ignored). Returns false when the list is full.
bool SoundRegisterDriver(const SoundBootstrap* driver);

// Chooses the drivers to try: a comma-separated list of names ("sdl",
// "headless", "sdl,headless"), or null to take VEXA_PLATFORM, and when that
// is unset every driver that is not demand-only, in order. Quits a driver
// already started. Process-wide.
void SoundSelectDriver(const char* names);

// The started driver's tables, starting the first chosen driver that can
// on first use. Null when none can start.
const SoundDevices* SoundDriverDevices();
// Name of the started driver, or null.
const char* SoundDriverName();
// Quits the started driver (the next SoundDriverDevices starts one again).
void SoundDriverQuit();
