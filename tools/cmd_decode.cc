// vexa decode IN.vxa -o OUT.y4m [--alpha ALPHA.y4m] [--frames N]: decodes the
// video of a Vexa file to YUV4MPEG2 4:2:0 at the file's size and rate.
//
// Frames go through the playback core as a player takes them. Every frame
// gives one output picture. A frame whose data is broken (audio packets that
// overrun the frame, or video data the decoder rejects) is reported on
// standard error with its number (1-based) and still gives a picture: the
// planes as far as the decoder got, as playback would show them. A frame the
// file cannot deliver (an untrustworthy index entry, a short file) ends the
// decode, as it ends playback. The exit code is 1 only when a file cannot be
// opened or written; 2 for a usage error.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/container.h"
#include "media/media.h"
#include "sound/memory_output.h"
#include "tools/wav_file.h"
#include "base/media_error.h"
#include "base/open_flags.h"
#include "tools/audio_tracks.h"
#include "tools/commands.h"
#include "tools/image_output.h"
#include "tools/y4m.h"
#include "video/frame_buffers.h"
#include "video/video_error.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: vexa decode IN.vxa [-o OUT.y4m] [--alpha ALPHA.y4m] [--frames N|A-B]\n"
               "                  [--png 'frame%%04d.png'] [--rgb OUT.raw [--surface-type N]]\n"
               "                  [--wav OUT.wav [--track ID]]\n\n"
               "Decodes the video to YUV4MPEG2 4:2:0 at the file's size and frame rate.\n"
               "Grayscale files give chroma 128. --alpha writes the alpha plane of a file\n"
               "that has one as a monochrome YUV4MPEG2 file; --frames N stops after N frames,\n"
               "--frames A-B writes only frames A to B.\n"
               "--png writes each frame as an RGB (RGBA for files with alpha) PNG file named\n"
               "by the pattern and the frame number, in the file's display mode. --rgb writes\n"
               "every frame's surface bytes of --surface-type N (0-15, default 3) to one file.\n"
               "Corrupt frames are reported on standard error with their numbers.\n"
               "--wav OUT.wav decodes the sound to 16-bit WAV: the track with identifier\n"
               "--track ID, or every track to OUT with its identifier before the\n"
               "extension (out.0.wav, out.7.wav, ...).\n");
}

struct DecodeOptions {
  const char* input = nullptr;
  const char* output = nullptr;
  const char* alpha = nullptr;
  uint32_t frames = 0;  // 0: all
  uint32_t first = 1;   // first frame written (--frames A-B)
  const char* png = nullptr;
  const char* rgb = nullptr;
  uint32_t surface_type = 3;
  bool help = false;
  const char* wav = nullptr;  // sound to 16-bit WAV through the playback core
  bool one_track = false;     // --track given
  uint32_t track = 0;
};

// Options are NAME VALUE pairs or flags; one table so that more outputs are
// easy to add.
struct OptionSpec {
  const char* name;
  const char* alias;
  bool (*apply)(DecodeOptions* o, const char* value);  // value null for flags
  bool takes_value;
};

bool SetOutput(DecodeOptions* o, const char* v) { return (o->output = v) != nullptr; }
bool SetAlpha(DecodeOptions* o, const char* v) { return (o->alpha = v) != nullptr; }
bool SetFrames(DecodeOptions* o, const char* v) {
  char* end = nullptr;
  errno = 0;
  unsigned long n = std::strtoul(v, &end, 10);
  if (errno || !*v || n == 0 || n > 0xFFFFFFFFul) return false;
  if (*end == '-') {
    // A-B: frames A to B, 1-based and inclusive.
    const char* b = end + 1;
    unsigned long last = std::strtoul(b, &end, 10);
    if (errno || !*b || *end || last < n || last > 0xFFFFFFFFul) return false;
    o->first = uint32_t(n);
    o->frames = uint32_t(last);
    return true;
  }
  if (*end) return false;
  o->frames = uint32_t(n);
  return true;
}
bool SetPng(DecodeOptions* o, const char* v) { return (o->png = v) != nullptr; }
bool SetRgb(DecodeOptions* o, const char* v) { return (o->rgb = v) != nullptr; }
bool SetSurfaceType(DecodeOptions* o, const char* v) { return ParseSurfaceType(v, &o->surface_type); }
bool SetHelp(DecodeOptions* o, const char*) { return o->help = true; }
bool SetWav(DecodeOptions* o, const char* v) { return (o->wav = v) != nullptr; }
bool SetTrack(DecodeOptions* o, const char* v) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(v, &end, 10);
  if (errno || !*v || *end || *v == '-' || n > 0xFFFFFFFFull) return false;
  o->track = uint32_t(n);
  return o->one_track = true;
}

