// vexa decode IN.vxa -o OUT.y4m [--alpha ALPHA.y4m] [--frames N]: decodes the
// video of a Vexa file to YUV4MPEG2 4:2:0 at the file's size and rate, its
// frames to PNG or raw surfaces, its sound to WAV.
//
// Frames go through the playback core as a player takes them. Every frame
// gives one output picture. A frame whose data is broken (audio packets that
// overrun the frame, or video data the decoder rejects) is reported on
// standard error with its number (1-based) and still gives a picture: the
// planes as far as the decoder got, as playback would show them. A frame the
// file cannot deliver (an untrustworthy index entry, a short file) ends the
// decode, as it ends playback, and the exit code says so.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/container.h"
#include "media/media.h"
#include "base/media_error.h"
#include "base/open_flags.h"
#include "tools/audio_tracks.h"
#include "tools/commands.h"
#include "tools/decode_sound.h"
#include "tools/image_output.h"
#include "tools/tool_files.h"
#include "tools/y4m.h"
#include "video/frame_buffers.h"
#include "video/video_error.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: vexa decode IN.vxa [-o OUT.y4m [--alpha ALPHA.y4m]] [--frames N|A-B]\n"
               "                  [--png 'frame%%04d.png'] [--rgb OUT.raw [--surface-type N]]\n"
               "                  [--wav OUT.wav [--track ID]] [--quiet]\n\n"
               "Decodes a Vexa file through the playback core. At least one output:\n"
               "  -o OUT.y4m       the video as YUV4MPEG2 4:2:0 at the file's size and rate;\n"
               "                   grayscale files give chroma 128\n"
               "  --alpha A.y4m    with -o: the alpha plane (files that have one), monochrome\n"
               "  --png PATTERN    each frame as an RGB (RGBA with alpha) PNG in the file's\n"
               "                   display mode, named by the pattern and the frame number\n"
               "  --rgb OUT.raw    every frame's surface bytes, back to back, of\n"
               "  --surface-type N 0 rgb332, 1 bgr24, 2 rgb24, 3 xrgb32 (default), 4 xbgr32,\n"
               "                   5 argb32, 6 abgr32, 7 argb4444, 8 argb1555, 9 rgb555,\n"
               "                   10 rgb565, 11 rgb655, 12 rgb664, 13 yuy2, 14 uyvy, 15 yv12\n"
               "  --wav OUT.wav    the sound as 16-bit WAV: one track to OUT.wav, several\n"
               "                   to OUT with each identifier before the extension\n"
               "                   (out.0.wav, out.7.wav, ...); --track ID picks one\n"
               "IN.vxa '-' reads standard input; '-' for -o, --alpha, --rgb or --wav (one\n"
               "track) writes to standard output, one of them at a time; --png needs names.\n"
               "Frames are numbered from 1: --frames N stops after N frames, --frames A-B\n"
               "writes frames A to B. Corrupt frames are reported on standard error with\n"
               "their numbers; a line says what was written (--quiet leaves it out).\n"
               "Exit codes: 0 done; 1 a file could not be read or written; 2 bad usage;\n"
               "3 the file delivered fewer frames than asked for (what came was written).\n");
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
  bool surface_type_given = false;
  bool quiet = false;
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
bool SetSurfaceType(DecodeOptions* o, const char* v) {
  return o->surface_type_given = ParseSurfaceType(v, &o->surface_type);
}
bool SetQuiet(DecodeOptions* o, const char*) { return o->quiet = true; }
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
    {"--quiet", "-q", SetQuiet, false},
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
      const char* expected = spec->apply == SetSurfaceType ? " (0 to 15, listed in --help)"
                             : spec->apply == SetFrames    ? " (N or A-B, counted from 1)"
                                                           : "";
      std::fprintf(stderr, "vexa decode: bad value for %s: '%s'%s\n", arg, value ? value : "", expected);
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


