// Photographs for the clip generator: a PNG or JPEG file read into 8-bit
// RGB, and the packaged wallpapers found by name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct RgbPicture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3, rows top to bottom
};

// Where the packaged wallpapers are installed.
extern const char kPictureFolder[];

// A picture argument as a file: a path (anything holding '/', or an
// existing file) is used as it is; a bare name is one of ListPictures().
// "" when nothing is found.
std::string FindPicture(const char* name);

// The wallpapers in the folder by short name (the file name's first word,
// lower case), sorted.
std::vector<std::string> ListPictures();

// Reads a PNG or JPEG file (told apart by its first bytes); transparency is
// laid on black. False with a reason in *error.
bool LoadPicture(const char* path, RgbPicture* out, std::string* error);
