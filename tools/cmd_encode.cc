// vexa encode: YUV4MPEG2 (or the built-in test source) to a Vexa file.
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encode/speed_presets.h"
#include "encode/test_source.h"
#include "encode/controlled_encoder.h"
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
    "  --bitrate KBPS      aim at this many kbit/s of video over the clip instead\n"
    "  --size MB           aim at a file of this many megabytes (10^6 bytes)\n"
    "  --2pass             code the clip twice for --bitrate or --size: the\n"
    "                      first pass measures, the second spreads the bits\n"
    "  --keyint N          at most N frames from one key frame to the next\n"
    "                      (default 120; 1: all key; 0: only the first and\n"
    "                      scene changes)\n"
    "  --no-scenecut       no extra key frames where the scene changes\n"
    "  --grayscale         code luma only\n"
    "  --alpha FILE.y4m    code an alpha plane from this file's luma (same size);\n"
    "                      with --testsrc, '--alpha testsrc' uses a built-in one\n"
    "  --frames N          stop after N frames (required with --testsrc)\n"
    "  --testsrc WxH       use the built-in test source of this size\n"
    "  --rate R            test source frame rate: N or N/D (default 30)\n"
    "  --psnr              add the picture's PSNR per plane to the summary line\n"
    "  --quiet             no progress or summary lines (progress shows only on\n"
    "                      a terminal)\n"
    "Exit codes: 0 written, 1 an input or the output failed, 2 bad usage.\n";

