#include "encode/video_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "encode/block_candidates.h"
#include "base/open_flags.h"

namespace {

const double kSteps[16] = {1, 4.0 / 3, 5.0 / 3, 2, 8.0 / 3, 3.5, 4, 5, 6, 8, 12, 17, 22, 28, 34, 44};

struct CodedPlane {
  bool present = false;
  uint32_t width = 0, height = 0;  // padded, multiples of 8
  std::vector<uint8_t> source;     // padded source
  std::vector<uint8_t> recon[2];   // the decoder's two plane sets
  BitCosts costs[2];               // measured on the last inter / key frame
  int common_dx = 0, common_dy = 0;  // the vector most blocks of the last inter frame took
  PlaneScratch* scratch = nullptr;   // the block choice's buffers, kept between frames
};

uint32_t Round8(uint32_t v) { return (v + 7) / 8 * 8; }

// Copies a w x h picture into a padded plane, repeating the last column and
// row into the padding.
void Pad(const uint8_t* src, int pitch, uint32_t w, uint32_t h, CodedPlane* p) {
  for (uint32_t y = 0; y < p->height; ++y) {
    const uint8_t* s = src + size_t(y < h ? y : h - 1) * pitch;
    uint8_t* d = p->source.data() + size_t(y) * p->width;
    std::memcpy(d, s, w);
    for (uint32_t x = w; x < p->width; ++x) d[x] = s[w - 1];
  }
}

}  // namespace

struct VideoEncoder {
  VideoEncoderSettings settings;
  CodedPlane planes[4];
  uint64_t frame = 0;
  uint64_t last_key = 0;  // frame number of the last key frame
  int current = 0;  // set holding the last reconstruction
  VideoEncoderStats stats{};
};

VideoEncoder* VideoEncoderCreate(const VideoEncoderSettings* s) {
  if (!s->width || !s->height || s->width > 16384 || s->height > 16384) return nullptr;
  VideoEncoder* e = new VideoEncoder;
  e->settings = *s;
  if (e->settings.quality < 0) e->settings.quality = 0;
  if (e->settings.quality > 100) e->settings.quality = 100;
  const uint32_t cw = Round8((s->width + 1) / 2), ch = Round8((s->height + 1) / 2);
  const uint32_t dims[4][2] = {{Round8(s->width), Round8(s->height)}, {cw, ch}, {cw, ch},
                               {Round8(s->width), Round8(s->height)}};
  for (int i = 0; i < 4; ++i) {
    CodedPlane& p = e->planes[i];
    p.present = i == PLANE_Y || (i == PLANE_ALPHA ? s->alpha : !s->grayscale);
    if (!p.present) continue;
    p.width = dims[i][0];
    p.height = dims[i][1];
    const size_t n = size_t(p.width) * p.height;
    p.source.assign(n, 0);
    p.recon[0].assign(n, 0);
    p.recon[1].assign(n, 0);
    BitCostsDefault(&p.costs[0]);
    BitCostsDefault(&p.costs[1]);
    p.scratch = PlaneScratchCreate();
  }
  return e;
}

void VideoEncoderDestroy(VideoEncoder* e) {
  if (!e) return;
  for (CodedPlane& p : e->planes) PlaneScratchDestroy(p.scratch);
  delete e;
}

uint32_t VideoEncoderFlags(const VideoEncoder* e) {
  return (e->settings.grayscale ? FLAG_GRAYSCALE : 0) | (e->settings.alpha ? FLAG_ALPHA : 0);
}

bool VideoEncoderKeyDue(const VideoEncoder* e, bool force_key) {
  return e->frame == 0 || force_key || (e->settings.keyint > 0 && e->frame - e->last_key >= e->settings.keyint);
}

bool VideoEncodeFrame(VideoEncoder* e, const VideoPicture* pic, std::vector<uint8_t>* out, bool* key) {
  return VideoEncodeFrameWith(e, pic, nullptr, out, key);
}

