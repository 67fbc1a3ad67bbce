// The playback clock of a media file: when each frame is due, how late it
// is, and the rules that move the clock (start, rebase, late credit, pause,
// restart) and that decide when a late frame's copy is skipped. The core
// owns it; the copy-out reaches it only through ClockCopyOps.
#pragma once
#include <cstdint>

#include "display/frame_copy.h"

// Times are milliseconds of MediaTimer.
struct PlaybackClock {
  uint32_t rate_dividend;          // frames per second = dividend / divisor (the rate in effect)
  uint32_t rate_divisor;
  uint32_t late_threshold;         // two frame durations (2000 when the dividend is 0)
  uint32_t sound_tracks;           // opened sound tracks: lateness is absorbed and judged only with sound
  uint32_t paused;
  uint32_t frames_decoded;         // decodes since open; looping does not reset it
  uint32_t clock_base;             // 0: not started
  uint32_t clock_base_frame;       // frame clock_base_frame + k is due k frame durations after the base
  uint32_t paused_elapsed;         // clock time elapsed at the moment of pausing
  uint32_t late_credit;            // lateness being absorbed with sound
  uint32_t credit_decay;           // withdrawn from the credit at each due frame
  uint32_t consecutive_skips;      // copies skipped in a row, 0 to 3
  uint32_t skip_flag;              // the current frame's copy was skipped
  uint32_t previous_blit_skipped;  // keeps the change map from being cleared
  uint32_t skipped_blits;
};

// A clock for the rate in effect, not started.
void ClockInit(PlaybackClock* clock, uint32_t dividend, uint32_t divisor);
// Starts the clock at `now` unless it runs: the frame decoded last is due now.
void ClockStart(PlaybackClock* clock, uint32_t now);
// Stops the clock and drops the credit; the next wait, decode or copy starts
// it again (after a resynchronisation, a sound restart or an underrun).
void ClockRestart(PlaybackClock* clock);
// The due test of a wait on a started clock with a rate: true when the next
// frame is due. A frame later than the threshold rebases the clock (without
// sound) or becomes a late credit (with sound); the credit then shrinks by
// its decay at every due frame.
bool ClockFrameDue(PlaybackClock* clock, uint32_t now);
// Freezes (on) or unfreezes the clock; true when this call resumes it, and
// the caller then calls ClockResume once the sound has resumed.
bool ClockSetPaused(PlaybackClock* clock, bool on, uint32_t now);
void ClockResume(PlaybackClock* clock, uint32_t now);
// The lateness test of one copy of the current frame (reads MediaTimer).
// Judged only with sound running at a known rate; at most three copies in a
// row are skipped, the fourth late one is shown, and with no_skip every late
// one is. A copy that is made lets the change map be cleared again.
CopyLateness ClockJudgeCopy(PlaybackClock* clock, bool no_skip);

// The copy-out's view of a PlaybackClock.
extern const CopyClockOps kClockCopyOps;
