// A host callback for tests: records every log line (formatted) and status.
#pragma once

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

class recording_callback : public i_live_av_capture_callback {
 public:
  void on_video_format(int, int, int) override {}
  void on_audio_format(int, int, int) override {}
  void on_video_frame(unsigned char*, int) override {}
  void on_audio_frame(unsigned char*, int) override {}
  void on_log(int level, std::string format, ...) override;
  void on_status(int code) override;
  void clean() override {}

  std::vector<log_line> lines() const;
  // The formats logged at `level`, in order.
  std::vector<std::string> formats(int level) const;
  std::vector<int> statuses() const;

 private:
  mutable std::mutex lock_;
  std::vector<log_line> lines_;
  std::vector<int> statuses_;
};

}  // namespace capture_test