bool VideoEncodeFrameWith(VideoEncoder* e, const VideoPicture* pic, const VideoFrameControl* control,
                          std::vector<uint8_t>* out, bool* key) {
  const VideoEncoderSettings& s = e->settings;
  if (!pic->y || (!s.grayscale && (!pic->u || !pic->v)) || (s.alpha && !pic->a)) return false;
  const bool is_key = VideoEncoderKeyDue(e, control && control->force_key);
  *key = is_key;
  const uint32_t cw = (s.width + 1) / 2, ch = (s.height + 1) / 2;
  Pad(pic->y, pic->y_pitch, s.width, s.height, &e->planes[PLANE_Y]);
  if (e->planes[PLANE_CHROMA1].present) {
    Pad(pic->v, pic->c_pitch, cw, ch, &e->planes[PLANE_CHROMA1]);
    Pad(pic->u, pic->c_pitch, cw, ch, &e->planes[PLANE_CHROMA2]);
  }
  if (e->planes[PLANE_ALPHA].present) Pad(pic->a, pic->a_pitch, s.width, s.height, &e->planes[PLANE_ALPHA]);

  // Quality maps to a central quantiser and the weight of a bit against
  // squared error; the block choice tries the neighbouring quantisers.
  double quantiser = double(std::lround((100 - s.quality) * 12 / 100.0));
  if (control && control->quantiser >= 0) quantiser = std::min(control->quantiser, kMaxQuantiser);
  const int base_q = int(std::lround(quantiser));
  // Between two steps the bit weight follows the geometric middle, so that
  // a rate controller's fractions change the size smoothly.
  const int low = std::min(int(quantiser), 14);
  const double frac = std::min(quantiser - low, 1.0);
  const double step = kSteps[low] * std::pow(kSteps[low + 1] / kSteps[low], frac);
  // A bit weighs far less than the quantiser's own error would suggest:
  // every frame is the next one's reference, so error spent now is paid
  // again in the frames that copy from it.
  double lambda = 0.16 * step * step + 0.2;
  // At that weight the choice of values does better from a step finer
  // than the weight's own quantiser: it lowers what does not pay.
  int frame_q = std::max(0, base_q - 1);
  if (is_key) {
    // Later frames copy a key frame's pixels for as long as the scene
    // lasts, so its error is worth two steps finer and a third of the weight.
    lambda *= 0.35;
    frame_q = std::max(0, base_q - 2);
  }
  const int next = e->current ^ 1;

  // Every plane is coded by all the threads, a few block rows at a time.
  const uint32_t threads = s.threads ? s.threads : std::max(1u, std::thread::hardware_concurrency());
  std::vector<uint8_t> streams[4];
  PlaneEncodeStats plane_stats[4];
  PlaneEncodeParams params[4];
  const PlaneEncodeParams* group[4];
  std::vector<uint8_t>* group_out[4];
  PlaneEncodeStats* group_stats[4];
  int count = 0;
  for (int plane : {PLANE_ALPHA, PLANE_Y, PLANE_CHROMA1, PLANE_CHROMA2}) {
    CodedPlane& p = e->planes[plane];
    if (!p.present) continue;
    PlaneEncodeParams& pp = params[count];
    pp = PlaneEncodeParams{};
    pp.source = p.source.data();
    pp.source_pitch = int(p.width);
    pp.reference = is_key ? nullptr : p.recon[e->current].data();
    pp.recon = p.recon[next].data();
    pp.pitch = int(p.width);
    pp.width = p.width;
    pp.height = p.height;
    pp.file_width = s.width;
    // Chroma bits buy less of what is seen (and of the luma measure):
    // a heavier weight keeps them a modest share.
    pp.lambda = plane == PLANE_Y ? lambda : lambda * 4;
    pp.base_q = frame_q;
    pp.kinds = s.kinds ? s.kinds : kAllKinds;
    pp.costs = &p.costs[is_key];
    pp.hint_dx = p.common_dx;
    pp.hint_dy = p.common_dy;
    pp.speed = s.speed;
    pp.threads = threads;
    pp.scratch = p.scratch;
    group[count] = &pp;
    group_out[count] = &streams[plane];
    group_stats[count] = &plane_stats[plane];
    ++count;
  }
  // All planes on the same threads: one plane's stream is written while
  // the next plane's rows are chosen.
  if (!EncodePlanes(group, group_out, group_stats, count)) return false;

  out->clear();
  for (int plane : {PLANE_ALPHA, PLANE_Y, PLANE_CHROMA1, PLANE_CHROMA2}) {
    CodedPlane& p = e->planes[plane];
    if (!p.present) continue;
    // Alpha and Y are preceded by a length field that counts itself and
    // the plane: it points at the next plane.
    if (plane == PLANE_ALPHA || plane == PLANE_Y) {
      const uint32_t length = uint32_t(streams[plane].size() + 4);
      for (int i = 0; i < 4; ++i) out->push_back(uint8_t(length >> (8 * i)));
    }
    out->insert(out->end(), streams[plane].begin(), streams[plane].end());
    const PlaneEncodeStats& ps = plane_stats[plane];
    p.costs[is_key] = ps.measured;
    if (!is_key) p.common_dx = ps.common_dx, p.common_dy = ps.common_dy;
    for (int k = 0; k < int(BLOCK_KIND_COUNT); ++k) e->stats.kind_count[k] += ps.kind_count[k];
    e->stats.sse[plane] += ps.sse;
    e->stats.samples[plane] += uint64_t(p.width) * p.height;
  }
  e->current = next;
  if (is_key) e->last_key = e->frame;
  ++e->frame;
  ++e->stats.frames;
  e->stats.bytes += out->size();
  return true;
}

const uint8_t* VideoEncoderPlane(const VideoEncoder* e, int plane, uint32_t* width, uint32_t* height, int* pitch) {
  if (plane < 0 || plane > 3 || !e->planes[plane].present) return nullptr;
  const CodedPlane& p = e->planes[plane];
  if (width) *width = p.width;
  if (height) *height = p.height;
  if (pitch) *pitch = int(p.width);
  return p.recon[e->current].data();
}

void VideoEncoderGetStats(const VideoEncoder* e, VideoEncoderStats* stats) { *stats = e->stats; }
