// vexa encode: YUV4MPEG2 (or the built-in test source) to a Vexa file.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encode/speed_presets.h"
#include "encode/test_source.h"
#include "encode/video_encoder.h"
#include "base/container_writer.h"
#include "base/media_error.h"
#include "tools/audio_tracks.h"
#include "tools/commands.h"
#include "tools/tool_files.h"
#include "tools/y4m.h"

namespace {

const char kHelp[] =
    "usage: vexa encode IN.y4m -o OUT.vxa [options]\n"
    "       vexa encode --testsrc WxH --frames N [--rate R] -o OUT.vxa [options]\n"
    "\n"
    "Encodes 4:2:0 (or mono) YUV4MPEG2 video, at its own size and frame rate, or\n"
    "a built-in moving test picture, into a Vexa file (revision i). IN.y4m '-'\n"
    "reads standard input (so may one --alpha or --audio input instead); -o -\n"
    "writes the file to standard output. The output is checked before encoding\n"
    "starts, is never the input, and is removed again when encoding fails.\n"
    "Frames are counted from 1 (the test picture stamps that number).\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   the Vexa file to write (required; - for standard output)\n"
    "  --quality Q         0 (smallest) .. 100 (best), default 75\n"
    "  --speed S           0 (slowest, best) .. 4 (fastest), default 2\n"
    "  --threads N         threads to code with (default 0: one per processor;\n"
    "                      the output is the same for any number)\n"
    "  --keyint N          a key frame every N frames (default 120; 1: all key;\n"
    "                      0: only the first)\n"
    "  --grayscale         code luma only\n"
    "  --alpha FILE.y4m    code an alpha plane from this file's luma (same size);\n"
    "                      with --testsrc, '--alpha testsrc' uses a built-in one\n"
    "  --frames N          stop after N frames (required with --testsrc)\n"
    "  --testsrc WxH       use the built-in test source of this size\n"
    "  --rate R            test source frame rate: N or N/D (default 30)\n"
    "  --quiet             no progress or summary lines\n"
    "Exit codes: 0 written, 1 an input or the output failed, 2 bad usage.\n";

struct EncodeOptions {
  const char* input = nullptr;
  const char* output = nullptr;
  const char* alpha = nullptr;
  int quality = 75;
  int speed = kDefaultSpeed;
  long threads = 0;
  long keyint = 120;
  bool grayscale = false;
  bool quiet = false;
  long frames = -1;
  uint32_t test_width = 0, test_height = 0;
  uint32_t rate_num = 30, rate_den = 1;
  bool rate_given = false;
};

bool ParseRate(const char* s, uint32_t* num, uint32_t* den) {
  char* end = nullptr;
  const unsigned long n = std::strtoul(s, &end, 10);
  unsigned long d = 1;
  if (*end == '/' || *end == ':') d = std::strtoul(end + 1, &end, 10);
  if (*end || !n || !d || n > 0xFFFFFFFFul || d > 0xFFFFFFFFul) return false;
  *num = uint32_t(n);
  *den = uint32_t(d);
  return true;
}

bool ParseLong(const char* s, long lo, long hi, long* out) {
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (!*s || *end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// Parses one option at argv[i]; returns the number of arguments it used, 0
// when it is not an option of this command, -1 after saying what is wrong.
int ParseOption(EncodeOptions* o, int argc, char** argv, int i) {
  const char* a = argv[i];
  const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
  auto Need = [&]() {
    if (!v) std::fprintf(stderr, "vexa encode: %s needs a value\n", a);
    return v != nullptr;
  };
  auto Bad = [&](const char* expected) {
    std::fprintf(stderr, "vexa encode: %s takes %s, not '%s'\n", a, expected, v);
    return -1;
  };
  long n = 0;
  if (!std::strcmp(a, "--grayscale")) return o->grayscale = true, 1;
  if (!std::strcmp(a, "--quiet")) return o->quiet = true, 1;
  if (!std::strcmp(a, "-o") || !std::strcmp(a, "--output")) return Need() ? (o->output = v, 2) : -1;
  if (!std::strcmp(a, "--alpha")) return Need() ? (o->alpha = v, 2) : -1;
  if (!std::strcmp(a, "--quality")) {
    if (!Need()) return -1;
    if (!ParseLong(v, 0, 100, &n)) return Bad("0 to 100");
    o->quality = int(n);
    return 2;
  }
  if (!std::strcmp(a, "--speed")) {
    if (!Need()) return -1;
    if (!ParseLong(v, 0, kSpeedCount - 1, &n)) return Bad("0 to 4");
    o->speed = int(n);
    return 2;
  }
  if (!std::strcmp(a, "--threads")) {
    if (!Need()) return -1;
    if (!ParseLong(v, 0, 64, &n)) return Bad("0 to 64");
    o->threads = n;
    return 2;
  }
  if (!std::strcmp(a, "--keyint")) {
    if (!Need()) return -1;
    if (!ParseLong(v, 0, 1000000, &n)) return Bad("0 to 1000000");
    o->keyint = n;
    return 2;
  }
  if (!std::strcmp(a, "--frames")) {
    if (!Need()) return -1;
    if (!ParseLong(v, 1, 100000000, &n)) return Bad("1 to 100000000");
    o->frames = n;
    return 2;
  }
  if (!std::strcmp(a, "--rate")) {
    if (!Need()) return -1;
    o->rate_given = true;
    return ParseRate(v, &o->rate_num, &o->rate_den) ? 2 : Bad("N or N/D (both above 0)");
  }
  if (!std::strcmp(a, "--testsrc")) {
    unsigned w = 0, h = 0;
    char extra = 0;
    if (!Need()) return -1;
    if (std::sscanf(v, "%ux%u%c", &w, &h, &extra) != 2 || !w || !h || w > 8192 || h > 8192)
      return Bad("WxH, each 1 to 8192");
    o->test_width = w;
    o->test_height = h;
    return 2;
  }
  return 0;
}

// Where the pictures come from: a Y4M file or the test source.
struct PictureSource {
  Y4mFile* file = nullptr;
  Y4mFile* alpha = nullptr;
  uint32_t width = 0, height = 0;
  uint32_t frame = 0;
  std::vector<uint8_t> y, u, v, a, scratch_u, scratch_v;
};

// 1: a picture; 0: the end; -1: an error (reported).
int NextPicture(PictureSource* s, bool with_alpha, VideoPicture* pic) {
  const int cw = int((s->width + 1) / 2);
  if (s->file) {
    const int r = Y4mReadFrame(s->file, s->y.data(), int(s->width), s->u.data(), s->v.data(), cw);
    if (r < 0) std::fprintf(stderr, "vexa encode: %s\n", Y4mError());
    if (r <= 0) return r;
  } else {
    TestSourceFrame(s->width, s->height, s->frame, s->y.data(), int(s->width), s->u.data(), s->v.data(), cw);
  }
  if (with_alpha) {
    if (s->alpha) {
      const int r = Y4mReadFrame(s->alpha, s->a.data(), int(s->width), s->scratch_u.data(), s->scratch_v.data(), cw);
      if (r <= 0) {
        std::fprintf(stderr, "vexa encode: alpha input: %s\n", r < 0 ? Y4mError() : "ends before the video");
        return -1;
      }
    } else {
      TestSourceAlpha(s->width, s->height, s->frame, s->a.data(), int(s->width));
    }
  }
  ++s->frame;
  *pic = VideoPicture{s->y.data(), int(s->width), s->u.data(), s->v.data(), cw, s->a.data(), int(s->width)};
  return 1;
}

// Progress on standard error: rewritten in place on a terminal, a line
// now and then elsewhere. Anything else printed ends the line first.
struct Progress {
  bool quiet = false;
  bool terminal = false;
  bool open_line = false;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  void Frame(long count, long total) {
    if (quiet || count % (terminal ? 10 : 100)) return;
    const double secs = Seconds();
    std::fprintf(stderr, "%sframe %ld", terminal ? "\r" : "", count);
    if (total > 0) std::fprintf(stderr, "/%ld", total);
    std::fprintf(stderr, "  %.1f fps%s", secs > 0 ? count / secs : 0.0, terminal ? "" : "\n");
    std::fflush(stderr);
    open_line = terminal;
  }
  void EndLine() {
    if (open_line) std::fputc('\n', stderr);
    open_line = false;
  }
};

}  // namespace

int CommandEncode(int argc, char** argv) {
  EncodeOptions o;
  AudioTrackOptions sound_options;
  for (int i = 1; i < argc;) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kHelp, stdout);
      std::fputs(kAudioTracksHelp, stdout);
      return 0;
    }
    int used = ParseOption(&o, argc, argv, i);
    if (used == 0) used = AudioTracksParseOption(&sound_options, argc, argv, i);
    if (used < 0) return 2;  // the parser said what is wrong
    if (used > 0) {
      i += used;
      continue;
    }
    if (argv[i][0] == '-' && argv[i][1]) {
      std::fprintf(stderr, "vexa encode: unknown option %s\n\n%s", argv[i], kHelp);
      return 2;
    }
    if (o.input) {
      std::fprintf(stderr, "vexa encode: more than one input\n");
      return 2;
    }
    o.input = argv[i++];
  }
  if (!o.output || (!o.input && !o.test_width) || (o.input && o.test_width)) {
    std::fprintf(stderr, "vexa encode: give one input (a .y4m file or --testsrc WxH) and -o OUT.vxa\n\n%s", kHelp);
    return 2;
  }
  if (o.test_width && o.frames < 0) {
    std::fprintf(stderr, "vexa encode: --testsrc needs --frames N\n");
    return 2;
  }
  if (!o.test_width && o.rate_given) {
    std::fprintf(stderr, "vexa encode: --rate is for --testsrc; a YUV4MPEG2 input has its own rate\n");
    return 2;
  }
  // Every input, for the standard-input and overwrite checks.
  std::vector<const char*> inputs;
  if (o.input) inputs.push_back(o.input);
  if (o.alpha && !(o.test_width && !std::strcmp(o.alpha, "testsrc"))) inputs.push_back(o.alpha);
  for (const AudioTrackRequest& r : sound_options.tracks) inputs.push_back(r.wav.c_str());
  int from_stdin = 0;
  for (const char* in : inputs) {
    from_stdin += IsStdStream(in);
    if (SameFile(in, o.output)) {
      std::fprintf(stderr, "vexa encode: %s is an input; refusing to overwrite it\n", o.output);
      return 2;
    }
  }
  if (from_stdin > 1) {
    std::fprintf(stderr, "vexa encode: only one input can come from standard input ('-')\n");
    return 2;
  }

  PictureSource src;
  if (o.input) {
    src.file = Y4mOpenRead(o.input);
    if (!src.file) {
      std::fprintf(stderr, "vexa encode: %s\n", Y4mError());
      return 1;
    }
    src.width = src.file->info.width;
    src.height = src.file->info.height;
    o.rate_num = src.file->info.rate_num;
    o.rate_den = src.file->info.rate_den;
  } else {
    src.width = o.test_width;
    src.height = o.test_height;
  }
  const bool with_alpha = o.alpha != nullptr;
  if (o.alpha && !(o.test_width && !std::strcmp(o.alpha, "testsrc"))) {
    src.alpha = Y4mOpenRead(o.alpha);
    if (!src.alpha || src.alpha->info.width != src.width || src.alpha->info.height != src.height) {
      std::fprintf(stderr, "vexa encode: %s\n", src.alpha ? "the alpha input's size differs from the video's" : Y4mError());
      Y4mClose(src.file);
      Y4mClose(src.alpha);
      return 1;
    }
  }
  const size_t luma = size_t(src.width) * src.height;
  const size_t chroma = size_t((src.width + 1) / 2) * ((src.height + 1) / 2);
  src.y.resize(luma);
  src.u.resize(chroma);
  src.v.resize(chroma);
  src.scratch_u.resize(chroma);
  src.scratch_v.resize(chroma);
  if (with_alpha) src.a.resize(luma);

  VideoEncoderSettings vs{};
  vs.width = src.width;
  vs.height = src.height;
  vs.grayscale = o.grayscale;
  vs.alpha = with_alpha;
  vs.quality = o.quality;
  vs.keyint = uint32_t(o.keyint);
  vs.speed = o.speed;
  vs.threads = uint32_t(o.threads);
  vs.kinds = kAllKinds;
  VideoEncoder* enc = VideoEncoderCreate(&vs);
  ContainerSettings cs{};
  cs.revision = 'i';
  cs.width = src.width;
  cs.height = src.height;
  cs.rate_dividend = o.rate_num;
  cs.rate_divisor = o.rate_den;
  cs.video_flags = enc ? VideoEncoderFlags(enc) : 0;
  // Sound tracks: the WAV inputs, and the test sound with the test picture.
  AudioTracks sound;
  std::string error;
  const bool sound_ok = AudioTracksOpen(sound_options, o.test_width, o.test_height, o.rate_num, o.rate_den, &sound,
                                        &error);
  cs.track_count = uint32_t(sound.tracks.size());
  cs.tracks = sound.tracks.empty() ? nullptr : sound.tracks.data();
  ContainerWriter* writer = enc && sound_ok ? ContainerWriterCreate(&cs) : nullptr;
  int status = 0;
  if (!sound_ok) {
    std::fprintf(stderr, "vexa encode: %s\n", error.c_str());
    status = 1;
  } else if (!writer) {
    std::fprintf(stderr, "vexa encode: %s\n", enc ? MediaGetError() : "unusable picture size");
    status = 1;
  }
  // The output is opened before any frame is coded, so that a bad path
  // costs nothing.
  PendingOutput output;
  if (status == 0 && !PendingOutputOpen(o.output, &output, &error)) {
    std::fprintf(stderr, "vexa encode: %s\n", error.c_str());
    status = 1;
  }
  Progress progress;
  progress.quiet = o.quiet;
  progress.terminal = ProgressOnTerminal();
  std::vector<uint8_t> data;
  long count = 0;
  while (status == 0 && (o.frames < 0 || count < o.frames)) {
    VideoPicture pic;
    const int r = NextPicture(&src, with_alpha, &pic);
    if (r < 0) status = 1;
    if (r <= 0) break;
    bool key = false;
    if (!VideoEncodeFrame(enc, &pic, &data, &key)) {
      progress.EndLine();
      std::fprintf(stderr, "vexa encode: frame %ld could not be coded\n", count + 1);
      status = 1;
      break;
    }
    ContainerFrame frame{};
    frame.key = key;
    frame.video = data.data();
    frame.video_size = uint32_t(data.size());
    if (!AudioTracksAddFrame(&sound, frame, writer, &error)) {
      progress.EndLine();
      std::fprintf(stderr, "vexa encode: %s\n", error.c_str());
      status = 1;
      break;
    }
    ++count;
    progress.Frame(count, o.frames);
  }
  progress.EndLine();
  if (status == 0 && count == 0) {
    std::fprintf(stderr, "vexa encode: the input holds no frames\n");
    status = 1;
  }
  if (status == 0 && !AudioTracksFinish(&sound, writer, &error)) {
    std::fprintf(stderr, "vexa encode: %s\n", error.c_str());
    status = 1;
  }
  if (status == 0) {
    std::vector<uint8_t> bytes;
    const bool made = ContainerWriterFinishToMemory(writer, &bytes);
    writer = nullptr;
    if (!made) {
      std::fprintf(stderr, "vexa encode: %s\n", MediaGetError());
      status = 1;
    } else if (!PendingOutputCommit(&output, bytes, &error)) {
      std::fprintf(stderr, "vexa encode: %s\n", error.c_str());
      status = 1;
    }
  }
  if (status != 0) PendingOutputAbandon(&output);
  if (status == 0 && !o.quiet) {
    VideoEncoderStats st;
    VideoEncoderGetStats(enc, &st);
    double psnr = 99;
    if (st.sse[PLANE_Y]) psnr = 10 * std::log10(255.0 * 255.0 * double(st.samples[PLANE_Y]) / double(st.sse[PLANE_Y]));
    std::fprintf(stderr, "%s: %ld frames, %llu bytes of video (%.3f bits per pixel), luma PSNR %.2f dB, %.1f s\n",
                 IsStdStream(o.output) ? "standard output" : o.output, count, (unsigned long long)st.bytes,
                 8.0 * double(st.bytes) / (double(luma) * double(count)), psnr, progress.Seconds());
    static const char* const kNames[BLOCK_KIND_COUNT] = {"skip",  "scaled", "motion",    "runs",    "residue",
                                                         "intra", "fill",   "inter",     "pattern", "raw"};
    std::fprintf(stderr, "blocks by coding kind:");
    for (int k = 0; k < int(BLOCK_KIND_COUNT); ++k) std::fprintf(stderr, " %s %u", kNames[k], st.kind_count[k]);
    std::fprintf(stderr, "\n");
  }
  ContainerWriterDestroy(writer);
  AudioTracksClose(&sound);
  VideoEncoderDestroy(enc);
  Y4mClose(src.file);
  Y4mClose(src.alpha);
  return status;
}
