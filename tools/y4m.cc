#include "tools/y4m.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/tool_files.h"

namespace {

thread_local std::string g_error;

void Fail(const std::string& text) { g_error = text; }

// Reads one text line (without the newline); false at end of file or when
// the line is unreasonably long.
bool ReadLine(FILE* f, std::string* line) {
  line->clear();
  for (;;) {
    const int c = std::fgetc(f);
    if (c == EOF) return false;
    if (c == '\n') return true;
    if (line->size() > 4096) return false;
    line->push_back(char(c));
  }
}

bool ReadPlane(FILE* f, uint8_t* p, int pitch, uint32_t w, uint32_t h) {
  for (uint32_t y = 0; y < h; ++y)
    if (std::fread(p + size_t(y) * pitch, 1, w, f) != w) return false;
  return true;
}

bool WritePlane(FILE* f, const uint8_t* p, int pitch, uint32_t w, uint32_t h) {
  for (uint32_t y = 0; y < h; ++y)
    if (std::fwrite(p + size_t(y) * pitch, 1, w, f) != w) return false;
  return true;
}

}  // namespace

const char* Y4mError() { return g_error.c_str(); }

Y4mFile* Y4mOpenRead(const char* path) {
  const std::string problem = ReadProblem(path);
  FILE* f = !problem.empty() ? nullptr : IsStdStream(path) ? stdin : std::fopen(path, "rb");
  if (!f) {
    Fail(std::string("cannot read ") + path + ": " + (problem.empty() ? SystemReason(errno) : problem));
    return nullptr;
  }
  std::string line;
  if (!ReadLine(f, &line) || line.compare(0, 10, "YUV4MPEG2 ") != 0) {
    Fail(std::string(path) + " is not a YUV4MPEG2 file");
    if (f != stdin) std::fclose(f);
    return nullptr;
  }
  Y4mInfo info{0, 0, 25, 1, false};
  size_t pos = 10;
  while (pos < line.size()) {
    size_t end = line.find(' ', pos);
    if (end == std::string::npos) end = line.size();
    const std::string tok = line.substr(pos, end - pos);
    pos = end + 1;
    if (tok.empty()) continue;
    const char* v = tok.c_str() + 1;
    switch (tok[0]) {
      case 'W': info.width = uint32_t(std::strtoul(v, nullptr, 10)); break;
      case 'H': info.height = uint32_t(std::strtoul(v, nullptr, 10)); break;
      case 'F': {
        char* colon = nullptr;
        const unsigned long n = std::strtoul(v, &colon, 10);
        const unsigned long d = (colon && *colon == ':') ? std::strtoul(colon + 1, nullptr, 10) : 1;
        if (n && d && n <= 0xFFFFFFFFul && d <= 0xFFFFFFFFul) info.rate_num = uint32_t(n), info.rate_den = uint32_t(d);
        break;
      }
      case 'C':
        // 8-bit layouts only: "420p10", "mono16" and the like are refused.
        if (!std::strcmp(v, "mono")) {
          info.mono = true;
        } else if (std::strcmp(v, "420") && std::strcmp(v, "420jpeg") && std::strcmp(v, "420paldv") &&
                   std::strcmp(v, "420mpeg2")) {
          Fail(std::string("unsupported colour layout C") + v + " (only 4:2:0 and mono)");
          if (f != stdin) std::fclose(f);
          return nullptr;
        }
        break;
      case 'I':
        if (*v != 'p' && *v != '?') {
          Fail("interlaced YUV4MPEG2 input is not supported");
          if (f != stdin) std::fclose(f);
          return nullptr;
        }
        break;
      default: break;  // aspect, extensions
    }
  }
  if (info.width == 0 || info.height == 0 || info.width > 16384 || info.height > 16384) {
    Fail("YUV4MPEG2 header has no usable picture size");
    if (f != stdin) std::fclose(f);
    return nullptr;
  }
  Y4mFile* y = new Y4mFile{f, info, false};
  return y;
}

int Y4mReadFrame(Y4mFile* f, uint8_t* y, int y_pitch, uint8_t* u, uint8_t* v, int c_pitch) {
  std::string line;
  if (!ReadLine(f->f, &line)) {
    if (line.empty() && std::feof(f->f)) return 0;
    Fail("truncated YUV4MPEG2 frame header");
    return -1;
  }
  if (line.compare(0, 5, "FRAME") != 0) {
    Fail("malformed YUV4MPEG2 frame header");
    return -1;
  }
  const Y4mInfo& i = f->info;
  const uint32_t cw = Y4mChromaWidth(&i), ch = Y4mChromaHeight(&i);
  if (!ReadPlane(f->f, y, y_pitch, i.width, i.height)) {
    Fail("truncated YUV4MPEG2 frame");
    return -1;
  }
  if (i.mono) {
    for (uint32_t r = 0; r < ch; ++r) {
      std::memset(u + size_t(r) * c_pitch, 128, cw);
      std::memset(v + size_t(r) * c_pitch, 128, cw);
    }
    return 1;
  }
  if (!ReadPlane(f->f, u, c_pitch, cw, ch) || !ReadPlane(f->f, v, c_pitch, cw, ch)) {
    Fail("truncated YUV4MPEG2 frame");
    return -1;
  }
  return 1;
}

Y4mFile* Y4mOpenWrite(const char* path, const Y4mInfo* info) {
  std::string error;
  FILE* f = OpenOutput(path, &error);
  if (!f) {
    Fail(error);
    return nullptr;
  }
  std::fprintf(f, "YUV4MPEG2 W%u H%u F%u:%u Ip A1:1 %s\n", info->width, info->height, info->rate_num,
               info->rate_den, info->mono ? "Cmono" : "C420jpeg");
  return new Y4mFile{f, *info, true};
}

bool Y4mWriteFrame(Y4mFile* f, const uint8_t* y, int y_pitch, const uint8_t* u, const uint8_t* v,
                   int c_pitch) {
  const Y4mInfo& i = f->info;
  std::fputs("FRAME\n", f->f);
  bool ok = WritePlane(f->f, y, y_pitch, i.width, i.height);
  if (!i.mono) {
    ok = ok && WritePlane(f->f, u, c_pitch, Y4mChromaWidth(&i), Y4mChromaHeight(&i));
    ok = ok && WritePlane(f->f, v, c_pitch, Y4mChromaWidth(&i), Y4mChromaHeight(&i));
  }
  if (!ok) Fail("write error");
  return ok;
}

bool Y4mClose(Y4mFile* f) {
  if (!f) return true;
  bool ok = true;
  if (f->writing) ok = CloseOutput(f->f);
  else if (f->f != stdin) std::fclose(f->f);
  if (!ok) Fail("write error");
  delete f;
  return ok;
}
