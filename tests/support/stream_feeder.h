// Publishes a test stream to an RTMP address with the ffmpeg CLI, in real time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "process.h"

namespace lrk::test {

// Ready-made ffmpeg input and codec arguments for the common test streams.
namespace streams {
// SMPTE bars (H.264, 4:2:0) with a 1 kHz sine (AAC, 44.1 kHz stereo).
std::vector<std::string> bars_with_tone(int width = 320, int height = 240, int fps = 25);
// Same bars with a 1 kHz tone in MP3.
std::vector<std::string> bars_with_mp3_tone(int width = 320, int height = 240, int fps = 25);
// Video only, H.264 in the given pixel format (yuv420p, yuv422p, yuv444p).
std::vector<std::string> bars_only(int width = 320, int height = 240, int fps = 25,
                                   const std::string& pix_fmt = "yuv420p");
// Audio only, a 1 kHz tone in AAC.
std::vector<std::string> tone_only(int sample_rate = 44100, int channels = 2);
// Bars in FLV's own Sorenson H.263 (not H.264) with an AAC tone.
std::vector<std::string> bars_flv1_with_tone();
}  // namespace streams

class stream_feeder {
 public:
  // Runs `ffmpeg <args> -f flv url` (the inputs carry -re) until stopped; its output goes to log_path.
  stream_feeder(const std::string& url, const std::vector<std::string>& args,
                const std::string& log_path = {});

  child_process& process() { return *process_; }
  void stop() { process_->stop(); }

 private:
  std::unique_ptr<child_process> process_;
};

// A loopback TCP server that accepts connections and never answers.
class silent_listener {
 public:
  silent_listener();
  ~silent_listener();
  silent_listener(const silent_listener&) = delete;
  silent_listener& operator=(const silent_listener&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A loopback port with nothing listening on it (connections are refused).
int refused_port();

}  // namespace lrk::test
