// State that outlives a single playback and that worker threads reach
// through shared ownership, so a thread that outlives stop() never touches
// a destroyed player.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "host_callback.h"

struct player_shared {
  host_callback host;
  std::atomic<bool> audio_muted{false};
  // Sound buffers delivered and not yet acknowledged; may go negative.
  std::atomic<int32_t> audio_outstanding{0};
};

// The counters of one playback, read and written by the host as a group.
struct playback_counters {
  std::mutex mutex;  // guards the three fields
  std::uint64_t video_bytes = 0;
  std::uint64_t audio_bytes = 0;
  std::uint64_t video_frames = 0;
};
