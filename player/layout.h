// Where and how big the picture is: the requested size turned into pixels
// and scaling classes, the doubling modes that replace a stretch, the
// screen fit, the centred default position and the room the statistics
// line takes. Pure arithmetic; the driver applies the results.
#pragma once
#include <cstdint>

// Scaling classes of the display flags (the width's are the height's << 4).
inline constexpr uint32_t kScaleClassWidth = 0x10000000u;
inline constexpr uint32_t kScaleClassHeight = 0x01000000u;

// Turns a requested size (dividend/divisor as the switches read it) into
// pixels and adds its class to *display_flags: class_bit for a reduction,
// x2 for a reduction by a whole factor, x4 for an enlargement, x8 for an
// enlargement by a whole factor. A positive ratio is a size, a negative one
// a factor of the video's size, exactly -1/1 the screen's size, 0 the
// video's own size (no class).
uint32_t ClassifyScale(int32_t dividend, int32_t divisor, uint32_t video_size, uint32_t screen_size,
                       uint32_t class_bit, uint32_t* display_flags);

// The largest size with the video's aspect that fits the screen.
struct PictureSize {
  uint32_t width;
  uint32_t height;
};
PictureSize FitToScreen(uint32_t video_width, uint32_t video_height, uint32_t screen_width,
                        uint32_t screen_height);

// The copy-out's doubling mode for a picture of width x height from a video
// of video_width x video_height: 1 double height, 3 double width, 4 both; 0
// when the size is not an exact doubling.
uint32_t DoublingMode(uint32_t width, uint32_t height, uint32_t video_width, uint32_t video_height);

// The centred position of a window of window_size on a screen of
// screen_size; when it does not fit, the position that puts the client
// area's origin at the screen's edge. Horizontal positions are rounded down
// to a multiple of 4.
int32_t CentredX(int32_t screen_width, int32_t window_width, int32_t client_x_offset);
int32_t CentredY(int32_t screen_height, int32_t window_height, int32_t client_y_offset);

// The statistics line's band and what reserving it does to the window.
struct StatisticsRect {
  int32_t left, top, right, bottom;
};
struct WindowLayout {
  int32_t window_width;
  int32_t window_height;
  int32_t picture_x;  // the picture's offset in the client area
  int32_t picture_y;
  StatisticsRect statistics;
};
// Reserves a band of line_width x line_height (the measured sample text plus
// its margin) above the picture: the window widens to the line when it is
// narrower (the picture moving right by half the difference, rounded down
// to a multiple of 4) and grows by the line's height.
void ReserveStatisticsLine(int32_t line_width, int32_t line_height, WindowLayout* layout);

// Moves the first file name out of list into name (at most name_size - 1
// characters): blanks skipped, a double-quoted name runs to the closing
// quote, otherwise to the next blank; the blanks after it and one comma go
// with it. Both are trimmed. An empty list gives an empty name.
void TakeNextName(char* list, char* name, uint32_t name_size);

// How a name in the list reaches its media.
enum class SourceKind {
  kByName,         // a file name, opened by the core
  kOwnProgram,     // ":OFFSET": appended to this program's own file
  kFileAtOffset,   // "NAME|OFFSET": inside another file
};
struct MediaSource {
  SourceKind kind;
  uint64_t offset;
  char path[1024];  // kByName and kFileAtOffset
};
// Reads a name: ":OFFSET", "NAME|OFFSET", or a file name, which gets ".vxa"
// when its last part has no extension. Returns false when the name does not
// fit or an offset is not a decimal number.
bool ParseMediaSource(const char* name, MediaSource* out);
