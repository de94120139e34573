// The capture manager: owns the publisher and holds the host's registered
// callback, through which every part of the library logs and reports status.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "castbay/live_av_capture.h"

class rtmp_publisher;

class live_capture_manager {
 public:
  live_capture_manager();
  ~live_capture_manager();
  live_capture_manager(const live_capture_manager&) = delete;
  live_capture_manager& operator=(const live_capture_manager&) = delete;

  // Host's thread. The previous object is neither used nor destroyed.
  void set_callback(i_live_av_capture_callback* callback) { callback_.store(callback); }
  i_live_av_capture_callback* callback() const { return callback_.load(); }

  // Passes a message to the host's on_log; dropped without a callback.
  // Arguments follow printf's promotions (pass long long, const char*).
  template <typename... Args>
  void log(int level, const char* format, Args... args) const {
    if (i_live_av_capture_callback* cb = callback_.load()) cb->on_log(level, format, args...);
  }
  // Passes a status code to the host's on_status; dropped without a callback.
  void report_status(int code) const;

  rtmp_publisher& publisher() { return *publisher_; }
  void access_stats(capture_stats* stats);

 private:
  // Set on the host's thread, read on the poll thread.
  std::atomic<i_live_av_capture_callback*> callback_{nullptr};
  // Created with the manager, destroyed with it.
  std::shared_ptr<rtmp_publisher> publisher_;
};