const OptionSpec kOptions[] = {
    {"-o", "--output", SetOutput, true},
    {"--alpha", nullptr, SetAlpha, true},
    {"--frames", nullptr, SetFrames, true},
    {"--png", nullptr, SetPng, true},
    {"--rgb", nullptr, SetRgb, true},
    {"--surface-type", nullptr, SetSurfaceType, true},
    {"--help", "-h", SetHelp, false},
    {"--wav", nullptr, SetWav, true},
    {"--track", nullptr, SetTrack, true},
};

bool ParseOptions(int argc, char** argv, DecodeOptions* o) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : kOptions)
      if (!std::strcmp(arg, s.name) || (s.alias && !std::strcmp(arg, s.alias))) spec = &s;
    if (!spec) {
      if (arg[0] == '-' && arg[1]) {
        std::fprintf(stderr, "vexa decode: unknown option '%s'\n", arg);
        return false;
      }
      if (o->input) {
        std::fprintf(stderr, "vexa decode: more than one input file\n");
        return false;
      }
      o->input = arg;
      continue;
    }
    const char* value = nullptr;
    if (spec->takes_value) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vexa decode: %s needs a value\n", arg);
        return false;
      }
      value = argv[++i];
    }
    if (!spec->apply(o, value)) {
      std::fprintf(stderr, "vexa decode: bad value for %s: '%s'\n", arg, value ? value : "");
      return false;
    }
  }
  return true;
}

// Writes the current picture, cropped from the padded planes.
bool WritePicture(Y4mFile* out, Y4mFile* alpha_out, const FrameBuffers* fb, uint32_t open_flags,
                  std::vector<uint8_t>* grey) {
  const PlaneSet& set = fb->sets[fb->current];
  const DecodedPlane& y = set.plane[PLANE_Y];
  bool ok = true;
  if (out) {
    if (open_flags & FLAG_GRAYSCALE) {
      ok = Y4mWriteFrame(out, y.pixels, y.pitch, grey->data(), grey->data(), 0);
    } else {
      // Chroma plane 1 carries the red difference (V) unless the revision
      // swaps them; Y4M's U is the blue difference.
      bool swapped = (open_flags & FLAG_SWAPPED_CHROMA) != 0;
      const DecodedPlane& red = set.plane[swapped ? PLANE_CHROMA2 : PLANE_CHROMA1];
      const DecodedPlane& blue = set.plane[swapped ? PLANE_CHROMA1 : PLANE_CHROMA2];
      ok = Y4mWriteFrame(out, y.pixels, y.pitch, blue.pixels, red.pixels, blue.pitch);
    }
  }
  if (alpha_out) {
    const DecodedPlane& a = set.plane[PLANE_ALPHA];
    ok = Y4mWriteFrame(alpha_out, a.pixels, a.pitch, nullptr, nullptr, 0) && ok;
  }
  return ok;
}


// Sound goes to the instant memory output; after each frame what it
// captured is appended to the track's WAV file.
struct WavOutputs {
  MemoryOutputConfig config{};
  std::vector<uint8_t> capture[kMemoryOutputMaxTracks];
  WavStream* wav[kMemoryOutputMaxTracks] = {};
  bool eight_bit[kMemoryOutputMaxTracks] = {};
  std::vector<int16_t> widened;
  uint32_t count = 0;
  bool ok = true;

  // WAVs are 16-bit: an 8-bit output's bytes (the high byte plus 128) are
  // widened back, which is exactly what 8 bits kept of the sound.
  void Flush() {
    for (uint32_t k = 0; k < count; ++k) {
      MemoryOutputCapture& c = config.capture[k];
      if (wav[k] && c.length) {
        bool written;
        if (eight_bit[k]) {
          widened.resize(c.length);
          for (uint32_t i = 0; i < c.length; ++i) widened[i] = int16_t((int(c.bytes[i]) - 128) * 256);
          written = WavStreamWrite(wav[k], widened.data(), widened.size() * 2);
        } else {
          written = WavStreamWrite(wav[k], c.bytes, c.length);
        }
        if (!written) ok = false;
      }
      c.length = 0;
    }
  }
};

