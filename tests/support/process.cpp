#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

extern char** environ;

namespace lrk::test {

child_process::child_process(std::vector<std::string> argv, const std::string& log_path) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out = log_path.empty() ? "/dev/null" : log_path;
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int r = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) throw std::runtime_error("cannot start " + argv[0]);
}

child_process::~child_process() { stop(); }

bool child_process::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    status_ = status;
    pid_ = -1;
    return false;
  }
  return true;
}

void child_process::pause() {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void child_process::resume() {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

int child_process::wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (running()) {
    if (std::chrono::steady_clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}

void child_process::stop() {
  if (!running()) return;
  kill(pid_, SIGCONT);
  kill(pid_, SIGTERM);
  if (wait(std::chrono::milliseconds(2000)) >= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, &status_, 0);
  pid_ = -1;
}

}  // namespace lrk::test