// Options that would do nothing, outputs that clash. False after saying why.
bool CheckOptions(const DecodeOptions& o) {
  const char* lonely = !o.output && o.alpha          ? "--alpha (it goes with -o)"
                       : !o.rgb && o.surface_type_given ? "--surface-type (it goes with --rgb)"
                       : !o.wav && o.one_track          ? "--track (it goes with --wav)"
                                                        : nullptr;
  if (lonely) {
    std::fprintf(stderr, "vexa decode: %s does nothing here\n", lonely);
    return false;
  }
  if (o.png && IsStdStream(o.png)) {
    std::fprintf(stderr, "vexa decode: --png writes a file a frame and needs a name pattern, not '-'\n");
    return false;
  }
  const char* outputs[] = {o.output, o.alpha, o.rgb, o.wav};
  int to_stdout = 0;
  for (const char* out : outputs) {
    if (!out) continue;
    to_stdout += IsStdStream(out);
    if (SameFile(out, o.input)) {
      std::fprintf(stderr, "vexa decode: %s is the input; refusing to overwrite it\n", out);
      return false;
    }
  }
  if (to_stdout > 1) {
    std::fprintf(stderr, "vexa decode: only one output can go to standard output ('-')\n");
    return false;
  }
  return true;
}

std::string Shown(const char* path) { return IsStdStream(path) ? "standard output" : path; }

