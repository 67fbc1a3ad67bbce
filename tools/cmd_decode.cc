// vexa decode IN.vxa -o OUT.y4m [--alpha ALPHA.y4m] [--frames N]: decodes the
// video of a Vexa file to YUV4MPEG2 4:2:0 at the file's size and rate.
//
// Every frame of the file gives one output picture. A frame whose data is
// broken (an unreadable index entry, audio packets that overrun the frame, or
// video data the decoder rejects) is reported on standard error with its
// number (1-based) and still gives a picture: the planes as far as the
// decoder got, as playback would show them. The exit code is 1 only when a
// file cannot be opened or written; 2 for a usage error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/container.h"
#include "media/media_error.h"
#include "media/open_flags.h"
#include "tools/audio_tracks.h"
#include "tools/commands.h"
#include "tools/image_output.h"
#include "tools/y4m.h"
#include "video/frame_buffers.h"
#include "video/frame_decoder.h"

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
  const char* wav = nullptr;  // sound to WAV (AudioTracksDecodeToWav)
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

// The open flags the file's revision and video flags imply.
uint32_t OpenFlagsFor(const FileHeader& h, bool want_alpha) {
  uint32_t flags = h.video_flags & FLAG_GRAYSCALE;
  char revision = RevisionOf(h);
  if (revision == 'f' || revision == 'g') flags |= FLAG_OLD_BITSTREAM | FLAG_SWAPPED_CHROMA;
  if (revision == 'h') flags |= FLAG_OLD_BITSTREAM;
  if (want_alpha && (h.video_flags & FLAG_ALPHA)) flags |= FLAG_ALPHA;
  return flags;
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

bool ReadAt(FILE* f, uint64_t offset, uint8_t* into, uint32_t size) {
  if (fseeko(f, off_t(offset), SEEK_SET) != 0) return false;
  return std::fread(into, 1, size, f) == size;
}

}  // namespace

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
  if (o.wav) {
    std::string error;
    if (!AudioTracksDecodeToWav(o.input, o.wav, o.one_track, o.track, &error)) {
      std::fprintf(stderr, "vexa decode: %s\n", error.c_str());
      return 1;
    }
    if (!o.output && !o.png && !o.rgb) return 0;
  }

  ContainerFile* file = ContainerLoadPath(o.input);
  if (!file) {
    std::fprintf(stderr, "vexa decode: %s: %s\n", o.input, MediaGetError());
    return 1;
  }
  const ContainerLayout* layout = &file->layout;
  const FileHeader& h = layout->header;
  FILE* in = std::fopen(o.input, "rb");
  if (!in) {
    std::fprintf(stderr, "vexa decode: %s: %s\n", o.input, kErrorOpeningFile);
    ContainerFree(file);
    return 1;
  }
  const bool has_alpha = (h.video_flags & FLAG_ALPHA) != 0;
  if (o.alpha && !has_alpha)
    std::fprintf(stderr, "vexa decode: %s has no alpha plane; --alpha ignored\n", o.input);
  const uint32_t open_flags = OpenFlagsFor(h, o.alpha != nullptr || o.png != nullptr);
  PeakRate peak;
  ContainerPeakRate(layout, &peak);

  BundleBuffers bundles;
  FrameBuffers* fb = FrameBuffersAllocate(h.width, h.height, open_flags, peak.all_key_frames, &bundles, h.width);
  std::vector<uint8_t> frame(h.largest_frame ? h.largest_frame : 1);
  const uint32_t map_pitch = ChangeMapPitch(h.width);
  std::vector<uint8_t> map(size_t(map_pitch) * ChangeMapRows(h.height) + 16, 0);
  std::vector<uint8_t> grey(size_t(h.width + 1) / 2, PLANE_INITIAL_CHROMA);
  if (!fb) {
    std::fprintf(stderr, "vexa decode: %s: %s\n", o.input, kErrorOutOfMemory);
    std::fclose(in);
    ContainerFree(file);
    return 1;
  }

  Y4mInfo info{h.width, h.height, h.rate_dividend, h.rate_divisor ? h.rate_divisor : 1, false};
  Y4mFile* out = o.output ? Y4mOpenWrite(o.output, &info) : nullptr;
  Y4mInfo alpha_info = info;
  alpha_info.mono = true;
  Y4mFile* alpha_out = (o.alpha && has_alpha && out) ? Y4mOpenWrite(o.alpha, &alpha_info) : nullptr;
  int rc = 0;
  if ((o.output && !out) || (o.output && o.alpha && has_alpha && !alpha_out)) {
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
    const uint32_t mode = ScaleModeOf(h.video_flags) == SCALE_FORCE_NONE ? 0 : (h.video_flags & SCALE_MODE);
    images = ImageOutputOpen(settings, h.width, h.height, open_flags | mode);
    if (!images) {
      std::fprintf(stderr, "vexa decode: %s\n", ImageOutputError());
      rc = 1;
    }
  }

  const uint32_t total = o.frames && o.frames < h.frame_count ? o.frames : h.frame_count;
  uint32_t corrupt = 0, decoded = 0;
  for (uint32_t i = 0; rc == 0 && i < total; ++i) {
    FrameLocation loc;
    const uint8_t* video = nullptr;
    uint32_t video_size = 0;
    const char* problem = nullptr;
    if (!FrameLocate(layout, i, &loc) || loc.size > frame.size()) {
      problem = "its index entry cannot be read";
    } else if (!ReadAt(in, loc.offset, frame.data(), loc.size)) {
      problem = "the file ends inside it";
    } else if (!FramePacketVideo(frame.data(), loc.size, h.track_count, &video, &video_size)) {
      problem = "its audio packets overrun the frame";
    }
    if (!problem) {
      std::fill(map.begin(), map.end(), 0);
      VideoFrameStatus status;
      DecodeVideoFrame(fb, map.data(), int(map_pitch), video, video_size, loc.key, &bundles, open_flags,
                       h.video_flags, &status);
      if (status.error != VIDEO_OK) {
        static const char* const kPlaneNames[4] = {"Y", "chroma 1", "chroma 2", "alpha"};
        std::fprintf(stderr, "vexa decode: frame %u is corrupt (%s plane: %s)\n", i + 1,
                     kPlaneNames[status.plane & 3], VideoErrorText(status.error));
        ++corrupt;
      }
    } else {
      std::fprintf(stderr, "vexa decode: frame %u is corrupt (%s)\n", i + 1, problem);
      ++corrupt;
    }
    if (i + 1 >= o.first && !WritePicture(out, alpha_out, fb, open_flags, &grey)) {
      std::fprintf(stderr, "vexa decode: error writing the output\n");
      rc = 1;
    }
    if (images && i + 1 >= o.first && !ImageOutputWriteFrame(images, fb, i + 1)) {
      std::fprintf(stderr, "vexa decode: %s\n", ImageOutputError());
      rc = 1;
    }
    ++decoded;
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
  FrameBuffersFree(fb);
  std::fclose(in);
  ContainerFree(file);
  return rc;
}
