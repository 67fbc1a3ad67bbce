// The help text the player shows in a message box when its switches cannot
// be honoured or no file was named. Each line ends in a newline, the last
// one included; the tabs line the descriptions up in the message box.
// /! (quick-play defaults) and /# (owner window) are accepted but not listed.
#include "player/switches.h"

const char kPlayerHelpCaption[] = "Vexa Video Player Help";

const char kPlayerHelpText[] =
    "  SYNTAX: VexaPlay <Vexa1 Vexa2 ...> [/Switches]:\n"
    "    /P  \t- Preload the entire Vexa video into memory.\n"
    "    /L##\t- Loop the animation (just/L for infinite).\n"
    "    /F#.#\t- Use this frame rate (just /F for fast).\n"
    "    /T##\t- Play the specified sound track.\n"
    "    /Z  \t- Use waveOut instead of DirectSound for audio output.\n"
    "    /S  \t- Show the playback summary when finished.\n"
    "    /X##\t- Specifies the X coordinate of the playback.\n"
    "    /Y##\t- Specifies the Y coordinate of the playback.\n"
    "    /W#.#\t- Stretch to this width in pixels (can be slow). Use negative numbers for\n"
    "         \t    scaling (i.e. for 2x, use '/w-2').  For full screen, use -1 ('/w-1').\n"
    "    /H#.#\t- Stretch to this height in pixels (can be slow).\n"
    "    /R   \t- Fill the screen with a black background.\n"
    "    /C   \t- Hide the cursor when in the Vexa window.\n"
    "    /M##\t- Simulate this read speed (in bytes/second).\n"
    "    /E##\t- Specified the amount of memory for read buffering.\n"
    "    /G  \t- Don't load the read buffer when opening the Vexa (faster opening).\n"
    "    /K  \t- Do not use multi-threaded device reading.\n"
    "    /U##\t- Disable controls: 1=pause, 2=skip, 4=quit.\n"
    "    /N  \t- Never skip frames when falling behind.\n"
    "    /Q  \t- Show run-time playback statistics.\n"
    "    /J  \t- Don't pause the video when the focus is lost.\n"
    "    /I# \t- Window style: 0=normal, 1=no caption, 2=nothing.  Add 100 for always-on-top.\n"
    "    /A##\t- Display options: 1=2x height doubled, 2=2x height interlaced, 3=2x width doubled,\n"
    "        \t    4=2x width and height doubled, 5=2x width and height interlaced,\n"
    "        \t    6=1x height interlaced, 7=force none. Add 100 for grayscale, 1000 to show alpha.\n"
    "    /D##\t- Display resolution: 1=320x200, 2=320x240, 3=320x400, 4=400x300, 5=480x360,\n"
    "        \t    6=512x384, 7=640x400, 8=640x480, 9=800x600, 10=960x720, 11=1024x768,\n"
    "        \t    12=1152x864, 13=1280x1024. To set the color depth, add: 0 for 16-bit,\n"
    "        \t    100 for 24-bit, 200 for 32-bit, 300 for 8-bit, 400 for at least\n"
    "        \t    high-color (16, 32, then 24), 500 to try true-color (32, 24, then 16),\n"
    "        \t    and 600 for true-color only (32, then 24).\n"
    "    /B##\t- Blitting style: 0=Automatic, 1=DirectDraw primary display (best quality,\n"
    "        \t    very fast), 2=DIBSection (best quality, most compatible), 3=YV12 overlay,\n"
    "        \t    4=YUY2 overlay, 5=UYVY overlay, 6=YV12 off-screen, 7=YUY2 off-screen,\n"
    "        \t    8=UYVY off-screen, 9=DirectDraw RGB video memory off-screen,\n"
    "        \t    10=DirectDraw RGB system memory off-screen.\n";
