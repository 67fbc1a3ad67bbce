// vexa pan: real-looking test video. Pans and zooms across photographs
// (the packaged wallpapers, or any PNG or JPEG) and writes YUV4MPEG2, with
// cuts to the next picture where asked.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/commands.h"
#include "tools/pan_clip.h"
#include "tools/picture_file.h"
#include "tools/tool_files.h"
#include "tools/y4m.h"

namespace {

const char kHelp[] =
    "usage: vexa pan -o OUT.y4m [options]\n"
    "\n"
    "Makes a 4:2:0 YUV4MPEG2 clip by moving a camera across photographs: a pan\n"
    "that bounces off the picture's edges and an optional steady zoom. Pictures\n"
    "are the wallpapers in /usr/share/backgrounds by name ('vexa pan --list'),\n"
    "or any PNG or JPEG file by path. -o - writes to standard output.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   the Y4M file to write (required)\n"
    "  --size WxH          picture size (default 1280x720)\n"
    "  --frames N          number of frames (default 60)\n"
    "  --rate R            frames per second: N or N/D (default 25)\n"
    "  --picture P[,P...]  the picture(s) (default aitzgorri); after each cut the\n"
    "                      next one in the list, from the first again after the last\n"
    "  --pan DX[,DY]       camera speed in output pixels per frame (default 4,1)\n"
    "  --zoom Z            scale at the last frame against the first (default 1;\n"
    "                      2 moves twice as close, 0.5 twice as far)\n"
    "  --cut F[,F...]      frames (counted from 1) that start the next picture\n"
    "  --list              print the packaged picture names and stop\n"
    "Exit codes: 0 written, 1 a picture or the output failed, 2 bad usage.\n";

std::vector<std::string> SplitList(const char* s, char sep = ',') {
  std::vector<std::string> parts;
  std::string cur;
  for (const char* p = s;; ++p) {
    if (*p == sep || !*p) {
      parts.push_back(cur);
      cur.clear();
      if (!*p) break;
    } else {
      cur += *p;
    }
  }
  return parts;
}

bool ParseNumber(const std::string& s, double lo, double hi, double* out) {
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end || !(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

int Usage(const char* text, const char* value) {
  std::fprintf(stderr, "vexa pan: %s%s%s\n", text, value ? " " : "", value ? value : "");
  return 2;
}

}  // namespace

int CommandPan(int argc, char** argv) {
  PanSettings s;
  const char* output = nullptr;
  std::vector<std::string> pictures = {"aitzgorri"};
  std::vector<uint32_t> cuts;
  uint32_t rate_num = 25, rate_den = 1;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (!std::strcmp(a, "--list")) {
      for (const std::string& n : ListPictures()) std::printf("%s\n", n.c_str());
      return 0;
    }
    if (i + 1 >= argc) return Usage(std::strncmp(a, "-", 1) ? "unexpected argument" : "a value is missing after", a);
    const char* v = argv[++i];
    double x = 0, y = 0;
    if (!std::strcmp(a, "-o") || !std::strcmp(a, "--output")) {
      output = v;
    } else if (!std::strcmp(a, "--size")) {
      unsigned w = 0, h = 0;
      char extra = 0;
      if (std::sscanf(v, "%ux%u%c", &w, &h, &extra) != 2 || w < 2 || h < 2 || w > 8192 || h > 8192)
        return Usage("--size takes WxH, each 2 to 8192, not", v);
      s.width = w, s.height = h;
    } else if (!std::strcmp(a, "--frames")) {
      if (!ParseNumber(v, 1, 1000000, &x) || x != double(uint32_t(x))) return Usage("--frames takes 1 to 1000000, not", v);
      s.frames = uint32_t(x);
    } else if (!std::strcmp(a, "--rate")) {
      const std::vector<std::string> p = SplitList(v, '/');
      if (p.size() > 2 || !ParseNumber(p[0], 1, 1000000, &x) || (p.size() == 2 && !ParseNumber(p[1], 1, 1000000, &y)))
        return Usage("--rate takes N or N/D, not", v);
      rate_num = uint32_t(x), rate_den = p.size() == 2 ? uint32_t(y) : 1;
    } else if (!std::strcmp(a, "--picture")) {
      pictures = SplitList(v);
    } else if (!std::strcmp(a, "--pan")) {
      const std::vector<std::string> p = SplitList(v);
      if (p.size() > 2 || !ParseNumber(p[0], -1000, 1000, &x) || (p.size() == 2 && !ParseNumber(p[1], -1000, 1000, &y)))
        return Usage("--pan takes DX or DX,DY (-1000 to 1000), not", v);
      s.pan_x = x, s.pan_y = p.size() == 2 ? y : 0;
    } else if (!std::strcmp(a, "--zoom")) {
      if (!ParseNumber(v, 0.05, 20, &x)) return Usage("--zoom takes 0.05 to 20, not", v);
      s.zoom = x;
    } else if (!std::strcmp(a, "--cut")) {
      for (const std::string& p : SplitList(v)) {
        if (!ParseNumber(p, 2, 1000000, &x) || x != double(uint32_t(x)))
          return Usage("--cut takes frame numbers from 2, not", v);
        cuts.push_back(uint32_t(x) - 1);
      }
    } else {
      return Usage("unknown option", a);
    }
  }
  if (!output) return Usage("give -o OUT.y4m (see vexa pan --help)", nullptr);
  std::vector<std::string> paths;
  for (const std::string& p : pictures) {
    const std::string path = FindPicture(p.c_str());
    if (path.empty()) {
      std::fprintf(stderr, "vexa pan: no picture '%s' (a file, or one of 'vexa pan --list' in %s)\n", p.c_str(),
                   kPictureFolder);
      return 1;
    }
    paths.push_back(path);
  }
  // Segments between cuts, in frame order.
  std::vector<uint32_t> starts = {0};
  std::sort(cuts.begin(), cuts.end());
  for (uint32_t c : cuts)
    if (c < s.frames && c != starts.back()) starts.push_back(c);
  starts.push_back(s.frames);

  const Y4mInfo info = {s.width, s.height, rate_num, rate_den, false};
  Y4mFile* out = Y4mOpenWrite(output, &info);
  if (!out) {
    std::fprintf(stderr, "vexa pan: %s\n", Y4mError());
    return 1;
  }
  const uint32_t cw = (s.width + 1) / 2, ch = (s.height + 1) / 2;
  std::vector<uint8_t> y(size_t(s.width) * s.height), u(size_t(cw) * ch), v(size_t(cw) * ch);
  for (size_t seg = 0; seg + 1 < starts.size(); ++seg) {
    const std::string& path = paths[seg % paths.size()];
    RgbPicture picture;
    std::string error;
    if (!LoadPicture(path.c_str(), &picture, &error)) {
      std::fprintf(stderr, "vexa pan: %s\n", error.c_str());
      Y4mClose(out);
      return 1;
    }
    const std::vector<PanView> views = PanViews(s, picture.width, picture.height, starts[seg], starts[seg + 1] - starts[seg]);
    YuvImage image;
    PanPrepare(picture, PanFactor(views), &image);
    picture = RgbPicture();
    for (const PanView& view : views) {
      PanRender(image, view, s.width, s.height, y.data(), int(s.width), u.data(), v.data(), int(cw));
      if (!Y4mWriteFrame(out, y.data(), int(s.width), u.data(), v.data(), int(cw))) {
        std::fprintf(stderr, "vexa pan: %s\n", Y4mError());
        Y4mClose(out);
        return 1;
      }
    }
  }
  if (!Y4mClose(out)) {
    std::fprintf(stderr, "vexa pan: %s\n", Y4mError());
    return 1;
  }
  return 0;
}
