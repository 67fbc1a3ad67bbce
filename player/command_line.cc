// Sorting the command line's arguments into switches and names.
#include "player/command_line.h"

#include <cstring>

namespace {

const char kSwitchLetters[] = "LFTMEUIZSQJRCNGPKAXYWHDB!#-";

bool Append(char* out, const char* piece, bool quote) {
  size_t used = std::strlen(out);
  size_t need = std::strlen(piece) + (quote ? 3 : 1);
  if (used + need + 1 > kSwitchTextSize) return false;
  char* p = out + used;
  *p++ = ' ';
  if (quote) *p++ = '"';
  std::memcpy(p, piece, std::strlen(piece));
  p += std::strlen(piece);
  if (quote) *p++ = '"';
  *p = 0;
  return true;
}

bool HasSlash(const char* text) {
  for (const char* p = text; *p != 0; ++p)
    if (*p == '/') return true;
  return false;
}

// One switch of several joined as in "/L3/S/W-2": a switch letter and a
// number (sign, digits, point, ratio semicolon), or "-" and the letter of a
// switch to cancel. "home" in "/home/u" is no switch: its letter is
// followed by more letters.
bool IsSwitchPiece(const char* p, const char* end) {
  if (p == end) return false;
  char letter = *p++;
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (std::strchr(kSwitchLetters, letter) == nullptr) return false;
  if (letter == '-') return end - p <= 1;
  for (; p != end; ++p)
    if (std::strchr("0123456789.;-", *p) == nullptr) return false;
  return true;
}

bool AllSwitchPieces(const char* text) {
  for (const char* p = text;;) {
    const char* end = std::strchr(p, '/');
    if (end == nullptr) end = p + std::strlen(p);
    if (!IsSwitchPiece(p, end)) return false;
    if (*end == 0) return true;
    p = end + 1;
  }
}

}  // namespace

bool LooksLikeSwitch(const char* a) {
  if ((a[0] != '/' && a[0] != '-') || a[1] == 0) return false;
  char letter = a[1];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (std::strchr(kSwitchLetters, letter) == nullptr) return false;
  if (a[0] == '-' && a[1] == '-') return false;  // "--" and long options are not switches
  // A slash further on makes it a path, unless every piece is a switch.
  return !HasSlash(a + 2) || AllSwitchPieces(a + 1);
}

bool SplitCommandLine(int argc, const char* const* argv, bool (*exists)(const char*),
                      PlayerCommandLine* out, const char** error) {
  out->switches[0] = 0;
  out->names[0] = 0;
  out->raw[0] = 0;
  out->help_requested = false;
  bool names_only = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!Append(out->raw, a, false)) {
      *error = "The command line is too long.";
      return false;
    }
    if (!names_only && std::strcmp(a, "--") == 0) {
      names_only = true;
      continue;
    }
    if (!names_only && std::strcmp(a, "--help") == 0) {
      out->help_requested = true;
      continue;
    }
    bool is_name = names_only || (exists && exists(a)) || !LooksLikeSwitch(a);
    if (is_name) {
      if (a[0] == 0) continue;
      if (std::strchr(a, '"') != nullptr) {
        *error = "A file name may not contain a double quote.";
        return false;
      }
      if (!Append(out->names, a, true)) {
        *error = "The command line is too long.";
        return false;
      }
      continue;
    }
    char converted[kSwitchTextSize];
    size_t length = std::strlen(a);
    if (length >= sizeof(converted)) {
      *error = "The command line is too long.";
      return false;
    }
    std::memcpy(converted, a, length + 1);
    converted[0] = '/';
    if (!Append(out->switches, converted, false)) {
      *error = "The command line is too long.";
      return false;
    }
  }
  return true;
}

bool NeedsHelpAfterParse(char* switch_text, const char* names) {
  TrimBlanks(switch_text);
  if (std::strchr(switch_text, '/') != nullptr) return true;
  if (switch_text[0] != 0) return false;
  for (const char* p = names; *p != 0; ++p)
    if (static_cast<unsigned char>(*p) > 32) return false;
  return true;
}

bool AppendNames(char* switch_text, const char* names) {
  size_t used = std::strlen(switch_text);
  size_t extra = std::strlen(names);
  if (used + extra + 1 > kSwitchTextSize) return false;
  std::memcpy(switch_text + used, names, extra + 1);
  TrimBlanks(switch_text);
  return true;
}
