#include "tools/wav_file.h"

#include "tools/tool_files.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(std::vector<uint8_t>* v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v->push_back(uint8_t(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>* v, uint16_t x) {
  v->push_back(uint8_t(x));
  v->push_back(uint8_t(x >> 8));
}

}  // namespace

bool WavParse(const uint8_t* b, size_t size, WavAudio* out, std::string* error) {
  if (size < 12 || std::memcmp(b, "RIFF", 4) || std::memcmp(b + 8, "WAVE", 4)) {
    *error = "not a WAV file";
    return false;
  }
  bool have_fmt = false;
  size_t pos = 12;
  while (pos + 8 <= size) {
    const uint8_t* id = b + pos;
    const uint32_t len = Le32(b + pos + 4);
    const size_t body = pos + 8;
    const size_t avail = size - body;
    if (!std::memcmp(id, "fmt ", 4)) {
      if (len < 16 || avail < 16) {
        *error = "damaged format chunk";
        return false;
      }
      const uint16_t format = Le16(b + body);
      out->channels = Le16(b + body + 2);
      out->rate = Le32(b + body + 4);
      out->bits = Le16(b + body + 14);
      // Plain PCM, or the extensible header carrying PCM.
      const bool pcm = format == 1 || (format == 0xFFFE && len >= 40 && avail >= 26 && Le16(b + body + 24) == 1);
      if (!pcm) {
        *error = "only PCM WAV files are supported";
        return false;
      }
      if (out->channels != 1 && out->channels != 2) {
        *error = "only mono and stereo WAV files are supported";
        return false;
      }
      if (out->bits != 8 && out->bits != 16) {
        *error = "only 8- and 16-bit WAV files are supported";
        return false;
      }
      if (out->rate < 8000 || out->rate > 48000) {
        *error = "the sample rate must be 8000 to 48000 Hz";
        return false;
      }
      have_fmt = true;
    } else if (!std::memcmp(id, "data", 4)) {
      if (!have_fmt) {
        *error = "data chunk before the format chunk";
        return false;
      }
      const size_t bytes = len < avail ? len : avail;
      const size_t width = out->bits / 8;
      const size_t count = bytes / (width * out->channels) * out->channels;
      out->samples.resize(count);
      for (size_t i = 0; i < count; ++i)
        out->samples[i] = width == 2 ? int16_t(Le16(b + body + 2 * i)) : int16_t((int(b[body + i]) - 128) * 256);
      return true;
    }
    if (len > size) break;
    pos = body + len + (len & 1);  // chunks are padded to even length
  }
  *error = have_fmt ? "no data chunk" : "no format chunk";
  return false;
}

bool WavRead(const char* path, WavAudio* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeInput(path, &bytes, error)) return false;
  return WavParse(bytes.data(), bytes.size(), out, error);
}

std::vector<uint8_t> WavBytes(uint32_t rate, uint32_t channels, const int16_t* samples, size_t count) {
  std::vector<uint8_t> v;
  const uint32_t data = uint32_t(count * 2);
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  Put32(&v, 36 + data);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(&v, 16);
  Put16(&v, 1);
  Put16(&v, uint16_t(channels));
  Put32(&v, rate);
  Put32(&v, rate * channels * 2);
  Put16(&v, uint16_t(channels * 2));
  Put16(&v, 16);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(&v, data);
  for (size_t i = 0; i < count; ++i) Put16(&v, uint16_t(samples[i]));
  return v;
}

bool WavWrite(const char* path, uint32_t rate, uint32_t channels, const int16_t* samples, size_t count) {
  const std::vector<uint8_t> v = WavBytes(rate, channels, samples, count);
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(v.data(), 1, v.size(), f) == v.size();
  return std::fclose(f) == 0 && ok;
}

struct WavStream {
  std::FILE* f;
  uint64_t data_bytes;
  bool ok;
  bool seekable;  // sizes are filled in at close; a pipe keeps the "unknown" sizes
};

namespace {

void PutLe(uint8_t* p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

void WavHeader(uint8_t* h, uint32_t rate, uint32_t channels, uint32_t bits, uint32_t data_bytes) {
  std::memcpy(h, "RIFF", 4);
  PutLe(h + 4, 36 + data_bytes, 4);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  PutLe(h + 16, 16, 4);
  PutLe(h + 20, 1, 2);
  PutLe(h + 22, channels, 2);
  PutLe(h + 24, rate, 4);
  PutLe(h + 28, rate * channels * bits / 8, 4);
  PutLe(h + 32, channels * bits / 8, 2);
  PutLe(h + 34, bits, 2);
  std::memcpy(h + 36, "data", 4);
  PutLe(h + 40, data_bytes, 4);
}

}  // namespace

WavStream* WavStreamOpen(const char* path, uint32_t rate, uint32_t channels, uint32_t bits, std::string* error) {
  std::string ignored;
  std::FILE* f = OpenOutput(path, error ? error : &ignored);
  if (!f) return nullptr;
  // Standard output counts as seekable only when it is a file written from its start.
  const bool seekable = std::fseek(f, 0, SEEK_CUR) == 0 && (f != stdout || std::ftell(f) == 0);
  auto* w = new WavStream{f, 0, true, seekable};
  uint8_t h[44];
  // Readers take all-ones sizes as "until the end of the stream".
  WavHeader(h, rate, channels, bits, seekable ? 0 : 0xFFFFFFFFu);
  if (!seekable) PutLe(h + 4, 0xFFFFFFFFu, 4);
  w->ok = std::fwrite(h, 1, 44, f) == 44;
  return w;
}

bool WavStreamWrite(WavStream* w, const void* bytes, size_t size) {
  if (!w) return false;
  if (size && std::fwrite(bytes, 1, size, w->f) != size) w->ok = false;
  w->data_bytes += size;
  return w->ok;
}

bool WavStreamClose(WavStream* w) {
  if (!w) return true;
  bool ok = w->ok;
  const uint32_t data = w->data_bytes > 0xFFFFFFD0u ? 0xFFFFFFD0u : uint32_t(w->data_bytes);
  if (w->seekable) {
    const long end = std::ftell(w->f);
    uint8_t size_field[4];
    PutLe(size_field, 36 + data + (data & 1), 4);  // the RIFF size counts the pad byte
    ok = ok && std::fseek(w->f, 4, SEEK_SET) == 0 && std::fwrite(size_field, 1, 4, w->f) == 4;
    PutLe(size_field, data, 4);
    ok = ok && std::fseek(w->f, 40, SEEK_SET) == 0 && std::fwrite(size_field, 1, 4, w->f) == 4;
    ok = ok && std::fseek(w->f, end, SEEK_SET) == 0;
  }
  if (data & 1) ok = ok && std::fputc(0, w->f) != EOF;  // pad byte
  ok = CloseOutput(w->f) && ok;
  delete w;
  return ok;
}
