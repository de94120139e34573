#include "guarded_buffer.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace lrk::test {
namespace {

constexpr std::size_t start_alignment = 64;
constexpr unsigned char canary = 0xA5;

std::atomic<int> canary_violations{0};

struct mapping {
  void* base;
  std::size_t length;
  unsigned char* slack;  // from the buffer's end to the guard page
  std::size_t slack_size;
};

void release(void* opaque, uint8_t*) {
  auto* m = static_cast<mapping*>(opaque);
  for (std::size_t i = 0; i < m->slack_size; ++i)
    if (m->slack[i] != canary) {
      ++canary_violations;
      break;
    }
  munmap(m->base, m->length);
  delete m;
}

}  // namespace

AVBufferRef* guarded_buffer_alloc(std::size_t size) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t usable = (size + start_alignment + page - 1) / page * page;
  const std::size_t length = usable + page;
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  auto* bytes = static_cast<unsigned char*>(base);
  unsigned char* guard = bytes + usable;
  if (mprotect(guard, page, PROT_NONE) != 0) {
    munmap(base, length);
    return nullptr;
  }
  auto end = reinterpret_cast<std::uintptr_t>(guard);
  auto* data = reinterpret_cast<unsigned char*>((end - size) & ~(start_alignment - 1));
  auto* m = new mapping{base, length, data + size, static_cast<std::size_t>(guard - (data + size))};
  std::memset(m->slack, canary, m->slack_size);
  AVBufferRef* ref = av_buffer_create(data, size, release, m, 0);
  if (!ref) release(m, nullptr);
  return ref;
}

int guarded_canary_violations() { return canary_violations.load(); }

std::string run_isolated(const std::function<std::string()>& check) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    close(fds[0]);
    std::string result = check();
    if (guarded_canary_violations() > 0) result += " wrote past the end of a buffer (canary);";
    if (!result.empty()) (void)!write(fds[1], result.data(), result.size());
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char chunk[512];
  for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) text.append(chunk, n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    text += std::string(" died of signal ") + std::to_string(sig) + " (" + strsignal(sig) + ")" +
            (sig == SIGSEGV ? ": touched the guard page past a buffer's end;" : ";");
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    text += " exited with status " + std::to_string(WEXITSTATUS(status)) +
            " (a memory checker found errors);";
  }
  return text;
}

}  // namespace lrk::test
