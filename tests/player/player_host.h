// A host for the player under test: records every callback in order and
// keeps what the checks need (the latest picture, the sound samples).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vidlark/live_player.h"

namespace lrk::test {

// Shared between the callback object (which the player may destroy) and the test.
struct host_record {
  mutable std::mutex mutex;
  std::condition_variable changed;

  std::vector<std::string> events;  // formats, logs (formatted), status, clean, first frames
  std::vector<std::chrono::steady_clock::time_point> event_times;  // when each event came
  std::vector<std::string> logs;    // formatted log lines only
  std::vector<int> log_args;        // the int argument of each log line (or INT32_MIN)
  std::vector<std::string> log_formats;
  std::vector<int> statuses;
  int video_formats = 0, audio_formats = 0, cleans = 0;
  int width = 0, height = 0, channels = 0, sample_rate = 0;
  uint64_t pictures = 0, sound_buffers = 0;
  uint64_t size_mismatches = 0;  // frames whose size disagrees with the announced format
  std::vector<unsigned char> latest_picture;
  std::vector<int16_t> samples;  // interleaved, capped
  bool blocking = false;  // a host call is blocked (host_options::block_video_frame)
  bool destroyed = false;
  int calls_after_destruction = 0;
  std::chrono::steady_clock::time_point last_call;

  // Waits until pred() holds or the timeout passes. pred() runs under the
  // lock, so it reads fields directly and calls none of the helpers below.
  bool wait_for(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
  // The value of f() read under the lock (for fields the player's threads write).
  template <class F>
  auto read(F f) const {
    std::lock_guard<std::mutex> lock(mutex);
    return f();
  }
  bool has_log(const std::string& text) const;
  int count_log(const std::string& text) const;
  // Index of the first event equal to `text` (or starting with it), -1 if none.
  int event_index(const std::string& prefix) const;
  // When the first event starting with `prefix` came (epoch if none).
  std::chrono::steady_clock::time_point event_time(const std::string& prefix) const;
  // Arrival times of the pictures, capped like the samples.
  std::vector<std::chrono::steady_clock::time_point> picture_times;
};

struct host_options {
  bool acknowledge_sound = true;               // call audio_buffer_done for every buffer
  std::chrono::milliseconds block_video_frame{0};  // block once inside on_video_frame
  std::chrono::milliseconds block_audio_frame{0};  // block once inside on_audio_frame
  size_t max_samples = 44100 * 2 * 4;
};

class recording_host final : public i_live_player_callback {
 public:
  recording_host(std::shared_ptr<host_record> record, host_options options = {});
  ~recording_host() override;
  void attach(i_live_player* player) { player_ = player; }

  void on_video_format(int width, int height, int bits_per_pixel) override;
  void on_audio_format(int channels, int sample_rate, int bits_per_sample) override;
  void on_video_frame(unsigned char* data, int size) override;
  int on_audio_frame(unsigned char* data, int size) override;
  void on_log(int level, std::string format, ...) override;
  void on_status(int code) override;
  void clean() override;

 private:
  void event(const std::string& text);

  std::shared_ptr<host_record> record_;
  host_options options_;
  i_live_player* player_ = nullptr;
  bool blocked_once_ = false;
  bool audio_blocked_once_ = false;
};

struct rgb {
  int r, g, b;
};
// The pixel at column x of picture row y (0 = top) of a bottom-up BGR24 picture.
rgb pixel_at(const std::vector<unsigned char>& bgr, int width, int height, int x, int y);
bool near(rgb a, rgb b, int tolerance);
std::string to_string(rgb c);

// The dominant frequency of channel 0 of interleaved samples, by zero crossings.
double tone_frequency(const std::vector<int16_t>& interleaved, int channels, int sample_rate);

}  // namespace lrk::test
