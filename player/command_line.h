// The player's command line taken argument by argument. File paths begin
// with and contain "/", which the slash-switch syntax cannot tell apart
// from switches, so names never pass through the switch parser:
//   - an argument that names an existing file or directory is a name;
//   - every argument after "--" is a name;
//   - an argument is a switch when it begins with "/" or "-", then a switch
//     letter (or "!", "#", or "-" for a cancel), and holds no further "/";
//     "-X..." is read as "/X...";
//   - anything else is a name (a mistyped path gives "Error opening file.").
// "--help" asks for the help text. The switches form the text given to
// BuildSwitchText; the names are kept quoted in a list of their own.
#pragma once
#include <cstdint>

#include "player/switches.h"

struct PlayerCommandLine {
  char switches[kSwitchTextSize];  // " /L3 /S": switch arguments, slash form
  char names[kSwitchTextSize];     // " \"a.vxa\" \"/b/c.vxa\"": the names, quoted
  char raw[kSwitchTextSize];       // every argument joined by blanks (screen-saver arguments)
  bool help_requested;             // "--help" was given
};

// Splits argv[1..argc-1]. exists(path) tells whether a path exists (null:
// nothing exists). Returns false with *error set when the arguments do not
// fit or a name holds a double quote.
bool SplitCommandLine(int argc, const char* const* argv, bool (*exists)(const char* path),
                      PlayerCommandLine* out, const char** error);

// True when an argument has the shape of a switch (not counting existence).
bool LooksLikeSwitch(const char* argument);

// After the switches were parsed out of text: the help decision (a slash
// left among the switches, or no name at all), then the names appended to
// what the switches left. Returns false when the joined list does not fit.
bool NeedsHelpAfterParse(char* switch_text, const char* names);
bool AppendNames(char* switch_text, const char* names);
