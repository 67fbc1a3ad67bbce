// The core's last error text. Every core operation that fails returns 0 or
// null and leaves a text here; the player shows it to the user.
//
// The text is process-wide and unsynchronised, like the opens that set it:
// operations that may fail must not run concurrently.
#pragma once

// The texts the core itself leaves.
inline constexpr const char kErrorOpeningFile[] = "Error opening file.";
inline constexpr const char kErrorNotVexa[] = "Not a Vexa file.";
inline constexpr const char kErrorNoFrames[] = "The file doesn't contain any compressed frames yet.";
inline constexpr const char kErrorReadingHeader[] = "Error reading Vexa header.";
inline constexpr const char kErrorOutOfMemory[] = "Out of memory.";

// Room for the texts above and an opener's own text; longer texts are cut
// to this many bytes less one.
inline constexpr unsigned kMediaErrorCapacity = 256;

// The last error text; "" when none. The pointer stays valid; its contents
// change with the next MediaSetError.
const char* MediaGetError();
// Replaces the last error text with a copy of `text` (null empties it).
void MediaSetError(const char* text);
