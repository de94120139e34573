// Feeds a publisher synthetic captured media, the way the capture poll
// thread does: video frames at 30 fps and PCM buffers of two encoder frames,
// in capture-time order, each with its capture time in milliseconds.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rtmp_publisher.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/samplefmt.h>
}

namespace capture_test {

struct media_plan {
  bool video = true;
  AVPixelFormat pix_fmt = AV_PIX_FMT_YUYV422;
  int width = 320;
  int height = 240;
  bool audio = true;
  AVSampleFormat sample_fmt = AV_SAMPLE_FMT_S16;
  int channels = 2;
  int sample_rate = 44100;
  int video_bit_rate = 400000;
  bool noise = false;  // pictures that cost many bits
};

// Gives the publisher the plan's settings and stream marks.
void configure(rtmp_publisher& publisher, const media_plan& plan);

// What one write call returned and how long it took.
struct write_call {
  bool video;
  int result;
  std::chrono::milliseconds took;
};

class media_feeder {
 public:
  media_feeder(rtmp_publisher& publisher, media_plan plan);

  // Writes the next `frames` video frames (and the audio of the same span)
  // and returns every call made. Capture times start at `start_ms`; a
  // `time_of` hook may change a frame's capture time (jitter, repeats).
  std::vector<write_call> feed(int frames);

  void set_time_of(std::function<std::int64_t(int frame, std::int64_t planned)> time_of) {
    time_of_ = std::move(time_of);
  }
  const std::vector<std::int64_t>& video_times() const { return video_times_; }
  // Audio sample frames handed over (whole encoder frames only, none dropped).
  std::int64_t audio_samples() const { return audio_samples_; }

 private:
  rtmp_publisher& publisher_;
  media_plan plan_;
  std::int64_t start_ms_ = 100;
  int next_frame_ = 0;
  std::int64_t audio_samples_ = 0;
  std::vector<std::int64_t> video_times_;
  std::function<std::int64_t(int, std::int64_t)> time_of_;
};

}  // namespace capture_test
