#include "bounded_call.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {
struct completion {
  std::mutex lock;
  std::condition_variable done_changed;
  bool done = false;  // guarded by lock
};
}  // namespace

bool run_bounded(std::function<void()> call, std::chrono::milliseconds limit) {
  auto state = std::make_shared<completion>();
  std::thread([state, call = std::move(call)]() mutable {
    call();
    // What the call owns goes with it, before the caller hears it finished.
    call = nullptr;
    std::lock_guard lock(state->lock);
    state->done = true;
    state->done_changed.notify_all();
  }).detach();
  std::unique_lock lock(state->lock);
  return state->done_changed.wait_for(lock, limit, [&] { return state->done; });
}
