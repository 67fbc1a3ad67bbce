#include "sound/sound_drivers.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "sound/wave_device.h"

#include <atomic>

namespace {

constexpr int kMaxDrivers = 8;
constexpr size_t kMaxNames = 128;

struct DriverList {
  std::mutex mutex;
  const SoundBootstrap* drivers[kMaxDrivers] = {};
  int count = 0;
  char names[kMaxNames] = {};
  bool names_given = false;
  const SoundBootstrap* started = nullptr;
  SoundDevices devices = {};
  bool tried = false;  // a start was attempted since the last choice
};

DriverList& List() {
  static DriverList list;
  return list;
}


void QuitLocked(DriverList& l) {
  if (l.started && l.started->quit) l.started->quit();
  l.started = nullptr;
  l.devices = {};
  l.tried = false;
}

bool TryStart(DriverList& l, const SoundBootstrap* d) {
  SoundDevices devices = {};
  if (!d->init || !d->init(&devices)) return false;
  l.started = d;
  l.devices = devices;
  return true;
}

}  // namespace

uint32_t WaveHeaderFlags(const WAVEHDR* header) {
  return std::atomic_ref<uint32_t>(const_cast<WAVEHDR*>(header)->dwFlags).load(std::memory_order_acquire);
}
void WaveHeaderSetFlags(WAVEHDR* header, uint32_t flags) {
  std::atomic_ref<uint32_t>(header->dwFlags).store(flags, std::memory_order_release);
}

bool SoundRegisterDriver(const SoundBootstrap* driver) {
  DriverList& l = List();
  std::lock_guard<std::mutex> hold(l.mutex);
  for (int i = 0; i < l.count; ++i)
    if (l.drivers[i] == driver || std::strcmp(l.drivers[i]->name, driver->name) == 0) return true;
  if (l.count == kMaxDrivers) return false;
  l.drivers[l.count++] = driver;
  return true;
}

void SoundSelectDriver(const char* names) {
  DriverList& l = List();
  std::lock_guard<std::mutex> hold(l.mutex);
  QuitLocked(l);
  l.names_given = names != nullptr;
  l.names[0] = 0;
  if (names) {
    std::strncpy(l.names, names, kMaxNames - 1);
    l.names[kMaxNames - 1] = 0;
  }
}

const SoundDevices* SoundDriverDevices() {
  DriverList& l = List();
  std::lock_guard<std::mutex> hold(l.mutex);
  if (l.started) return &l.devices;
  if (l.tried) return nullptr;  // nothing could start; do not retry on every open
  l.tried = true;
  const char* names = l.names_given ? l.names : std::getenv("VEXA_PLATFORM");
  if (names && *names) {
    // In the order asked for.
    for (const char* p = names; *p;) {
      const char* end = std::strchr(p, ',');
      const size_t len = end ? size_t(end - p) : std::strlen(p);
      for (int i = 0; i < l.count; ++i)
        if (std::strlen(l.drivers[i]->name) == len && std::strncmp(p, l.drivers[i]->name, len) == 0 &&
            TryStart(l, l.drivers[i]))
          return &l.devices;
      if (!end) break;
      p = end + 1;
    }
    return nullptr;
  }
  for (int i = 0; i < l.count; ++i)
    if (!l.drivers[i]->demand_only && TryStart(l, l.drivers[i])) return &l.devices;
  return nullptr;
}

const char* SoundDriverName() {
  DriverList& l = List();
  std::lock_guard<std::mutex> hold(l.mutex);
  return l.started ? l.started->name : nullptr;
}

void SoundDriverQuit() {
  DriverList& l = List();
  std::lock_guard<std::mutex> hold(l.mutex);
  QuitLocked(l);
}
