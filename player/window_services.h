// The player's window table: the one window, its message queue, message
// boxes, web pages and sleeping. A backend in platform/ (SDL2 or headless)
// fills it and registers it; the player never names a backend. Messages
// keep the desktop's numbering so that the window procedure reads as a
// table of messages: the backends translate their own events into them.
#pragma once
#include <cstdint>

#include "display/display_types.h"

// Messages the player handles or sends.
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_SETFOCUS = 0x0007;
inline constexpr uint32_t WM_KILLFOCUS = 0x0008;
inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr uint32_t WM_ACTIVATEAPP = 0x001C;
inline constexpr uint32_t WM_WINDOWPOSCHANGING = 0x0046;
inline constexpr uint32_t WM_WINDOWPOSCHANGED = 0x0047;
inline constexpr uint32_t WM_NCPAINT = 0x0085;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_CHAR = 0x0102;
inline constexpr uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_POWERBROADCAST = 0x0218;

// WM_SYSCOMMAND commands swallowed by a full-screen saver.
inline constexpr uintptr_t SC_NEXTWINDOW = 0xF040;
inline constexpr uintptr_t SC_PREVWINDOW = 0xF050;
inline constexpr uintptr_t SC_CLOSE = 0xF060;
inline constexpr uintptr_t SC_SCREENSAVE = 0xF140;
// WM_POWERBROADCAST: the machine is about to suspend.
inline constexpr uintptr_t PBT_APMSUSPEND = 4;

// Window styles.
inline constexpr uint32_t WS_CHILD = 0x40000000u;
inline constexpr uint32_t WS_PLAYER_POPUP = 0x820A0000u;  // pop-up, clipped children, system menu, minimise box
inline constexpr uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr uint32_t WS_EX_DLGMODALFRAME = 0x1u;
inline constexpr uint32_t WS_EX_TOPMOST = 0x8u;

// WM_WINDOWPOSCHANGING's proposal; lparam points at it.
inline constexpr uint32_t SWP_NOMOVE = 0x2;
struct WindowPos {
  int32_t x, y;    // proposed outer corner on the screen
  int32_t cx, cy;  // proposed outer size
  uint32_t flags;
};

// Message box kinds and answers.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_ICONERROR = 0x10;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

using WindowProc = intptr_t (*)(PlatformWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam);

struct WindowMessage {
  PlatformWindow* window;
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
};

// Position value that lets the system choose.
inline constexpr int32_t kDefaultWindowPosition = INT32_MIN;

struct WindowCreateParams {
  const char* title;
  int32_t x, y;  // outer corner, or kDefaultWindowPosition
  int32_t width, height;
  uint32_t style;         // WS_* above
  uint32_t ex_style;      // WS_EX_* above
  uint64_t owner;         // parent or owner window: an X11 window id; 0 none
  bool invisible_cursor;  // the class cursor draws nothing
  WindowProc proc;
};

struct WindowServices {
  // Null on failure. The window starts hidden.
  PlatformWindow* (*CreateWindow)(const WindowCreateParams* params);
  // Sends WM_DESTROY, then frees the window.
  void (*DestroyWindow)(PlatformWindow* window);
  // Outer rectangle; sends WM_WINDOWPOSCHANGING (which may move the
  // proposal) and WM_WINDOWPOSCHANGED.
  void (*SetWindowPos)(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height);
  void (*ShowWindow)(PlatformWindow* window, bool shown);
  // Queues WM_PAINT for the window (the area is not tracked: the whole
  // client area is repainted).
  void (*InvalidateRect)(PlatformWindow* window);
  // Removes the next message; false when none waits. Events due by the
  // time of the call are translated first.
  bool (*PeekMessage)(WindowMessage* message);
  // Queues WM_QUIT.
  void (*PostQuitMessage)(int code);
  // Shows what was drawn into the window since the last present; frame is
  // the media frame now shown (0 for the logo), for the headless capture.
  void (*Present)(PlatformWindow* window, uint32_t frame);
  // The parent's client size (a preview inside another window).
  bool (*GetParentClientSize)(uint64_t parent, int32_t* width, int32_t* height);
  // Blocks until answered; returns IDOK, IDYES or IDNO.
  int (*MessageBox)(PlatformWindow* owner, const char* text, const char* caption, uint32_t type);
  // Opens a web page in the user's browser.
  void (*OpenUrl)(const char* url);
  // The message boxes already print to standard output.
  bool message_boxes_print;
};

// Registers the backend's table for the process (null: none).
void PlayerRegisterWindowServices(const WindowServices* services);
const WindowServices* PlayerWindowServices();

// The default handling of a message the procedure does not take.
intptr_t DefWindowProc(PlatformWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam);
