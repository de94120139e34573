#include "rtmp_server.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#ifndef LRK_SOURCE_DIR
#error "LRK_SOURCE_DIR must name the source tree"
#endif

namespace lrk::test {
namespace {

std::string script() { return std::string(LRK_SOURCE_DIR) + "/scripts/rtmp_server.sh"; }

std::string run(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, pipe)) out += buf;
  if (pclose(pipe) != 0) throw std::runtime_error("failed: " + command + "\n" + out);
  return out;
}

}  // namespace

rtmp_server::rtmp_server() {
  // The server is tied to this process: a test that aborts leaves none behind.
  port_ = std::stoi(run("RTMP_SERVER_OWNER=" + std::to_string(getpid()) + " " + script() +
                        " start '" + dir_.path().string() + "'"));
  running_ = true;
}

rtmp_server::~rtmp_server() { stop(); }

void rtmp_server::stop() {
  if (!running_) return;
  running_ = false;
  run(script() + " stop '" + dir_.path().string() + "'");
}

std::string rtmp_server::url(const std::string& stream_name) const {
  return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/" + stream_name;
}

}  // namespace lrk::test
