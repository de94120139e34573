// A host callback for tests: records every log line (formatted), status,
// format notice and frame (sizes, and the latest frame's bytes).
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "castbay/live_av_capture.h"

namespace capture_test {

struct log_line {
  int level;
  std::string format;
  std::string text;  // formatted with its arguments
};

struct format_notice {
  bool video;
  int a, b, c;  // video: width, height, bits; audio: channels, rate, bits
  bool operator==(const format_notice&) const = default;
};

class recording_callback : public i_live_av_capture_callback {
 public:
  void on_video_format(int width, int height, int bits) override;
  void on_audio_format(int channels, int sample_rate, int bits) override;
  void on_video_frame(unsigned char* data, int size) override;
  void on_audio_frame(unsigned char* data, int size) override;
  void on_log(int level, std::string format, ...) override;
  void on_status(int code) override;
  void clean() override {}

  std::vector<log_line> lines() const;
  // The formats logged at `level`, in order.
  std::vector<std::string> formats(int level) const;
  std::vector<int> statuses() const;
  std::vector<format_notice> notices() const;
  std::vector<int> video_frame_sizes() const;
  std::vector<int> audio_frame_sizes() const;
  std::vector<unsigned char> last_video_frame() const;
  // Every audio frame's bytes, joined.
  std::vector<unsigned char> audio_bytes() const;
  // Texts (formatted) logged at level 0 that start with `prefix`.
  std::vector<std::string> texts_starting(const std::string& prefix) const;

 private:
  mutable std::mutex lock_;
  std::vector<log_line> lines_;
  std::vector<int> statuses_;
  std::vector<format_notice> notices_;
  std::vector<int> video_sizes_;
  std::vector<int> audio_sizes_;
  std::vector<unsigned char> last_video_;
  std::vector<unsigned char> audio_bytes_;
};

}  // namespace capture_test
