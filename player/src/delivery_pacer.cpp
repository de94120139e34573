#include "delivery_pacer.h"

void delivery_pacer::run_pass(frame_cache& cache, const pass_conditions& conditions,
                              std::atomic<int32_t>& outstanding, delivery_sink& sink) {
  sound_step(cache, conditions.muted, outstanding, sink);

  const auto& pictures = cache.pictures();
  if (pictures.empty() || !picture_due(*pictures.front(), conditions)) return;
  sink.deliver_picture(*pictures.front());
  cache.pop_picture();
}

void delivery_pacer::sound_step(frame_cache& cache, bool muted, std::atomic<int32_t>& outstanding,
                                delivery_sink& sink) {
  const auto& sounds = cache.sounds();
  while (!sounds.empty() && outstanding.load() < max_outstanding_sound) {
    if (muted) {
      if (sounds.size() <= muted_sound_backlog) return;
      cache.pop_sound();
      continue;
    }
    const AVFrame& frame = *sounds.front();
    outstanding.fetch_add(1);
    // A frame without a timestamp does not move the sound clock.
    if (frame.pts != AV_NOPTS_VALUE) last_sound_pts_ = frame.pts;
    sink.deliver_sound(frame);
    cache.pop_sound();
  }
}

bool delivery_pacer::picture_due(const AVFrame& picture, const pass_conditions& conditions) {
  if (conditions.has_audio && picture.pts + sound_lead_ms < last_sound_pts_) return true;
  if (!conditions.has_audio || conditions.muted) return clock_.due(picture.pts, conditions.now);
  return false;  // sound is playing and has not yet passed this picture
}
