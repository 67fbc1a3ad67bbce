#include "tools/tool_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

const char kVexaVersion[] = "0.9.0";

std::string SystemReason(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

bool IsStdStream(const char* path) { return path && path[0] == '-' && path[1] == 0; }

std::string ReadProblem(const char* path) {
  if (IsStdStream(path)) return "";
  struct stat st;
  if (::stat(path, &st) != 0) return SystemReason(errno);
  if (S_ISDIR(st.st_mode)) return SystemReason(EISDIR);
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) return SystemReason(errno);
  ::close(fd);
  return "";
}

void ReportInputFailure(const char* command, const char* path, const char* text) {
  const std::string reason = ReadProblem(path);
  if (reason.empty()) std::fprintf(stderr, "vexa %s: %s: %s\n", command, path, text);
  else std::fprintf(stderr, "vexa %s: %s: %s (%s)\n", command, path, text, reason.c_str());
}

bool ReadWholeInput(const char* path, std::vector<uint8_t>* bytes, std::string* error) {
  const bool std_in = IsStdStream(path);
  std::FILE* f = std_in ? stdin : std::fopen(path, "rb");
  const std::string reason = std_in ? "" : ReadProblem(path);
  if (!f || !reason.empty()) {
    if (f) std::fclose(f);
    *error = std::string("cannot read ") + path + ": " + (reason.empty() ? SystemReason(errno) : reason);
    return false;
  }
  bytes->clear();
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  const bool ok = !std::ferror(f);
  if (!ok) *error = std::string("cannot read ") + (std_in ? "standard input" : path) + ": " + SystemReason(errno);
  if (!std_in) std::fclose(f);
  return ok;
}

std::FILE* OpenOutput(const char* path, std::string* error) {
  if (IsStdStream(path)) return stdout;
  std::FILE* f = std::fopen(path, "wb");
  if (!f) *error = std::string("cannot write ") + path + ": " + SystemReason(errno);
  return f;
}

bool CloseOutput(std::FILE* f) {
  if (!f) return true;
  if (f == stdout) return std::fflush(f) == 0 && !std::ferror(f);
  const bool ok = !std::ferror(f);
  return std::fclose(f) == 0 && ok;
}

std::string WriteProblem(const char* path) {
  const int e = errno;
  return std::string("error writing ") + (IsStdStream(path) ? "standard output" : path) +
         (e ? ": " + SystemReason(e) : std::string());
}

bool PendingOutputOpen(const char* path, PendingOutput* out, std::string* error) {
  out->path = path;
  out->created = false;
  if (IsStdStream(path)) {
    out->f = stdout;
    return true;
  }
  struct stat st;
  const bool existed = ::stat(path, &st) == 0;
  const int fd = ::open(path, O_WRONLY | O_CREAT, 0666);
  if (fd < 0) {
    *error = std::string("cannot write ") + path + ": " + SystemReason(errno);
    return false;
  }
  out->created = !existed;
  out->f = ::fdopen(fd, "wb");
  if (!out->f) {
    *error = std::string("cannot write ") + path + ": " + SystemReason(errno);
    ::close(fd);
    PendingOutputAbandon(out);
    return false;
  }
  return true;
}

bool PendingOutputCommit(PendingOutput* out, const std::vector<uint8_t>& bytes, std::string* error) {
  errno = 0;
  bool ok = out->f == stdout || ::ftruncate(::fileno(out->f), 0) == 0;
  ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), out->f) == bytes.size();
  ok = CloseOutput(out->f) && ok;
  out->f = nullptr;
  if (!ok) *error = WriteProblem(out->path);
  return ok;
}

void PendingOutputAbandon(PendingOutput* out) {
  if (out->f && out->f != stdout) std::fclose(out->f);
  out->f = nullptr;
  if (out->created) ::unlink(out->path);
  out->created = false;
}

bool SameFile(const char* a, const char* b) {
  if (!a || !b || IsStdStream(a) || IsStdStream(b)) return false;
  struct stat sa, sb;
  return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ProgressOnTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::string JsonString(const char* text) {
  std::string out = "\"";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    switch (*p) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (*p < 0x20 || *p == 0x7f) {
          char u[8];
          std::snprintf(u, sizeof u, "\\u%04x", *p);
          out += u;
        } else {
          out += char(*p);
        }
    }
  }
  return out + "\"";
}
