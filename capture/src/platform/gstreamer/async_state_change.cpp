#include "platform/gstreamer/async_state_change.h"

#include "platform/gstreamer/gst_holders.h"

namespace capture_platform::gstreamer {

bool async_state_change::start(GstElement* pipeline, GstState state) {
  {
    std::lock_guard lock(outcome_->mutex);
    if (!outcome_->finished) return false;
    outcome_->finished = false;
  }
  join();
  thread_ = std::thread([pipeline = add_reference(pipeline), state, outcome = outcome_] {
    const GstStateChangeReturn result = gst_element_set_state(pipeline.get(), state);
    std::lock_guard lock(outcome->mutex);
    outcome->result = result;
    outcome->finished = true;
  });
  return true;
}

bool async_state_change::finished(GstStateChangeReturn* result) {
  std::lock_guard lock(outcome_->mutex);
  if (outcome_->finished && result) *result = outcome_->result;
  return outcome_->finished;
}

void async_state_change::join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace capture_platform::gstreamer
