// Files as the `vexa` commands take them: "-" names standard input or
// output, failures name the path and the system's reason, and the JSON
// strings every command prints are escaped in one place.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// True for "-", standard input or output.
bool IsStdStream(const char* path);

// The system's text for an errno value, lower-case as it reads after a colon.
std::string SystemReason(int error);

// Why `path` cannot be read, in the system's words ("is a directory",
// "permission denied", "no such file or directory"); "" when it can be
// opened for reading.
std::string ReadProblem(const char* path);

// Prints "vexa COMMAND: PATH: TEXT" to standard error, with the system's
// reason for an unreadable path after the text.
void ReportInputFailure(const char* command, const char* path, const char* text);

// Reads all of a file, or standard input for "-". False with a message.
bool ReadWholeInput(const char* path, std::vector<uint8_t>* bytes, std::string* error);

// Opens an output for writing: standard output for "-", else the file
// created or emptied. Null with "cannot write PATH: reason" in *error.
std::FILE* OpenOutput(const char* path, std::string* error);
// Closes what OpenOutput gave (standard output is only flushed); false when
// anything could not be written. Null does nothing and succeeds.
bool CloseOutput(std::FILE* f);
// An error text for a write that failed on `path`.
std::string WriteProblem(const char* path);

// An output written whole at the end of the work (a Vexa file), checked
// before the work starts: the file is opened (created when missing, not yet
// emptied) so that a bad path fails at once.
struct PendingOutput {
  std::FILE* f = nullptr;
  bool created = false;  // removed again when the work fails
  const char* path = nullptr;
};
bool PendingOutputOpen(const char* path, PendingOutput* out, std::string* error);
// Replaces the file's contents with `bytes` and closes it; false with a message.
bool PendingOutputCommit(PendingOutput* out, const std::vector<uint8_t>& bytes, std::string* error);
// Closes without writing; removes the file if the open created it.
void PendingOutputAbandon(PendingOutput* out);

// True when both names lead to one existing file (also through links).
bool SameFile(const char* a, const char* b);

// Progress lines go to standard error; carriage returns are for a terminal.
bool ProgressOnTerminal();

// `text` as a JSON string, quotes included.
std::string JsonString(const char* text);

// The program's version, for `vexa --version`.
extern const char kVexaVersion[];
