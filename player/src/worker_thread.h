// A thread whose join has a deadline. A thread that outlives it is detached:
// Linux has no safe way to end it, so whatever it uses must be kept alive by
// the thread itself (shared ownership), never borrowed from its owner.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class worker_thread {
 public:
  explicit worker_thread(std::function<void()> body);
  ~worker_thread();  // detaches a thread still running
  worker_thread(const worker_thread&) = delete;
  worker_thread& operator=(const worker_thread&) = delete;

  // Joins within `timeout`; false when the thread is still running, in
  // which case it has been detached.
  bool join_for(std::chrono::milliseconds timeout);

 private:
  struct completion {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
  };
  std::shared_ptr<completion> completion_;
  std::thread thread_;
};
