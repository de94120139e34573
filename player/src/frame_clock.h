// The play thread's presentation clock for pictures when no sound paces them.
#pragma once

#include <chrono>
#include <cstdint>

class frame_clock {
 public:
  using time_point = std::chrono::steady_clock::time_point;

  // Lateness carried forward never lets a picture out more than this early.
  static constexpr int64_t max_lag_us = 40000;

  // Whether the picture with pts `pts_ms` is due at `now`. The first picture
  // is due at once; each later one when the wall clock has advanced by its
  // pts distance from the last picture let through, minus the carried lag.
  bool due(int64_t pts_ms, time_point now);

 private:
  bool started_ = false;
  int64_t last_pts_ms_ = 0;
  int64_t lag_us_ = 0;
  time_point last_time_{};
};
