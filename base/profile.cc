// Profile strings in an INI file. Small and read rarely (start-up, the
// weekly reminder), so the file is simply read whole on every call.
#include "base/profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string g_directory_override;
bool g_has_override = false;
std::string g_path;

std::string ConfigDirectory() {
  if (g_has_override) return g_directory_override;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0] != 0) return std::string(home) + "/.config";
  return std::string();
}

std::string IniDirectory() {
  std::string base = ConfigDirectory();
  return base.empty() ? base : base + "/vexa";
}

std::string IniPath() {
  std::string dir = IniDirectory();
  return dir.empty() ? dir : dir + "/vexa.ini";
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
  size_t a = 0;
  size_t b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

bool SameName(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string line;
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') {
      lines->push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (!line.empty()) lines->push_back(line);
  std::fclose(f);
  return true;
}

// The section a line opens ("[name]"), or false when it opens none.
bool SectionOf(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t[0] != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

// The key and value of a "key=value" line; false for comments and others.
bool EntryOf(const std::string& line, std::string* key, std::string* value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq));
  std::string v = Trim(t.substr(eq + 1));
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  *value = v;
  return true;
}

uint32_t CopyOut(const char* value, char* out, uint32_t out_size) {
  if (!out || out_size == 0) return 0;
  size_t n = value ? std::strlen(value) : 0;
  if (n > out_size - 1) n = out_size - 1;
  if (n > 0) std::memcpy(out, value, n);
  out[n] = 0;
  return static_cast<uint32_t>(n);
}

bool MakeDirectory(const std::string& dir) {
  if (dir.empty()) return false;
  if (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return true;
  if (errno != ENOENT) return false;
  size_t slash = dir.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  if (!MakeDirectory(dir.substr(0, slash))) return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool HasLineBreak(const char* s) { return std::strchr(s, '\n') || std::strchr(s, '\r'); }

}  // namespace

void ProfileSetDirectory(const char* directory) {
  g_has_override = directory != nullptr;
  g_directory_override = directory ? directory : "";
}

const char* ProfileFilePath() {
  g_path = IniPath();
  return g_path.c_str();
}

uint32_t ProfileReadString(const char* section, const char* key, const char* fallback, char* out,
                           uint32_t out_size) {
  std::vector<std::string> lines;
  std::string path = IniPath();
  if (!section || !key || path.empty() || !ReadLines(path, &lines)) {
    return CopyOut(fallback, out, out_size);
  }
  bool in_section = false;
  std::string name;
  std::string k;
  std::string v;
  for (const std::string& line : lines) {
    if (SectionOf(line, &name)) {
      in_section = SameName(name, section);
    } else if (in_section && EntryOf(line, &k, &v) && SameName(k, key)) {
      return CopyOut(v.c_str(), out, out_size);
    }
  }
  return CopyOut(fallback, out, out_size);
}

bool ProfileWriteString(const char* section, const char* key, const char* value) {
  if (!section || !key || !value) return false;
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  std::string path = IniPath();
  if (path.empty() || !MakeDirectory(IniDirectory())) return false;

  std::vector<std::string> lines;
  ReadLines(path, &lines);  // a missing file starts empty
  const std::string entry = std::string(key) + "=" + value;

  bool in_section = false;
  long section_end = -1;  // the line after the section's last entry
  bool done = false;
  std::string name;
  std::string k;
  std::string v;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    if (SectionOf(lines[i], &name)) {
      if (in_section) break;  // our section ended without the key
      in_section = SameName(name, section);
      if (in_section) section_end = static_cast<long>(i) + 1;
    } else if (in_section) {
      if (EntryOf(lines[i], &k, &v) && SameName(k, key)) {
        lines[i] = entry;
        done = true;
      } else if (!Trim(lines[i]).empty()) {
        section_end = static_cast<long>(i) + 1;
      }
    }
  }
  if (!done) {
    if (section_end >= 0) {
      lines.insert(lines.begin() + section_end, entry);
    } else {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
      lines.push_back("[" + std::string(section) + "]");
      lines.push_back(entry);
    }
  }

  std::string temp = path + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = true;
  for (const std::string& line : lines) {
    if (std::fputs(line.c_str(), f) == EOF || std::fputc('\n', f) == EOF) ok = false;
  }
  if (std::fclose(f) != 0) ok = false;
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}
