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
};

// Sound buffers one playback delivered and the host has not yet
// acknowledged; may go negative. Every playback has its own, so a worker
// that outlived its join cannot close the next playback's gate.
struct sound_gate {
  std::atomic<int32_t> outstanding{0};
};

// The counters of one playback, read and written by the host as a group.
struct playback_counters {
  std::mutex mutex;  // guards the three fields
  std::uint64_t video_bytes = 0;
  std::uint64_t audio_bytes = 0;
  std::uint64_t video_frames = 0;
};
