#include "platform/headless/headless_audio.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/clock.h"
#include "base/thread.h"
#include "platform/headless/headless_audio_internal.h"

namespace {

void WriteLe(FILE* f, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) std::fputc(int((v >> (8 * i)) & 0xFF), f);
}

void WriteWavHeader(FILE* f, uint32_t rate, uint64_t frames) {
  const uint64_t data = frames * 4 > 0xFFFFFFF0u ? 0xFFFFFFF0u : frames * 4;
  std::fseek(f, 0, SEEK_SET);
  std::fwrite("RIFF", 1, 4, f);
  WriteLe(f, uint32_t(36 + data), 4);
  std::fwrite("WAVEfmt ", 1, 8, f);
  WriteLe(f, 16, 4);
  WriteLe(f, 1, 2);
  WriteLe(f, 2, 2);
  WriteLe(f, rate, 4);
  WriteLe(f, rate * 4, 4);
  WriteLe(f, 4, 2);
  WriteLe(f, 16, 2);
  std::fwrite("data", 1, 4, f);
  WriteLe(f, uint32_t(data), 4);
  std::fseek(f, 0, SEEK_END);
}

void CloseWav(HeadlessAudio& h) {
  if (!h.wav) return;
  WriteWavHeader(h.wav, h.rate, h.wav_frames);
  std::fclose(h.wav);
  h.wav = nullptr;
}

bool OpenWav(HeadlessAudio& h, const char* path) {
  CloseWav(h);
  if (!path) return true;
  h.wav = std::fopen(path, "wb");
  if (!h.wav) return false;
  h.wav_frames = 0;
  WriteWavHeader(h.wav, h.rate, 0);
  return true;
}

// One source frame as two 16-bit values.
void ReadFrame(const uint8_t* p, const WAVEFORMATEX& f, float* left, float* right) {
  if (f.wBitsPerSample == 8) {
    *left = float((int(p[0]) - 128) * 256);
    *right = f.nChannels == 2 ? float((int(p[1]) - 128) * 256) : *left;
  } else {
    *left = float(int16_t(uint16_t(p[0] | (p[1] << 8))));
    *right = f.nChannels == 2 ? float(int16_t(uint16_t(p[2] | (p[3] << 8)))) : *left;
  }
}

// Source frames to step over after this mixer frame.
uint32_t Steps(HeadlessResampler* r) {
  r->phase += r->step;
  const uint32_t n = uint32_t(r->phase >> 32);
  r->phase &= 0xFFFFFFFFu;
  return n;
}

void MixWave(WaveOutDevice* d, float* mix) {
  if (d->paused) return;
  WAVEHDR* h = d->head;
  if (!h) return;
  float l = 0, r = 0;
  ReadFrame(h->lpData + h->reserved, d->format, &l, &r);
  mix[0] += l * d->gain_left;
  mix[1] += r * d->gain_right;
  for (uint32_t n = Steps(&d->resampler); n && h; --n) {
    h->reserved += d->format.nBlockAlign;
    if (h->reserved + d->format.nBlockAlign > h->dwBufferLength) {
      // Finished: off the queue, marked done for the output's poll.
      d->head = h->lpNext;
      if (!d->head) d->tail = nullptr;
      h->lpNext = nullptr;
      WaveHeaderSetFlags(h, (WaveHeaderFlags(h) & ~WHDR_INQUEUE) | WHDR_DONE);
      h = d->head;
    }
  }
}

void MixBuffer(DirectSoundBuffer* b, float* mix) {
  if (!b->playing || b->primary || !b->size) return;
  float l = 0, r = 0;
  ReadFrame(b->data + b->play, b->format, &l, &r);
  mix[0] += l * b->gain_left;
  mix[1] += r * b->gain_right;
  const uint32_t n = Steps(&b->resampler);
  b->play = uint32_t((uint64_t(b->play) + uint64_t(n) * b->format.nBlockAlign) % b->size);
}

int16_t Clamp(float v) {
  const long s = std::lrintf(v);
  return int16_t(s < -32768 ? -32768 : s > 32767 ? 32767 : s);
}

void Emit(HeadlessAudio& h, const int16_t* frame) {
  if (h.capture && h.capture_frames < h.capture_capacity) {
    h.capture[2 * h.capture_frames] = frame[0];
    h.capture[2 * h.capture_frames + 1] = frame[1];
    h.capture_frames += 1;
  }
  if (h.wav) {
    const uint8_t bytes[4] = {uint8_t(frame[0]), uint8_t(uint16_t(frame[0]) >> 8), uint8_t(frame[1]),
                              uint8_t(uint16_t(frame[1]) >> 8)};
    std::fwrite(bytes, 1, 4, h.wav);
    h.wav_frames += 1;
  }
}

// Queued headers finish without anyone calling the device: a thread brings
// the devices up to the clock every few milliseconds.
constexpr uint32_t kTickMs = 5;
std::atomic<bool> g_ticker_wanted{true};
std::atomic<bool> g_ticker_stop{false};
PlatformThread* g_ticker = nullptr;

