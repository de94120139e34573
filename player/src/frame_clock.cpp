#include "frame_clock.h"

#include <algorithm>

bool frame_clock::due(int64_t pts_ms, time_point now) {
  if (!started_) {
    started_ = true;
    last_pts_ms_ = pts_ms;
    last_time_ = now;
    return true;
  }
  const int64_t elapsed_us =
      std::chrono::duration_cast<std::chrono::microseconds>(now - last_time_).count() + lag_us_;
  const int64_t need_us = (pts_ms - last_pts_ms_) * 1000;
  if (elapsed_us < need_us) return false;
  lag_us_ = std::min(elapsed_us - need_us, max_lag_us);
  last_pts_ms_ = pts_ms;
  last_time_ = now;
  return true;
}
