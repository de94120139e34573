// The gate between a pipeline's threads and the sink: every call to the
// sink passes it, and once it is closed no call starts and the closing
// thread has waited for those in progress. This is what lets a graph's
// stop promise that the sink is never called after it returned, whatever
// the pipeline's own state change still has to do.
#pragma once

#include <condition_variable>
#include <mutex>

namespace capture_platform::gstreamer {

class delivery_gate {
 public:
  // A pipeline thread: true when it may call the sink; pair with leave().
  bool enter();
  void leave();
  // From inside a call that passed the gate: lets no further call in,
  // without waiting (the caller itself is one of those in progress).
  void refuse_further();
  // Lets no further call in, then waits until the calls in progress have
  // left. Never from inside a call (the pipeline's own threads): it would
  // wait for itself.
  void close();

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  // Guarded by mutex_.
  bool open_ = true;
  int in_progress_ = 0;
};

// One pass through a gate, left on destruction.
class gate_pass {
 public:
  explicit gate_pass(delivery_gate& gate) : gate_(gate), entered_(gate.enter()) {}
  ~gate_pass() {
    if (entered_) gate_.leave();
  }
  gate_pass(const gate_pass&) = delete;
  gate_pass& operator=(const gate_pass&) = delete;
  explicit operator bool() const { return entered_; }

 private:
  delivery_gate& gate_;
  const bool entered_;
};

}  // namespace capture_platform::gstreamer
