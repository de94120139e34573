// Changes a pipeline's state on a thread of its own, so that the caller can
// bound its wait: a source that blocks inside its state change (a sound
// server that stopped answering) then holds only that thread.
#pragma once

#include <gst/gst.h>

#include <memory>
#include <mutex>
#include <thread>

namespace capture_platform::gstreamer {

class async_state_change {
 public:
  async_state_change() = default;
  ~async_state_change() { join(); }
  async_state_change(const async_state_change&) = delete;
  async_state_change& operator=(const async_state_change&) = delete;

  // Starts the change; false while an earlier one has not returned.
  bool start(GstElement* pipeline, GstState state);
  // Whether the change has returned, with its result.
  bool finished(GstStateChangeReturn* result);
  // Waits for the change to return, without a bound.
  void join();

 private:
  struct outcome {
    std::mutex mutex;
    bool finished = true;
    GstStateChangeReturn result = GST_STATE_CHANGE_SUCCESS;
  };
  // The thread's outcome, shared with it.
  std::shared_ptr<outcome> outcome_ = std::make_shared<outcome>();
  std::thread thread_;
};

}  // namespace capture_platform::gstreamer
