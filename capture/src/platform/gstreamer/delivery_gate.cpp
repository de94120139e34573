#include "platform/gstreamer/delivery_gate.h"

namespace capture_platform::gstreamer {

bool delivery_gate::enter() {
  std::lock_guard lock(mutex_);
  if (!open_) return false;
  ++in_progress_;
  return true;
}

void delivery_gate::leave() {
  std::lock_guard lock(mutex_);
  if (--in_progress_ == 0) idle_.notify_all();
}

void delivery_gate::refuse_further() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

void delivery_gate::close() {
  std::unique_lock lock(mutex_);
  open_ = false;
  idle_.wait(lock, [&] { return in_progress_ == 0; });
}

}  // namespace capture_platform::gstreamer
