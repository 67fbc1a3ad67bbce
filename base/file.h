// Files as the core reads them: open an existing file for reading, read,
// move, ask the position, close. A handle is a small integer; -1 is none.
#pragma once
#include <cstdint>

using PlatformFile = intptr_t;
constexpr PlatformFile kNoFile = -1;

// Opens an existing file for sequential reading; kNoFile on failure.
PlatformFile PlatformOpenRead(const char* path);
// Reads up to `bytes`; returns the count read (short at the end of the file
// or on an error; never negative).
uint32_t PlatformRead(PlatformFile file, void* destination, uint32_t bytes);
// Moves to an absolute offset; false on failure.
bool PlatformSeek(PlatformFile file, uint64_t offset);
// The current offset, or UINT64_MAX on failure.
uint64_t PlatformTell(PlatformFile file);
// The size of the file in bytes, or UINT64_MAX when it has none (a pipe or
// a terminal) or cannot be asked.
uint64_t PlatformFileSize(PlatformFile file);
void PlatformClose(PlatformFile file);