// The closing line: what was written where.
void SayWhatWasWritten(const DecodeOptions& o, uint32_t written, uint32_t first, bool alpha,
                       const DecodeSound& sound) {
  std::string line = "vexa decode: ";
  std::vector<std::string> parts;
  const bool video = o.output || o.png || o.rgb;
  if (video) {
    std::string frames = std::to_string(written) + (written == 1 ? " frame" : " frames");
    if (written) frames += " (" + std::to_string(first) + "-" + std::to_string(first + written - 1) + ")";
    std::vector<std::string> where;
    if (o.output) where.push_back(Shown(o.output));
    if (alpha) where.push_back("alpha " + Shown(o.alpha));
    if (o.png) where.push_back(std::string("PNG ") + o.png);
    if (o.rgb) where.push_back("surfaces " + Shown(o.rgb));
    for (size_t i = 0; i < where.size(); ++i) frames += (i ? ", " : " to ") + where[i];
    parts.push_back(frames);
  }
  if (sound.count) {
    std::string tracks = std::to_string(sound.count) + (sound.count == 1 ? " sound track" : " sound tracks");
    for (uint32_t k = 0; k < sound.count; ++k) tracks += (k ? ", " : " to ") + Shown(sound.names[k].c_str());
    parts.push_back(tracks);
  }
  for (size_t i = 0; i < parts.size(); ++i) line += (i ? "; " : "wrote ") + parts[i];
  std::fprintf(stderr, "%s\n", line.c_str());
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
  if (!CheckOptions(o)) return 2;

  // Standard input is read whole and played from memory.
  std::vector<uint8_t> image;
  const bool from_memory = IsStdStream(o.input);
  std::string error;
  if (from_memory && !ReadWholeInput(o.input, &image, &error)) {
    std::fprintf(stderr, "vexa decode: %s\n", error.c_str());
    return 1;
  }
  // The header first, for the track choice and the output formats.
  ContainerFile* file = from_memory ? ContainerLoadMemory(image.data(), image.size()) : ContainerLoadPath(o.input);
  if (!file) {
    ReportInputFailure("decode", o.input, MediaGetError());
    return 1;
  }
  const FileHeader h = file->layout.header;
  const std::vector<uint32_t> ids = ChooseTracks(&file->layout, o, &error);
  ContainerFree(file);
  if (ids.empty()) {
    std::fprintf(stderr, "vexa decode: %s\n", error.c_str());
    return 1;
  }
  const bool has_alpha = (h.video_flags & FLAG_ALPHA) != 0;
  if (o.alpha && !has_alpha) std::fprintf(stderr, "vexa decode: %s has no alpha plane; --alpha ignored\n", o.input);
  if (o.first > h.frame_count) {
    std::fprintf(stderr, "vexa decode: %s has %u frames; --frames starts at %u\n", o.input, h.frame_count, o.first);
    return 2;
  }

  static DecodeSound sound;
  sound = DecodeSound{};
  sound.config.instant = true;
  MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&sound.config));
  MediaSetSoundTracks(uint32_t(ids.size()), ids.data());
  const bool want_video = o.output || o.png || o.rgb;
  uint32_t flags = OPEN_NO_THREAD | OPEN_SOUND_TRACKS;
  if (!want_video) flags |= OPEN_NO_VIDEO;
  if (o.alpha || o.png) flags |= FLAG_ALPHA;
  MediaFile* m = from_memory ? MediaOpenMemory(image.data(), image.size(), flags) : MediaOpen(o.input, flags);
  if (!m) {
    ReportInputFailure("decode", o.input, MediaGetError());
    return 1;
  }
  const uint32_t open_flags = MediaHead(m)->open_flags;

  // Every output is opened before the first frame is decoded.
  int rc = 0;
  if (o.wav && !DecodeSoundOpen(&sound, m, o.wav)) {
    std::fprintf(stderr, "vexa decode: %s\n", sound.error.c_str());
    rc = 1;
  }
  std::vector<uint8_t> grey(size_t(h.width + 1) / 2, kPlaneInitialChroma);
  Y4mInfo info{h.width, h.height, h.rate_dividend, h.rate_divisor ? h.rate_divisor : 1, false};
  Y4mFile* out = o.output && rc == 0 ? Y4mOpenWrite(o.output, &info) : nullptr;
  Y4mInfo alpha_info = info;
  alpha_info.mono = true;
  Y4mFile* alpha_out = (o.alpha && has_alpha && out) ? Y4mOpenWrite(o.alpha, &alpha_info) : nullptr;
  if (rc == 0 && ((o.output && !out) || (o.alpha && has_alpha && !alpha_out))) {
    std::fprintf(stderr, "vexa decode: %s\n", Y4mError());
    rc = 1;
  }
  // Images go through the display converters in the file's display mode.
  ImageOutput* images = nullptr;
  if (rc == 0 && (o.png || o.rgb)) {
    ImageOutputSettings settings;
    settings.png_pattern = o.png;
    settings.raw_path = o.rgb;
    settings.surface_type = o.surface_type;
    images = ImageOutputOpen(settings, h.width, h.height, open_flags & (SCALE_MODE | FLAG_GRAYSCALE | FLAG_SWAPPED_CHROMA | FLAG_ALPHA));
    if (!images) {
      std::fprintf(stderr, "vexa decode: %s\n", ImageOutputError());
      rc = 1;
    }
  }

  const uint32_t total = o.frames && o.frames < h.frame_count ? o.frames : h.frame_count;
  uint32_t decoded = 0, written = 0;
  bool cut_short = false;
  for (uint32_t i = 0; rc == 0 && i < total; ++i) {
    const uint32_t corrupt_before = MediaCorruptFrames(m, nullptr, nullptr);
    if (MediaDecodeFrame(m)) {
      std::fprintf(stderr, "vexa decode: frame %u cannot be read; stopping after %u of %u frames\n", i + 1, decoded,
                   total);
      cut_short = true;
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
        std::fprintf(stderr, "vexa decode: %s\n", WriteProblem(o.output).c_str());
        rc = 1;
      }
      if (images && !ImageOutputWriteFrame(images, planes, i + 1)) {
        std::fprintf(stderr, "vexa decode: %s\n", ImageOutputError());
        rc = 1;
      }
      ++written;
    }
    ++decoded;
    // Reading the next frame feeds the sound; after the last frame it drains
    // whatever the rings still hold.
    MediaNextFrame(m);
    if (sound.count && !DecodeSoundFlush(&sound)) rc = 1;
  }
  const uint32_t corrupt = MediaCorruptFrames(m, nullptr, nullptr);
  MediaClose(m);
  if (sound.count) DecodeSoundFlush(&sound);
  if (!DecodeSoundClose(&sound) && o.wav) {
    if (rc == 0 || !sound.error.empty()) std::fprintf(stderr, "vexa decode: %s\n", sound.error.c_str());
    rc = 1;
  }
  if (!Y4mClose(out) && rc == 0) {
    std::fprintf(stderr, "vexa decode: %s\n", WriteProblem(o.output).c_str());
    rc = 1;
  }
  if (!Y4mClose(alpha_out) && rc == 0) {
    std::fprintf(stderr, "vexa decode: %s\n", WriteProblem(o.alpha).c_str());
    rc = 1;
  }
  if (!ImageOutputClose(images) && rc == 0) {
    std::fprintf(stderr, "vexa decode: %s\n", ImageOutputError());
    rc = 1;
  }
  if (corrupt) std::fprintf(stderr, "vexa decode: %u of %u frames corrupt\n", corrupt, decoded);
  if (rc == 0 && !o.quiet) SayWhatWasWritten(o, written, o.first, alpha_out != nullptr, sound);
  if (rc == 0 && cut_short) rc = 3;
  return rc;
}
