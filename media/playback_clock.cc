#include "media/playback_clock.h"

#include "base/timer.h"

namespace {

uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }

// Frames of the clock due by now: k frame durations after the base, with
// the late credit taken off the time elapsed.
struct DueTime {
  int64_t elapsed;
  uint64_t due;
};

DueTime DueAt(const PlaybackClock* c, uint32_t now) {
  const uint32_t k = c->frames_decoded - c->clock_base_frame;
  DueTime t;
  t.due = uint64_t(k) * 1000 * c->rate_divisor / c->rate_dividend;
  t.elapsed = int64_t(uint32_t(now - c->clock_base)) - int64_t(c->late_credit);
  return t;
}

void Rebase(PlaybackClock* c, uint32_t now) {
  c->clock_base = now;
  c->clock_base_frame = c->frames_decoded - 1;
  c->paused_elapsed = 0;
}

uint32_t CopySkipped(const void* clock) { return static_cast<const PlaybackClock*>(clock)->skip_flag; }

CopyLateness JudgeCopy(void* clock, bool no_skip) {
  return ClockJudgeCopy(static_cast<PlaybackClock*>(clock), no_skip);
}

}  // namespace

const CopyClockOps kClockCopyOps = {&CopySkipped, &JudgeCopy};

void ClockInit(PlaybackClock* c, uint32_t dividend, uint32_t divisor) {
  *c = PlaybackClock{};
  c->rate_dividend = dividend;
  c->rate_divisor = divisor;
  c->late_threshold = dividend ? uint32_t(2000ull * divisor / dividend) : 2000;
}

void ClockStart(PlaybackClock* c, uint32_t now) {
  if (c->clock_base == 0) Rebase(c, now);
}

void ClockRestart(PlaybackClock* c) {
  c->clock_base = 0;
  c->late_credit = 0;
  c->paused_elapsed = 0;
}

bool ClockFrameDue(PlaybackClock* c, uint32_t now) {
  const DueTime t = DueAt(c, now);
  if (t.elapsed < int64_t(t.due)) return false;
  const uint64_t late = uint64_t(t.elapsed) - t.due;
  if (late > c->late_threshold) {
    if (!c->sound_tracks) {
      Rebase(c, now);
    } else {
      c->late_credit = uint32_t(Min(uint32_t(late > 0xFFFFFFFFu ? 0xFFFFFFFFu : late), 0x7FFFFFFF));
      c->credit_decay = uint32_t(uint64_t(c->late_credit) * c->rate_divisor / c->rate_dividend);
    }
  }
  c->late_credit = c->late_credit < c->credit_decay ? 0 : c->late_credit - c->credit_decay;
  return true;
}

bool ClockSetPaused(PlaybackClock* c, bool on, uint32_t now) {
  const bool resuming = c->paused && !on;
  if (on && !c->paused) c->paused_elapsed = c->clock_base ? now - c->clock_base : 0;
  c->paused = on ? 1 : 0;
  return resuming;
}

void ClockResume(PlaybackClock* c, uint32_t now) { c->clock_base = now - c->paused_elapsed; }

CopyLateness ClockJudgeCopy(PlaybackClock* c, bool no_skip) {
  CopyLateness verdict = LATENESS_ON_TIME;
  if (c->sound_tracks && c->rate_dividend && !c->paused) {
    const uint32_t now = MediaTimer();
    ClockStart(c, now);
    // A late credit larger than the time since the clock base means "not late".
    const DueTime t = DueAt(c, now);
    if (t.elapsed < int64_t(t.due) || t.elapsed - int64_t(t.due) <= int64_t(c->late_threshold)) {
      c->consecutive_skips = 0;
    } else if (++c->consecutive_skips > 3) {
      c->consecutive_skips = 0;
      verdict = LATENESS_LATE_SHOWN;
    } else if (no_skip) {
      verdict = LATENESS_LATE_SHOWN;
    } else {
      c->skip_flag = 1;
      c->previous_blit_skipped = 1;
      c->skipped_blits += 1;
      return LATENESS_SKIPPED;
    }
  }
  // The surface is brought up to date: the change map may be cleared again.
  c->previous_blit_skipped = 0;
  return verdict;
}
