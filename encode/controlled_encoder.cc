#include "encode/controlled_encoder.h"

bool ControlledEncoderInit(ControlledEncoder* c, const VideoEncoderSettings* settings,
                           const RateControlSettings* rate, bool scene_keys) {
  c->encoder = VideoEncoderCreate(settings);
  if (!c->encoder) return false;
  c->scene_keys = scene_keys;
  if (scene_keys) SceneDetectorInit(&c->scenes, settings->width, settings->height);
  c->rated = rate != nullptr;
  if (rate) RateControlInit(&c->rate, rate);
  c->records.clear();
  c->last_quantiser = -1;
  return true;
}

void ControlledEncoderFree(ControlledEncoder* c) {
  VideoEncoderDestroy(c->encoder);
  c->encoder = nullptr;
}

bool ControlledEncodeFrame(ControlledEncoder* c, const VideoPicture* picture, std::vector<uint8_t>* out,
                           bool* key) {
  VideoFrameControl control;
  if (c->scene_keys && picture->y) {
    control.force_key =
        SceneDetectorCut(&c->scenes, picture->y, picture->y_pitch, picture->u, picture->v, picture->c_pitch);
  }
  const bool will_key = VideoEncoderKeyDue(c->encoder, control.force_key);
  if (c->rated) control.quantiser = RateControlQuantiser(&c->rate, will_key);
  if (!VideoEncodeFrameWith(c->encoder, picture, &control, out, key)) return false;
  if (c->rated) RateControlDone(&c->rate, *key, control.quantiser, out->size());
  c->last_quantiser = control.quantiser;
  c->records.push_back({control.quantiser, double(out->size()), *key});
  return true;
}

void ControlledEncoderSetTarget(ControlledEncoder* c, double target_bytes) {
  c->rate.settings.target_bytes = target_bytes;
}