void Tick(void*) {
  while (!g_ticker_stop.load(std::memory_order_acquire)) {
    PlatformSleep(kTickMs);
    HeadlessAudioAdvance();
  }
}

bool HeadlessInit(SoundDevices* devices) {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  if (h.faults.no_library) return false;
  h.started = true;
  h.frames_total = 0;
  h.restores = 0;
  h.last_ms = PlatformTickCount();
  h.elapsed_ms = 0;
  h.frames_done = 0;
  if (const char* path = std::getenv("VEXA_HEADLESS_WAV")) OpenWav(h, path);
  devices->wave_out = &kHeadlessWaveOut;
  devices->direct_sound = &kHeadlessDirectSound;
  if (g_ticker_wanted.load() && !g_ticker) {
    g_ticker_stop.store(false);
    g_ticker = PlatformThreadCreate(Tick, nullptr, 0, PRIORITY_NORMAL);
    if (g_ticker) PlatformThreadStart(g_ticker);
  }
  return true;
}

void HeadlessQuit() {
  if (g_ticker) {
    g_ticker_stop.store(true, std::memory_order_release);
    PlatformThreadJoin(g_ticker);
    g_ticker = nullptr;
  }
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  CloseWav(h);
  h.started = false;
}

}  // namespace

const SoundBootstrap kHeadlessSoundDriver = {"headless", "Headless sound devices on the platform clock", true,
                                             HeadlessInit, HeadlessQuit};

HeadlessAudio& HeadlessAudioState() {
  static HeadlessAudio audio;
  return audio;
}

void HeadlessSetResampler(HeadlessResampler* r, uint32_t source_rate, uint32_t device_rate) {
  r->step = device_rate ? (uint64_t(source_rate) << 32) / device_rate : 0;
  r->phase = 0;
}

void HeadlessDeviceOpening(HeadlessAudio& h, uint32_t rate) {
  bool any = h.objects > 0;
  for (WaveOutDevice* d : h.waves) any = any || d;
  if (any) return;
  const uint32_t new_rate = h.fixed_rate ? h.fixed_rate : rate ? rate : 44100;
  if (new_rate != h.rate) {
    h.rate = new_rate;
    if (h.wav && h.wav_frames) OpenWav(h, nullptr);  // a file holds one rate
  }
  h.last_ms = PlatformTickCount();
  h.elapsed_ms = 0;
  h.frames_done = 0;
}

void HeadlessAdvanceLocked(HeadlessAudio& h) {
  const uint32_t now = PlatformTickCount();
  const uint32_t delta = now - h.last_ms;
  h.last_ms = now;
  // A clock replaced by a test may go backwards: no time passed then.
  if (!h.started || delta > 0x7FFFFFFFu) return;
  h.elapsed_ms += delta;
  const uint64_t due = h.elapsed_ms * h.rate / 1000;
  if (due <= h.frames_done) return;
  uint64_t n = due - h.frames_done;
  h.frames_done = due;
  bool open = h.objects > 0;
  for (WaveOutDevice* d : h.waves) open = open || d;
  // Without a device nothing plays, not even silence.
  if (h.faults.stop_consuming || !open) return;
  for (; n; --n) {
    float mix[2] = {0, 0};
    for (WaveOutDevice* d : h.waves)
      if (d) MixWave(d, mix);
    for (DirectSoundBuffer* b : h.buffers)
      if (b) MixBuffer(b, mix);
    const int16_t frame[2] = {Clamp(mix[0]), Clamp(mix[1])};
    Emit(h, frame);
    h.frames_total += 1;
  }
}

void HeadlessAudioSetTicker(bool on) { g_ticker_wanted.store(on); }

void HeadlessAudioSetFaults(const HeadlessAudioFaults* faults) {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  HeadlessAdvanceLocked(h);
  h.faults = faults ? *faults : HeadlessAudioFaults{};
  h.stall_taken = false;
}

HeadlessAudioFaults HeadlessAudioGetFaults() {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  return h.faults;
}

void HeadlessAudioSetRate(uint32_t rate) {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  h.fixed_rate = rate;
  if (rate) h.rate = rate;
}

uint32_t HeadlessAudioRate() {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  return h.rate;
}

void HeadlessAudioCaptureMemory(int16_t* frames, uint32_t capacity_frames) {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  HeadlessAdvanceLocked(h);
  h.capture = frames;
  h.capture_capacity = frames ? capacity_frames : 0;
  h.capture_frames = 0;
}

uint32_t HeadlessAudioCapturedFrames() {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  HeadlessAdvanceLocked(h);
  return h.capture_frames;
}

bool HeadlessAudioCaptureWav(const char* path) {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  HeadlessAdvanceLocked(h);
  return OpenWav(h, path);
}

void HeadlessAudioAdvance() {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  HeadlessAdvanceLocked(h);
}

uint64_t HeadlessAudioMixedFrames() {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  HeadlessAdvanceLocked(h);
  return h.frames_total;
}

uint32_t HeadlessAudioRestores() {
  HeadlessAudio& h = HeadlessAudioState();
  std::lock_guard<std::mutex> hold(h.mutex);
  return h.restores;
}