struct EncodeOptions {
  const char* input = nullptr;
  const char* output = nullptr;
  const char* alpha = nullptr;
  int quality = 75;
  int speed = kDefaultSpeed;
  long threads = 0;
  bool quality_given = false;
  double bitrate_kbps = 0;  // 0: no bit rate target
  double size_mb = 0;       // 0: no file size target
  bool two_pass = false;
  bool scene_keys = true;
  bool psnr = false;
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
  if (!std::strcmp(a, "--2pass")) return o->two_pass = true, 1;
  if (!std::strcmp(a, "--no-scenecut")) return o->scene_keys = false, 1;
  if (!std::strcmp(a, "--psnr")) return o->psnr = true, 1;
  if (!std::strcmp(a, "--bitrate") || !std::strcmp(a, "--size")) {
    if (!Need()) return -1;
    char* end = nullptr;
    const double x = std::strtod(v, &end);
    if (!*v || *end || !(x >= 0.001 && x <= 1e6)) return Bad("a number from 0.001 to 1000000");
    (a[2] == 'b' ? o->bitrate_kbps : o->size_mb) = x;
    return 2;
  }
  if (!std::strcmp(a, "-o") || !std::strcmp(a, "--output")) return Need() ? (o->output = v, 2) : -1;
  if (!std::strcmp(a, "--alpha")) return Need() ? (o->alpha = v, 2) : -1;
  if (!std::strcmp(a, "--quality")) {
    if (!Need()) return -1;
    if (!ParseLong(v, 0, 100, &n)) return Bad("0 to 100");
    o->quality = int(n);
    o->quality_given = true;
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

// Progress on a terminal: one line rewritten a few times a second with the
// frames done, the speed, the bit rate so far and the time left. Nothing
// when standard error is not a terminal. Anything else printed ends the
// line first.
struct Progress {
  bool show = false;
  bool open_line = false;
  const char* pass = "";  // "pass 1: " while measuring
  double frame_seconds = 0;  // playing time of one frame
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double last_shown = -1;

  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  void Frame(long count, long total, uint64_t bytes) {
    if (!show) return;
    const double secs = Seconds();
    if (last_shown >= 0 && secs - last_shown < 0.25 && count != total) return;
    last_shown = secs;
    const double fps = secs > 0 ? count / secs : 0;
    std::fprintf(stderr, "\r%sframe %ld", pass, count);
    if (total > 0) std::fprintf(stderr, "/%ld", total);
    std::fprintf(stderr, "  %.1f fps  %.1f kbit/s", fps, 8.0 * double(bytes) / (count * frame_seconds) / 1000);
    if (total > 0 && fps > 0) {
      const long left = long((total - count) / fps + 0.5);
      std::fprintf(stderr, "  eta %ld:%02ld:%02ld", left / 3600, left / 60 % 60, left % 60);
    }
    std::fprintf(stderr, "\x1b[K");
    std::fflush(stderr);
    open_line = true;
  }
  void EndLine() {
    if (open_line) std::fputc('\n', stderr);
    open_line = false;
  }
};

// Reads and codes the next picture into data: 1 coded (key says whether it
// is a key frame), 0 the input ended, -1 a failure (reported). number is
// the frame's, counted from 1.
int CodeNextFrame(PictureSource* src, bool with_alpha, ControlledEncoder* coder, long number, Progress* progress,
                  std::vector<uint8_t>* data, bool* key) {
  VideoPicture pic;
  const int r = NextPicture(src, with_alpha, &pic);
  if (r <= 0) return r;
  *key = false;
  if (!ControlledEncodeFrame(coder, &pic, data, key)) {
    progress->EndLine();
    std::fprintf(stderr, "vexa encode: frame %ld could not be coded\n", number);
    return -1;
  }
  return 1;
}

// Frames left in a YUV4MPEG2 file from where reading stands (after the
// header): its size over the size of a frame. 0 when it cannot be told (a pipe).
long FramesInFile(Y4mFile* f) {
  struct stat st;
  const long at = std::ftell(f->f);
  if (at < 0 || ::fstat(::fileno(f->f), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  const uint64_t luma = uint64_t(f->info.width) * f->info.height;
  const uint64_t frame = 6 + luma + (f->info.mono ? 0 : 2 * uint64_t(Y4mChromaWidth(&f->info)) * Y4mChromaHeight(&f->info));
  return long((uint64_t(st.st_size) - uint64_t(at)) / frame);
}

double Psnr(uint64_t sse, uint64_t samples) {
  return sse ? 10 * std::log10(255.0 * 255.0 * double(samples) / double(sse)) : 99.0;
}

// The bytes of a file of `frames` frames apart from the picture data: the
// header, the index, the sound and the length fields, found by coding the
// sound alone into a file with empty pictures (the padding of odd packets
// is guessed at half a byte a frame).
bool MeasureOtherBytes(const AudioTrackOptions& options, uint32_t test_width, uint32_t test_height,
                       const ContainerSettings& settings, uint32_t frames, double* bytes, std::string* error) {
  AudioTracks sound;
  bool ok = AudioTracksOpen(options, test_width, test_height, settings.rate_dividend, settings.rate_divisor, &sound,
                            error);
  ContainerSettings cs = settings;
  cs.track_count = uint32_t(sound.tracks.size());
  cs.tracks = sound.tracks.empty() ? nullptr : sound.tracks.data();
  ContainerWriter* writer = ok ? ContainerWriterCreate(&cs) : nullptr;
  ok = ok && writer;
  for (uint32_t f = 0; ok && f < frames; ++f) {
    ContainerFrame frame{};
    frame.key = f == 0;
    ok = AudioTracksAddFrame(&sound, frame, writer, error);
  }
  ok = ok && AudioTracksFinish(&sound, writer, error);
  std::vector<uint8_t> file;
  if (writer) ok = ContainerWriterFinishToMemory(writer, &file) && ok;
  AudioTracksClose(&sound);
  *bytes = double(file.size()) + 0.5 * frames;
  return ok;
}

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

  const bool rated = o.bitrate_kbps > 0 || o.size_mb > 0;
  if (o.bitrate_kbps > 0 && o.size_mb > 0) {
    std::fprintf(stderr, "vexa encode: give --bitrate or --size, not both\n");
    return 2;
  }
  if (rated && o.quality_given) {
    std::fprintf(stderr, "vexa encode: --quality does nothing with --bitrate or --size\n");
    return 2;
  }
  if (o.two_pass && !rated) {
    std::fprintf(stderr, "vexa encode: --2pass needs --bitrate or --size\n");
    return 2;
  }
  if (o.size_mb > 0 && from_stdin && !(o.input && IsStdStream(o.input))) {
    std::fprintf(stderr, "vexa encode: --size reads the sound twice, so it cannot come from standard input\n");
    return 2;
  }
  if (o.two_pass && from_stdin) {
    std::fprintf(stderr, "vexa encode: --2pass reads its inputs twice, so none can be standard input\n");
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
  // A byte target is spread over the frames, so their number must be known.
  long clip_frames = o.frames;
  if (src.file) {
    const long in_file = FramesInFile(src.file);
    if (in_file > 0 && (clip_frames < 0 || in_file < clip_frames)) clip_frames = in_file;
  }
  if (rated && clip_frames <= 0) {
    std::fprintf(stderr, "vexa encode: --bitrate and --size need to know the number of frames: give --frames N\n");
    Y4mClose(src.file);
    return 2;
  }
  const bool with_alpha = o.alpha != nullptr;
  auto OpenAlpha = [&]() {
    if (!o.alpha || (o.test_width && !std::strcmp(o.alpha, "testsrc"))) return true;
    src.alpha = Y4mOpenRead(o.alpha);
    if (!src.alpha || src.alpha->info.width != src.width || src.alpha->info.height != src.height) {
      std::fprintf(stderr, "vexa encode: %s\n", src.alpha ? "the alpha input's size differs from the video's" : Y4mError());
      return false;
    }
    return true;
  };
  if (!OpenAlpha()) {
    Y4mClose(src.file);
    Y4mClose(src.alpha);
    return 1;
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
  const double frame_seconds = double(o.rate_den) / double(o.rate_num);
  // The byte targets: video bytes for the clip, and for --size the whole
  // file (header, index, sound and padding are taken off as they come).
  RateControlSettings rs;
  rs.frames = uint32_t(clip_frames > 0 ? clip_frames : 0);
  rs.pixels = uint32_t(luma);
  rs.keyint = vs.keyint;
  if (o.bitrate_kbps > 0) rs.target_bytes = o.bitrate_kbps * 1000 / 8 * frame_seconds * rs.frames;
  // The file's settings; the video flags follow once the encoder is made.
  ContainerSettings cs{};
  cs.revision = 'i';
  cs.width = src.width;
  cs.height = src.height;
  cs.rate_dividend = o.rate_num;
  cs.rate_divisor = o.rate_den;
  if (o.size_mb > 0) {
    double others = 0;
    std::string why;
    if (!MeasureOtherBytes(sound_options, o.test_width, o.test_height, cs, rs.frames, &others, &why)) {
      std::fprintf(stderr, "vexa encode: %s\n", why.empty() ? MediaGetError() : why.c_str());
      Y4mClose(src.file);
      Y4mClose(src.alpha);
      return 1;
    }
    rs.target_bytes = o.size_mb * 1e6 - others;
    if (rs.target_bytes < 1) {
      std::fprintf(stderr, "vexa encode: the sound alone takes %.0f bytes, more than --size allows\n", others);
      Y4mClose(src.file);
      Y4mClose(src.alpha);
      return 2;
    }
  }

  ControlledEncoder coder;
  // Pass 1 of two: the same coding with a one-pass estimate, for its record.
  std::vector<RateFrameRecord> first_pass;
  int status = 0;
  std::vector<uint8_t> data;
  Progress progress;
  progress.show = !o.quiet && ProgressOnTerminal();
  progress.frame_seconds = frame_seconds;
  if (o.two_pass) {
    if (!ControlledEncoderInit(&coder, &vs, &rs, o.scene_keys)) {
      std::fprintf(stderr, "vexa encode: unusable picture size\n");
      status = 1;
    }
    progress.pass = "pass 1: ";
    long count = 0;
    uint64_t bytes = 0;
    while (status == 0 && count < clip_frames) {
      bool key = false;
      const int r = CodeNextFrame(&src, with_alpha, &coder, count + 1, &progress, &data, &key);
      if (r < 0) status = 1;
      if (r <= 0) break;
      bytes += data.size();
      progress.Frame(++count, clip_frames, bytes);
    }
    progress.EndLine();
    first_pass = coder.records;
    ControlledEncoderFree(&coder);
    // Back to the start for the pass that writes.
    Y4mClose(src.file);
    Y4mClose(src.alpha);
    src.file = src.alpha = nullptr;
    src.frame = 0;
    if (status == 0 && o.input && !(src.file = Y4mOpenRead(o.input))) {
      std::fprintf(stderr, "vexa encode: %s\n", Y4mError());
      status = 1;
    }
    if (status == 0 && !OpenAlpha()) status = 1;
    if (status != 0) {
      Y4mClose(src.file);
      Y4mClose(src.alpha);
      return status;
    }
    rs.first_pass = &first_pass;
    progress = Progress{progress.show, false, "", frame_seconds};
  }
  const bool made = ControlledEncoderInit(&coder, &vs, rated ? &rs : nullptr, o.scene_keys);
  VideoEncoder* enc = coder.encoder;
  cs.video_flags = made ? VideoEncoderFlags(enc) : 0;
  // Sound tracks: the WAV inputs, and the test sound with the test picture.
  AudioTracks sound;
  std::string error;
  const bool sound_ok = AudioTracksOpen(sound_options, o.test_width, o.test_height, o.rate_num, o.rate_den, &sound,
                                        &error);
  cs.track_count = uint32_t(sound.tracks.size());
  cs.tracks = sound.tracks.empty() ? nullptr : sound.tracks.data();
  ContainerWriter* writer = made && sound_ok ? ContainerWriterCreate(&cs) : nullptr;
  if (!sound_ok) {
    std::fprintf(stderr, "vexa encode: %s\n", error.c_str());
    status = 1;
  } else if (!writer) {
    std::fprintf(stderr, "vexa encode: %s\n", made ? MediaGetError() : "unusable picture size");
    status = 1;
  }
  // The output is opened before any frame is coded, so that a bad path
  // costs nothing.
  PendingOutput output;
  if (status == 0 && !PendingOutputOpen(o.output, &output, &error)) {
    std::fprintf(stderr, "vexa encode: %s\n", error.c_str());
    status = 1;
  }
  long count = 0;
  uint64_t video_bytes = 0;
  while (status == 0 && (o.frames < 0 || count < o.frames)) {
    bool key = false;
    const int r = CodeNextFrame(&src, with_alpha, &coder, count + 1, &progress, &data, &key);
    if (r < 0) status = 1;
    if (r <= 0) break;
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
    video_bytes += data.size();
    ++count;
    progress.Frame(count, clip_frames > 0 ? clip_frames : o.frames, video_bytes + sound.other_bytes);
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
  uint64_t written = 0;
  if (status == 0) {
    std::vector<uint8_t> bytes;
    const bool finished = ContainerWriterFinishToMemory(writer, &bytes);
    writer = nullptr;
    written = bytes.size();
    if (!finished) {
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
    const double seconds = double(count) * frame_seconds;
    std::fprintf(stderr, "%s: %ld frames, %llu bytes, %.1f kbit/s (video %llu bytes, %.1f kbit/s, %.3f bits per pixel)",
                 IsStdStream(o.output) ? "standard output" : o.output, count, (unsigned long long)written,
                 8.0 * double(written) / seconds / 1000, (unsigned long long)st.bytes,
                 8.0 * double(st.bytes) / seconds / 1000, 8.0 * double(st.bytes) / (double(luma) * double(count)));
    if (o.psnr) {
      std::fprintf(stderr, ", PSNR Y %.2f", Psnr(st.sse[PLANE_Y], st.samples[PLANE_Y]));
      if (!o.grayscale)
        std::fprintf(stderr, " U %.2f V %.2f", Psnr(st.sse[PLANE_CHROMA2], st.samples[PLANE_CHROMA2]),
                     Psnr(st.sse[PLANE_CHROMA1], st.samples[PLANE_CHROMA1]));
      const uint64_t sse = st.sse[PLANE_Y] + st.sse[PLANE_CHROMA1] + st.sse[PLANE_CHROMA2];
      const uint64_t samples = st.samples[PLANE_Y] + st.samples[PLANE_CHROMA1] + st.samples[PLANE_CHROMA2];
      std::fprintf(stderr, " all %.2f dB", Psnr(sse, samples));
    }
    std::fprintf(stderr, ", %.1f s\n", progress.Seconds());
    static const char* const kNames[BLOCK_KIND_COUNT] = {"skip",  "scaled", "motion",    "runs",    "residue",
                                                         "intra", "fill",   "inter",     "pattern", "raw"};
    std::fprintf(stderr, "blocks by coding kind:");
    for (int k = 0; k < int(BLOCK_KIND_COUNT); ++k) std::fprintf(stderr, " %s %u", kNames[k], st.kind_count[k]);
    std::fprintf(stderr, "\n");
  }
  ContainerWriterDestroy(writer);
  AudioTracksClose(&sound);
  ControlledEncoderFree(&coder);
  Y4mClose(src.file);
  Y4mClose(src.alpha);
  return status;
}
