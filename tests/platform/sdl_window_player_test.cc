// vexaplay in a real window (SDL2 on a virtual X server, SDL's software
// renderer): what the screen shows in the window's place is the decoded
// picture.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform_test_helpers.h"

// Xlib last: its macros (None, Status) clash with names in the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using Rgb = RgbPicture;

// Largest channel difference between the screen at (x, y) and the picture.
int ScreenDifference(Display* display, int x, int y, const Rgb& picture) {
  XImage* shot = XGetImage(display, DefaultRootWindow(display), x, y, picture.width, picture.height, AllPlanes,
                           ZPixmap);
  if (!shot) return 1 << 30;
  int worst = 0;
  for (uint32_t row = 0; row < picture.height; ++row) {
    for (uint32_t col = 0; col < picture.width; ++col) {
      unsigned long p = XGetPixel(shot, int(col), int(row));
      const uint8_t* want = &picture.rgb[(row * picture.width + col) * 3];
      int got[3] = {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(got[c] - int(want[c])));
    }
  }
  if (const char* dump = std::getenv("VEXA_TEST_SCREEN_DUMP")) {
    std::vector<uint8_t> rgb(size_t(picture.width) * picture.height * 3);
    for (uint32_t i = 0; i < picture.width * picture.height; ++i) {
      unsigned long p = XGetPixel(shot, int(i % picture.width), int(i / picture.width));
      rgb[i * 3] = uint8_t(p >> 16), rgb[i * 3 + 1] = uint8_t(p >> 8), rgb[i * 3 + 2] = uint8_t(p);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = picture.width;
    image.height = picture.height;
    image.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&image, dump, 0, rgb.data(), 0, nullptr);
  }
  XDestroyImage(shot);
  return worst;
}

// Plays a clip of four frames at four frames a second twice in the given
// blitting style, looks at the window's place until the screen has shown
// two different frames of it, each exactly, and waits for the player to end.
void ExpectWindowShowsTheFrames(const char* style) {
  char dir_template[] = "/tmp/vexaplay_x11XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  std::string dir = dir_template;
  std::string clip = dir + "/clip.vxa";
  std::string tool = VEXA_TOOL_PATH;
  ASSERT_EQ(std::system(("'" + tool + "' encode --quiet --testsrc 160x120 --frames 4 --rate 4 -o " + clip).c_str()),
            0);
  ASSERT_EQ(std::system(("'" + tool + "' decode " + clip + " --png " + dir + "/f%04d.png >/dev/null").c_str()), 0);
  std::vector<Rgb> frames(4);
  for (int f = 0; f < 4; ++f) ASSERT_TRUE(ReadPngPicture(dir + "/f000" + std::to_string(f + 1) + ".png", &frames[f]));

  pid_t child = fork();
  if (child == 0) {
    setenv("SDL_RENDER_DRIVER", "software", 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (dir + "/sound.raw").c_str(), 1);
    setenv("VEXA_PLATFORM", "sdl", 1);
    if (*style) execl(VEXA_PLAYER_PATH, "vexaplay", clip.c_str(), "/L2", "/X40", "/Y40", style, (char*)nullptr);
    else execl(VEXA_PLAYER_PATH, "vexaplay", clip.c_str(), "/L2", "/X40", "/Y40", (char*)nullptr);
    _exit(127);
  }
  ASSERT_GT(child, 0);
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  // The player needs a moment to start; look for ten seconds at most.
  std::vector<bool> seen(4, false);
  int distinct = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until && distinct < 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    // A screen that matches exactly one of the frames shows that frame.
    int match = -1, matches = 0;
    for (int f = 0; f < 4; ++f)
      if (ScreenDifference(display, 40, 40, frames[f]) <= 2) match = f, ++matches;
    if (matches == 1 && !seen[match]) {
      seen[match] = true;
      ++distinct;
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the player ended early";
  }
  XCloseDisplay(display);
  // Two plays, the logo, and a clean end: the window and its surfaces go
  // before the display buffer is closed.
  int status = -1;
  while (std::chrono::steady_clock::now() < until + std::chrono::seconds(20) && waitpid(child, &status, WNOHANG) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (waitpid(child, nullptr, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  std::system(("rm -rf '" + dir + "'").c_str());
  const char* name = *style ? style : "the default style";
  EXPECT_GE(distinct, 2) << name;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << " ended with status " << status;
}

TEST(SdlPlayerWindow, TheWindowShowsTheDecodedFrames) {
  if (std::getenv("VEXA_NO_DISPLAY") || !std::getenv("DISPLAY")) GTEST_SKIP() << "no X server";
  for (const char* style : {"", "/B2"}) ExpectWindowShowsTheFrames(style);
}

}  // namespace
