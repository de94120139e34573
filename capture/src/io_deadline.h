// Bounds FFmpeg's blocking network calls: an interrupt callback that tells
// FFmpeg to give up once the armed deadline has passed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

extern "C" {
#include <libavformat/avio.h>
}

class io_deadline {
 public:
  using clock = std::chrono::steady_clock;

  io_deadline() = default;
  io_deadline(const io_deadline&) = delete;
  io_deadline& operator=(const io_deadline&) = delete;

  // Calls made after `deadline` are interrupted (AVERROR_EXIT).
  void arm(clock::time_point deadline);
  // No limit (the state between calls, when nothing blocks).
  void disarm();
  // The callback to give FFmpeg; it points at this object, which must
  // outlive every I/O context that holds it.
  AVIOInterruptCB callback();

 private:
  static int expired(void* self);

  // Armed by whichever thread is about to block, read by FFmpeg on that thread.
  std::atomic<clock::rep> deadline_{clock::time_point::max().time_since_epoch().count()};
};

// Arms a deadline for one scope and disarms it on leaving.
class armed_deadline {
 public:
  armed_deadline(io_deadline& deadline, io_deadline::clock::time_point until)
      : deadline_(deadline) {
    deadline_.arm(until);
  }
  ~armed_deadline() { deadline_.disarm(); }
  armed_deadline(const armed_deadline&) = delete;
  armed_deadline& operator=(const armed_deadline&) = delete;

 private:
  io_deadline& deadline_;
};
