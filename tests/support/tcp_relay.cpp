#include "tcp_relay.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace lrk::test {
namespace {

constexpr int small_buffer = 4096;
constexpr std::size_t seen_limit = 64 * 1024;

sockaddr_in loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

bool send_all(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= n;
  }
  return true;
}

struct connection {
  int client = -1;
  int server = -1;
};

void close_connection(connection& c) {
  if (c.client >= 0) close(c.client);
  if (c.server >= 0) close(c.server);
  c = connection{};
}

}  // namespace

tcp_relay::tcp_relay(int target_port) : target_port_(target_port) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
  // Inherited by accepted sockets: a stalled client fills it quickly.
  setsockopt(listen_fd_, SOL_SOCKET, SO_RCVBUF, &small_buffer, sizeof small_buffer);
  sockaddr_in addr = loopback(0);
  socklen_t len = sizeof addr;
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 8) != 0 ||
      getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      pipe(wake_fds_) != 0)
    throw std::runtime_error("tcp_relay: cannot listen");
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { run(); });
}

tcp_relay::~tcp_relay() {
  const char stop = 1;
  if (write(wake_fds_[1], &stop, 1) < 0) {
    // The thread still ends when the pipe closes below.
  }
  if (thread_.joinable()) thread_.join();
  close(wake_fds_[0]);
  close(wake_fds_[1]);
  close(listen_fd_);
}

std::string tcp_relay::rtmp_url(const std::string& stream_name) const {
  return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/" + stream_name;
}

void tcp_relay::stall() {
  stalled_ = true;
  const char wake = 0;
  if (write(wake_fds_[1], &wake, 1) < 0) {
    // Picked up at the next wake-up of the relay thread anyway.
  }
}

bool tcp_relay::wait_for_server_text(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(seen_lock_);
      if (seen_.find(text) != std::string::npos) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void tcp_relay::run() {
  std::vector<connection> connections;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    std::vector<pollfd> fds = {{wake_fds_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    const bool stalled = stalled_;
    for (const connection& c : connections) {
      fds.push_back({c.client, static_cast<short>(stalled ? 0 : POLLIN), 0});
      fds.push_back({c.server, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 1000) < 0) continue;
    if (fds[0].revents) {
      char command = 0;
      if (read(wake_fds_[0], &command, 1) != 1 || command == 1) break;
    }
    // Only the connections that were polled; a new one joins below.
    const std::size_t polled = (fds.size() - 2) / 2;
    for (std::size_t i = 0; i < polled; ++i) {
      connection& c = connections[i];
      const pollfd& from_client = fds[2 + 2 * i];
      const pollfd& from_server = fds[3 + 2 * i];
      bool open = true;
      if (from_client.revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t n = recv(c.client, buffer.data(), buffer.size(), 0);
        open = n > 0 && send_all(c.server, buffer.data(), n);
      }
      if (open && (from_server.revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = recv(c.server, buffer.data(), buffer.size(), 0);
        open = n > 0 && send_all(c.client, buffer.data(), n);
        if (open) {
          std::lock_guard lock(seen_lock_);
          if (seen_.size() < seen_limit) seen_.append(buffer.data(), static_cast<size_t>(n));
        }
      }
      if (!open) close_connection(c);
    }
    std::erase_if(connections, [](const connection& c) { return c.client < 0; });
    if (fds[1].revents & POLLIN) {
      connection c;
      c.client = accept(listen_fd_, nullptr, nullptr);
      c.server = socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in target = loopback(target_port_);
      if (c.client >= 0 && c.server >= 0 &&
          connect(c.server, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
        connections.push_back(c);
      else
        close_connection(c);
    }
  }
  for (connection& c : connections) close_connection(c);
}

}  // namespace lrk::test
