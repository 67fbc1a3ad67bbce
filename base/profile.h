// The user's profile: string values by section and key, kept in an INI file
// in the user's configuration directory ($XDG_CONFIG_HOME, else ~/.config),
// file vexa/vexa.ini. Sections and keys match without regard to case; values
// are trimmed of surrounding blanks (and of one pair of enclosing quotes).
#pragma once
#include <cstdint>

// Points the profile at another directory (the INI file is then
// <directory>/vexa/vexa.ini); null restores the user's configuration
// directory. For tests; not thread-safe.
void ProfileSetDirectory(const char* directory);

// The full path of the INI file in force, or "" when no directory is known.
const char* ProfileFilePath();

// Copies the value of key in section into out (at most out_size - 1
// characters plus a terminating zero); when the file, the section or the key
// is missing, fallback (null = "") is copied instead. Returns the length
// copied.
uint32_t ProfileReadString(const char* section, const char* key, const char* fallback,
                           char* out, uint32_t out_size);

// Sets key in section to value, creating the directory, the file, the
// section and the key as needed; other lines are kept. The file is replaced
// whole through a temporary file. Returns false when it cannot be written or
// a name or value holds a line break.
bool ProfileWriteString(const char* section, const char* key, const char* value);
