// A child process for tests: started from an argument vector, paused,
// resumed and stopped by signal, reaped on destruction.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace lrk::test {

class child_process {
 public:
  // Starts argv[0] (searched in PATH); stdout and stderr go to log_path
  // (or /dev/null when empty).
  child_process(std::vector<std::string> argv, const std::string& log_path = {});
  ~child_process();
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  void pause();   // SIGSTOP
  void resume();  // SIGCONT
  // Sends SIGTERM (then SIGKILL after a grace period) and reaps the child.
  void stop();
  // Waits for the child to exit by itself; returns its exit status, or -1 on time-out.
  int wait(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace lrk::test
