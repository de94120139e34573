// The tests' RTMP server: a private nginx with the RTMP module on a free
// loopback port, started by scripts/rtmp_server.sh and stopped on destruction.
#pragma once

#include <string>

#include "temp_dir.h"

namespace lrk::test {

class rtmp_server {
 public:
  rtmp_server();
  ~rtmp_server();
  rtmp_server(const rtmp_server&) = delete;
  rtmp_server& operator=(const rtmp_server&) = delete;

  int port() const { return port_; }
  // rtmp://127.0.0.1:PORT/live/NAME
  std::string url(const std::string& stream_name) const;
  // Ends the server abruptly (a server that vanishes).
  void stop();

 private:
  temp_dir dir_;
  int port_ = 0;
  bool running_ = false;
};

}  // namespace lrk::test
