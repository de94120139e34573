// A loopback TCP relay in front of a server, for tests that need to see or
// disturb a connection: it forwards both ways, remembers the start of what
// the server sent, and can stall (stop reading from its clients, like a
// server that takes no more data, with a small receive buffer so that the
// client's writes soon block).
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace lrk::test {

class tcp_relay {
 public:
  // Forwards every connection accepted on port() to 127.0.0.1:target_port.
  explicit tcp_relay(int target_port);
  ~tcp_relay();
  tcp_relay(const tcp_relay&) = delete;
  tcp_relay& operator=(const tcp_relay&) = delete;

  int port() const { return port_; }
  // rtmp://127.0.0.1:PORT/live/NAME through the relay.
  std::string rtmp_url(const std::string& stream_name) const;
  // From now on nothing more is read from the clients; the server's side
  // keeps flowing to them.
  void stall();
  // Waits until `text` occurs in the first 64 KiB the server sent on any
  // connection; false on time-out.
  bool wait_for_server_text(const std::string& text, std::chrono::milliseconds timeout);

 private:
  void run();

  int target_port_;
  int listen_fd_ = -1;
  int port_ = 0;
  int wake_fds_[2] = {-1, -1};
  std::atomic<bool> stalled_{false};
  std::mutex seen_lock_;
  std::string seen_;  // guarded by seen_lock_
  std::thread thread_;
};

}  // namespace lrk::test