// The identifiers of the tracks to decode: the one asked for, every playable
// one (at most eight), or, without --wav, one that matches no track so that
// no sound is decoded at all.
std::vector<uint32_t> ChooseTracks(const ContainerLayout* layout, const DecodeOptions& o, std::string* error) {
  const FileHeader& h = layout->header;
  std::vector<uint32_t> ids;
  if (!o.wav) {
    uint32_t unused = 0;
    for (uint32_t t = 0; t < h.track_count; ++t)
      if (layout->ids[t] >= unused) unused = layout->ids[t] + 1;
    ids.push_back(unused);
    return ids;
  }
  for (uint32_t t = 0; t < h.track_count; ++t) {
    const uint32_t id = layout->ids[t];
    if (o.one_track && id != o.track) continue;
    if (TrackFormatKind(layout->formats[t]) == TRACK_KIND_NONE) {
      std::fprintf(stderr, "vexa decode: track %u carries no playable sound; skipped\n", id);
      continue;
    }
    if (std::find(ids.begin(), ids.end(), id) != ids.end()) continue;
    if (ids.size() == kMemoryOutputMaxTracks) {
      std::fprintf(stderr, "vexa decode: more than %d sound tracks; track %u skipped\n", kMemoryOutputMaxTracks, id);
      continue;
    }
    ids.push_back(id);
  }
  if (ids.empty())
    *error = o.one_track ? std::string(o.input) + " has no playable track " + std::to_string(o.track)
                         : std::string(o.input) + " has no sound tracks";
  return ids;
}

}  // namespace

