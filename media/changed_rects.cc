// The rectangles a frame changed, condensed from the changed-block map into
// at most eight by a greedy splitter: start from the bounding box and keep
// cutting the rectangle whose cut saves the most area.
#include "media/media.h"
#include "media/media_file.h"

namespace {

struct Rect {
  uint32_t x, y, w, h;  // picture pixels, on the 16x16 grid
};

struct Split {
  uint64_t gain;
  Rect first, second;
};

// Bounding box of the marked blocks inside r; false when none is marked.
bool BoundingBox(const MediaFile* m, const Rect& r, Rect* box) {
  const uint32_t pitch = m->blocks_across;
  const uint32_t bx = r.x / 16, by = r.y / 16, bw = r.w / 16, bh = r.h / 16;
  auto row_marked = [&](uint32_t row) {
    const uint8_t* p = m->change_map + size_t(by + row) * pitch + bx;
    for (uint32_t i = 0; i < bw; ++i)
      if (p[i]) return true;
    return false;
  };
  uint32_t top = 0;
  while (top < bh && !row_marked(top)) ++top;
  if (top == bh) return false;
  uint32_t bottom = bh - 1;
  while (bottom > top && !row_marked(bottom)) --bottom;
  uint32_t left = bw, right = 0;
  for (uint32_t row = top; row <= bottom; ++row) {
    const uint8_t* p = m->change_map + size_t(by + row) * pitch + bx;
    for (uint32_t i = 0; i < bw; ++i)
      if (p[i]) {
        if (i < left) left = i;
        if (i > right) right = i;
      }
  }
  *box = {r.x + 16 * left, r.y + 16 * top, 16 * (right - left + 1), 16 * (bottom - top + 1)};
  return true;
}

uint64_t Area(const Rect& r) { return uint64_t(r.w) * r.h; }

// Cuts r in two (left/right when it is at least 32 wide, top/bottom when at
// least 32 high), shrinks both parts to their boxes and keeps the cut that
// saves more area; vertical wins ties.
Split ComputeSplit(const MediaFile* m, const Rect& r) {
  Split best{0, r, r};
  bool have = false;
  if (r.w >= 32) {
    const uint32_t c = (r.w / 2 + 15) & ~15u;
    Rect a{}, b{};
    const bool ha = BoundingBox(m, {r.x, r.y, c, r.h}, &a);
    const bool hb = BoundingBox(m, {r.x + c, r.y, r.w - c, r.h}, &b);
    if (ha && hb) {
      best = {Area(r) - Area(a) - Area(b), a, b};
      have = true;
    }
  }
  if (r.h >= 32) {
    const uint32_t c = (r.h / 2 + 15) & ~15u;
    Rect a{}, b{};
    const bool ha = BoundingBox(m, {r.x, r.y, r.w, c}, &a);
    const bool hb = BoundingBox(m, {r.x, r.y + c, r.w, r.h - c}, &b);
    if (ha && hb) {
      const uint64_t gain = Area(r) - Area(a) - Area(b);
      if (!have || gain > best.gain) best = {gain, a, b};
    }
  }
  return best;
}

}  // namespace

int MediaGetChangedRects(uint32_t display_word, MediaFile* m) {
  if (!m) return 0;
  if (display_word & SURFACE_DIRECT) return 0;
  if (!((display_word | m->open_flags) & OPEN_NO_SKIP) && m->clock.skip_flag) return 0;
  if (m->rect_count != -1) return m->rect_count;
  if (!m->change_map || !m->frames) {
    m->rect_count = 0;
    return 0;
  }

  Rect list[kMaxChangedRects];
  Split splits[kMaxChangedRects];
  int count = 0;
  const Rect whole{0, 0, (m->file_width + 15) & ~15u, (m->file_height + 15) & ~15u};
  if (BoundingBox(m, whole, &list[0])) count = 1;
  if (count && !(display_word & SURFACE_STRETCHED)) {
    splits[0] = ComputeSplit(m, list[0]);
    while (count < kMaxChangedRects) {
      int best = -1;
      for (int i = 0; i < count; ++i)
        if (splits[i].gain > 0 && (best < 0 || splits[i].gain > splits[best].gain)) best = i;
      if (best < 0) break;
      const Split s = splits[best];
      list[best] = s.first;
      list[count] = s.second;
      splits[best] = ComputeSplit(m, list[best]);
      splits[count] = ComputeSplit(m, list[count]);
      ++count;
    }
  }

  // Emit top to bottom, left to right, scaled to output pixels.
  const uint32_t mode = ScaleModeOf(m->copy.last_copy_flags | (m->open_flags & SCALE_MODE));
  bool used[kMaxChangedRects] = {};
  for (int n = 0; n < count; ++n) {
    int pick = -1;
    for (int i = 0; i < count; ++i) {
      if (used[i]) continue;
      const uint32_t key = list[i].y * 65536u + list[i].x;
      if (pick < 0 || key < list[pick].y * 65536u + list[pick].x) pick = i;
    }
    used[pick] = true;
    Rect r = list[pick];
    if (mode == 1 || mode == 2 || mode == 4 || mode == 5) {
      r.y *= 2;
      r.h *= 2;
    }
    if (mode == 3 || mode == 4 || mode == 5) {
      r.x *= 2;
      r.w *= 2;
    }
    if (r.x + r.w > m->width) r.w = m->width > r.x ? m->width - r.x : 0;
    if (r.y + r.h > m->height) r.h = m->height > r.y ? m->height - r.y : 0;
    m->rects[n] = {int32_t(r.x), int32_t(r.y), int32_t(r.w), int32_t(r.h)};
  }
  m->rect_count = count;
  return count;
}
