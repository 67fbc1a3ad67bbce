#include "encode/rate_control.h"

#include <algorithm>
#include <cmath>

#include "encode/video_encoder.h"

namespace {

// Before anything is coded: a key frame of photographic content at
// quantiser 0 takes about this many bits per pixel, an inter frame a
// fraction of it.
constexpr double kPriorKeyBits = 6.0;
constexpr double kPriorInterShare = 0.1;
// Quantiser moves from one frame to the next are kept within these, so that
// one odd frame does not swing the picture quality. Finer steps come slowly:
// an inter frame whose quantiser drops recodes every block its reference
// already had close enough, which can cost several frames' share at once,
// while a coarser step only leaves more blocks as they are.
constexpr double kMaxRise = 2.0;
constexpr double kMaxDrop = 0.5;

double Clamp(double q) { return std::clamp(q, 0.0, kMaxQuantiser); }

double Scale(double q) { return std::exp2(-q / kRateHalving); }

}  // namespace

void RateControlInit(RateControl* rc, const RateControlSettings* settings) {
  *rc = RateControl();
  rc->settings = *settings;
  rc->c_key = settings->pixels * kPriorKeyBits / 8;
  rc->c_inter = rc->c_key * kPriorInterShare;
  if (!settings->first_pass || settings->first_pass->empty()) {
    rc->settings.first_pass = nullptr;
    return;
  }
  const std::vector<RateFrameRecord>& first = *settings->first_pass;
  rc->costs.resize(settings->frames);
  double mean = 0;
  for (const RateFrameRecord& f : first) mean += f.bytes / Scale(f.quantiser);
  mean /= double(first.size());
  // Frames beyond the first pass's (it should not happen) cost its mean.
  for (uint32_t i = 0; i < settings->frames; ++i)
    rc->costs[i] = i < first.size() ? first[i].bytes / Scale(first[i].quantiser) : mean;
  for (double c : rc->costs) rc->costs_left += c;
  rc->global_q = Clamp(kRateHalving * std::log2(rc->costs_left / std::max(1.0, settings->target_bytes)));
}

double RateControlQuantiser(RateControl* rc, bool key) {
  const RateControlSettings& s = rc->settings;
  const uint32_t left = s.frames > rc->done ? s.frames - rc->done : 1;
  // A clip that overran its budget still gets a tenth of a frame's share a
  // frame, which sends the quantiser to its top.
  const double budget = std::max(s.target_bytes - rc->spent, 0.1 * left * s.target_bytes / std::max(1u, s.frames));
  double q;
  if (s.first_pass) {
    // The rest of the first pass's costs, at one quantiser, corrected by how
    // the second pass's frames have come out against their predictions.
    const double ratio = rc->predicted > 0 ? rc->actual / rc->predicted : 1.0;
    q = kRateHalving * std::log2(rc->costs_left * ratio / budget);
  } else {
    // The rest of the clip at one quantiser: its key frames at the key
    // frame cost, the others at the inter frame cost.
    const double keys = (key ? 1 : 0) + (s.keyint ? double(left - 1) / s.keyint : 0);
    const double expected = keys * rc->c_key + (left - keys) * rc->c_inter;
    q = kRateHalving * std::log2(expected / budget);
  }
  q = Clamp(q);
  if (rc->last_q >= 0 && rc->done > 1)
    q = std::clamp(q, rc->last_q - (key ? kMaxRise : kMaxDrop), rc->last_q + kMaxRise);
  return q;
}

void RateControlDone(RateControl* rc, bool key, double quantiser, size_t bytes) {
  const double cost = double(bytes) / Scale(quantiser);
  if (rc->settings.first_pass) {
    if (rc->done < rc->costs.size()) {
      const double planned = rc->costs[rc->done];
      rc->costs_left = std::max(0.0, rc->costs_left - planned);
      rc->predicted += planned * Scale(quantiser);
      rc->actual += double(bytes);
    }
  } else if (key) {
    rc->c_key = rc->done == 0 ? cost : 0.5 * rc->c_key + 0.5 * cost;
    if (!rc->seen_inter) rc->c_inter = cost * kPriorInterShare;
  } else {
    rc->c_inter = rc->seen_inter ? 0.6 * rc->c_inter + 0.4 * cost : cost;
    rc->seen_inter = true;
  }
  rc->spent += double(bytes);
  rc->last_q = quantiser;
  ++rc->done;
}