// Every frame goes through the playback core as a player would take it
// (MediaDecodeFrame, MediaNextFrame), without threads and without waiting.
int CommandDecode(int argc, char** argv) {
  DecodeOptions o;
  if (!ParseOptions(argc, argv, &o)) {
    Usage(stderr);
    return 2;
  }
  if (o.help) {
    Usage(stdout);
    return 0;
  }
  if (!o.input || (!o.output && !o.png && !o.rgb && !o.wav)) {
    Usage(stderr);
    return 2;
  }

  // The header first, for the track choice and the output formats.
  ContainerFile* file = ContainerLoadPath(o.input);
  if (!file) {
    std::fprintf(stderr, "vexa decode: %s: %s\n", o.input, MediaGetError());
    return 1;
  }
  const FileHeader h = file->layout.header;
  std::string error;
  const std::vector<uint32_t> ids = ChooseTracks(&file->layout, o, &error);
  ContainerFree(file);
  if (ids.empty()) {
    std::fprintf(stderr, "vexa decode: %s\n", error.c_str());
    return 1;
  }

  static WavOutputs sound;
  sound.config = MemoryOutputConfig{};
  sound.config.instant = true;
  for (uint32_t k = 0; k < kMemoryOutputMaxTracks; ++k) {
    sound.capture[k].assign(8u << 20, 0);
    sound.config.capture[k] = {sound.capture[k].data(), uint32_t(sound.capture[k].size()), 0, 0};
  }
  MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&sound.config));
  MediaSetSoundTracks(uint32_t(ids.size()), ids.data());
  const bool has_alpha = (h.video_flags & FLAG_ALPHA) != 0;
  if (o.alpha && !has_alpha)
    std::fprintf(stderr, "vexa decode: %s has no alpha plane; --alpha ignored\n", o.input);
  const bool want_video = o.output || o.png || o.rgb;
  uint32_t flags = OPEN_NO_THREAD | OPEN_SOUND_TRACKS;
  if (!want_video) flags |= OPEN_NO_VIDEO;
  if (o.alpha || o.png) flags |= FLAG_ALPHA;
  MediaFile* m = MediaOpen(o.input, flags);
  if (!m) {
    std::fprintf(stderr, "vexa decode: %s: %s\n", o.input, MediaGetError());
    return 1;
  }
  const uint32_t open_flags = MediaHead(m)->open_flags;

  int rc = 0;
  // One WAV per opened track, in the order the identifiers were asked for.
  sound.count = o.wav ? MediaOpenedTrackCount(m) : 0;
  for (uint32_t k = 0; k < sound.count; ++k) {
    uint32_t id = 0;
    const TrackRecord& t = *MediaOpenedTrack(m, k, &id);
    const std::string name = o.one_track ? std::string(o.wav) : AudioTrackWavName(o.wav, id);
    sound.eight_bit[k] = t.bits_per_sample == 8;
    sound.wav[k] = WavStreamOpen(name.c_str(), t.sample_rate, t.channels, 16);
    if (!sound.wav[k]) {
      std::fprintf(stderr, "vexa decode: cannot write %s\n", name.c_str());
      rc = 1;
    }
  }
  if (o.wav && !sound.count) {
    std::fprintf(stderr, "vexa decode: no sound output could be opened for %s\n", o.input);
    rc = 1;
  }

  std::vector<uint8_t> grey(size_t(h.width + 1) / 2, PLANE_INITIAL_CHROMA);
  Y4mInfo info{h.width, h.height, h.rate_dividend, h.rate_divisor ? h.rate_divisor : 1, false};
  Y4mFile* out = o.output && rc == 0 ? Y4mOpenWrite(o.output, &info) : nullptr;
  Y4mInfo alpha_info = info;
  alpha_info.mono = true;
  Y4mFile* alpha_out = (o.alpha && has_alpha && out) ? Y4mOpenWrite(o.alpha, &alpha_info) : nullptr;
  if (rc == 0 && ((o.output && !out) || (o.output && o.alpha && has_alpha && !alpha_out))) {
    std::fprintf(stderr, "vexa decode: %s\n", Y4mError());
    rc = 1;
  }
  // Images go through the display converters in the file's display mode.
  ImageOutput* images = nullptr;
  if (rc == 0 && (o.png || o.rgb)) {
    ImageOutputSettings settings;
    settings.pngPattern = o.png;
    settings.rawPath = o.rgb;
    settings.surfaceType = o.surface_type;
    images = ImageOutputOpen(settings, h.width, h.height, open_flags & (SCALE_MODE | FLAG_GRAYSCALE | FLAG_SWAPPED_CHROMA | FLAG_ALPHA));
    if (!images) {
      std::fprintf(stderr, "vexa decode: %s\n", ImageOutputError());
      rc = 1;
    }
  }

  const uint32_t total = o.frames && o.frames < h.frame_count ? o.frames : h.frame_count;
  uint32_t decoded = 0;
  for (uint32_t i = 0; rc == 0 && i < total; ++i) {
    const uint32_t corrupt_before = MediaCorruptFrames(m, nullptr, nullptr);
    if (MediaDecodeFrame(m)) {
      std::fprintf(stderr, "vexa decode: frame %u cannot be read; stopping\n", i + 1);
      break;
    }
    uint32_t video_error = 0, plane = 0;
    if (MediaCorruptFrames(m, &video_error, &plane) != corrupt_before) {
      static const char* const kPlaneNames[4] = {"Y", "chroma 1", "chroma 2", "alpha"};
      std::fprintf(stderr, "vexa decode: frame %u is corrupt (%s plane: %s)\n", i + 1, kPlaneNames[plane & 3],
                   VideoErrorText(VideoError(video_error)));
    }
    const FrameBuffers* planes = MediaDecodedPlanes(m);
    if (planes && i + 1 >= o.first) {
      if (!WritePicture(out, alpha_out, planes, open_flags, &grey)) {
        std::fprintf(stderr, "vexa decode: error writing the output\n");
        rc = 1;
      }
      if (images && !ImageOutputWriteFrame(images, planes, i + 1)) {
        std::fprintf(stderr, "vexa decode: %s\n", ImageOutputError());
        rc = 1;
      }
    }
    ++decoded;
    // Reading the next frame feeds the sound; after the last frame it drains
    // whatever the rings still hold.
    MediaNextFrame(m);
    sound.Flush();
  }
  const uint32_t corrupt = MediaCorruptFrames(m, nullptr, nullptr);
  MediaClose(m);
  sound.Flush();
  for (uint32_t k = 0; k < sound.count; ++k) {
    if (!WavStreamClose(sound.wav[k]) && rc == 0) {
      std::fprintf(stderr, "vexa decode: error writing %s\n", o.wav);
      rc = 1;
    }
    sound.wav[k] = nullptr;
  }
  if (!sound.ok && rc == 0) {
    std::fprintf(stderr, "vexa decode: error writing %s\n", o.wav);
    rc = 1;
  }
  if (!Y4mClose(out) && rc == 0) {
    std::fprintf(stderr, "vexa decode: error writing %s\n", o.output);
    rc = 1;
  }
  if (!Y4mClose(alpha_out) && rc == 0) {
    std::fprintf(stderr, "vexa decode: error writing %s\n", o.alpha);
    rc = 1;
  }
  if (!ImageOutputClose(images) && rc == 0) {
    std::fprintf(stderr, "vexa decode: %s\n", ImageOutputError());
    rc = 1;
  }
  if (corrupt) std::fprintf(stderr, "vexa decode: %u of %u frames corrupt\n", corrupt, decoded);
  return rc;
}
