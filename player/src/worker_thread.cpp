#include "worker_thread.h"

namespace {

// Keeps the library mapped while a worker lives. The C library defers
// unloading a shared object (dlclose) for as long as a thread still has a
// thread_local destructor of it to run, so a worker that outlived its join
// never returns into unmapped code, and the library unloads as soon as no
// worker is left.
struct library_pin {
  ~library_pin() { held = false; }
  volatile bool held = true;
};
thread_local library_pin pin;

}  // namespace

worker_thread::worker_thread(std::function<void()> body)
    : completion_(std::make_shared<completion>()) {
  thread_ = std::thread([body = std::move(body), c = completion_]() {
    (void)pin.held;  // first use in this thread registers its destructor
    body();
    {
      std::lock_guard<std::mutex> lock(c->mutex);
      c->done = true;
    }
    c->done_cv.notify_all();
  });
}

worker_thread::~worker_thread() {
  if (thread_.joinable()) thread_.detach();
}

bool worker_thread::join_for(std::chrono::milliseconds timeout) {
  if (!thread_.joinable()) return true;
  bool done;
  {
    std::unique_lock<std::mutex> lock(completion_->mutex);
    done = completion_->done_cv.wait_for(lock, timeout, [&] { return completion_->done; });
  }
  if (done) {
    thread_.join();
  } else {
    thread_.detach();
  }
  return done;
}
