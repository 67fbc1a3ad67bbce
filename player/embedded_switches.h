// The switch text a copy of the player carries inside its own program file.
// A fixed 512-character field, padded with "~", sits right after a 16-byte
// marker in the program's read-only data. A tool that makes a self-playing
// copy finds the marker in a copy of the program file and rewrites the field
// (for example ":115712 /l" to play a media file appended at that offset).
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr uint32_t kEmbeddedMarkerSize = 16;
inline constexpr uint32_t kEmbeddedFieldSize = 512;

// The marker bytes (not zero-terminated), as kept in this program.
const char* EmbeddedSwitchMarker();

// Copies this program's embedded switch text, cut at the first "~" and at
// most 510 characters (and out_size - 1), into out with a terminating zero.
// Returns its length.
uint32_t EmbeddedSwitchText(char* out, uint32_t out_size);

// Offset of the embedded field (the byte after the marker) in a program
// file's bytes, or -1 when there is no intact field or more than one.
long FindEmbeddedSwitchField(const uint8_t* bytes, size_t size);

// Rewrites the embedded field in a program file's bytes with text (at most
// 510 characters, no "~"), padding it with "~". Returns false with an error
// text when the text does not fit or the field is not found.
bool PatchEmbeddedSwitches(uint8_t* bytes, size_t size, const char* text, const char** error);

struct SwitchText;
// Builds the player's working text from this program's embedded switch text
// and the command line (see BuildSwitchText).
bool BuildPlayerSwitchText(SwitchText* out, const char* command_line, bool screen_saver);
