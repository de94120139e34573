// One pass of the play thread over the data cache: sound as fast as the host
// acknowledges it, pictures in step with the delivered sound or, without
// sound (or muted), by their own timestamps.
#pragma once

#include <atomic>
#include <cstdint>

#include "frame_cache.h"
#include "frame_clock.h"

// Where delivered frames go (the host, in the player).
class delivery_sink {
 public:
  virtual void deliver_sound(const AVFrame& frame) = 0;
  virtual void deliver_picture(const AVFrame& frame) = 0;

 protected:
  ~delivery_sink() = default;
};

struct pass_conditions {
  bool has_audio = false;  // an audio stream with an open decoder exists
  bool muted = false;
  frame_clock::time_point now{};
};

class delivery_pacer {
 public:
  // Sound buffers the host may hold unacknowledged.
  static constexpr int32_t max_outstanding_sound = 10;
  // While muted, the oldest sound frames are dropped down to this many.
  static constexpr std::size_t muted_sound_backlog = 50;
  // A picture is due once the delivered sound is this far past it.
  static constexpr int64_t sound_lead_ms = 50;

  // Runs one pass; the caller holds the cache lock. `outstanding` counts the
  // sound buffers delivered and not yet acknowledged. At most one picture
  // leaves per pass.
  void run_pass(frame_cache& cache, const pass_conditions& conditions,
                std::atomic<int32_t>& outstanding, delivery_sink& sink);

  int64_t last_sound_pts() const { return last_sound_pts_; }

 private:
  void sound_step(frame_cache& cache, bool muted, std::atomic<int32_t>& outstanding,
                  delivery_sink& sink);
  bool picture_due(const AVFrame& picture, const pass_conditions& conditions);

  frame_clock clock_;
  int64_t last_sound_pts_ = 0;
};
