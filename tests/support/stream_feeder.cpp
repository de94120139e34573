#include "stream_feeder.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace lrk::test {
namespace streams {
namespace {

std::string size_arg(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

std::vector<std::string> bars_input(int width, int height, int fps) {
  return {"-re", "-f", "lavfi", "-i",
          "smptebars=size=" + size_arg(width, height) + ":rate=" + std::to_string(fps)};
}

std::vector<std::string> tone_input(int sample_rate) {
  return {"-re", "-f", "lavfi", "-i",
          "sine=frequency=1000:sample_rate=" + std::to_string(sample_rate)};
}

std::vector<std::string> h264_args(int fps, const std::string& pix_fmt) {
  // Short GOP so that a player joining mid-stream finds a key frame soon.
  return {"-c:v", "libx264", "-preset", "veryfast", "-tune", "zerolatency", "-g",
          std::to_string(fps), "-pix_fmt", pix_fmt};
}

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

}  // namespace

std::vector<std::string> bars_with_tone(int width, int height, int fps) {
  return concat({bars_input(width, height, fps), tone_input(44100), h264_args(fps, "yuv420p"),
                 {"-c:a", "aac", "-ac", "2", "-b:a", "128k"}});
}

std::vector<std::string> bars_with_mp3_tone(int width, int height, int fps) {
  return concat({bars_input(width, height, fps), tone_input(44100), h264_args(fps, "yuv420p"),
                 {"-c:a", "libmp3lame", "-ac", "2", "-b:a", "128k"}});
}

std::vector<std::string> bars_only(int width, int height, int fps, const std::string& pix_fmt) {
  return concat({bars_input(width, height, fps), h264_args(fps, pix_fmt), {"-an"}});
}

std::vector<std::string> tone_only(int sample_rate, int channels) {
  return concat({tone_input(sample_rate),
                 {"-c:a", "aac", "-ac", std::to_string(channels), "-vn"}});
}

std::vector<std::string> bars_flv1_with_tone() {
  return concat({bars_input(320, 240, 25), tone_input(44100),
                 {"-c:v", "flv1", "-g", "25", "-c:a", "aac", "-ac", "2"}});
}

}  // namespace streams

stream_feeder::stream_feeder(const std::string& url, const std::vector<std::string>& args,
                             const std::string& log_path) {
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.insert(argv.end(), {"-f", "flv", url});
  process_ = std::make_unique<child_process>(argv, log_path);
}

silent_listener::silent_listener() {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd_, 16) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("silent_listener: cannot listen");
  // The kernel completes the handshake from the backlog; nobody ever reads.
  port_ = ntohs(addr.sin_port);
}

silent_listener::~silent_listener() {
  if (fd_ >= 0) close(fd_);
}

int refused_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);  // bound but never listening: the port is free and refuses
  return ntohs(addr.sin_port);
}

}  // namespace lrk::test
