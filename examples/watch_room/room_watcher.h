// A host application's side of the player: receives pictures and sound,
// plays the sound at a sound card's pace (acknowledging each buffer when it
// would have been played), keeps the latest picture and counts everything.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vidlark/live_player.h"

struct watch_figures {
  uint64_t pictures = 0;
  uint64_t picture_bytes = 0;
  uint64_t sound_buffers = 0;
  uint64_t sound_bytes = 0;
  int width = 0, height = 0;
  int channels = 0, sample_rate = 0;
  std::map<int, int> status_counts;
  double first_picture_ms = -1;  // since play() was called
};

class room_watcher final : public i_live_player_callback {
 public:
  explicit room_watcher(bool verbose);
  ~room_watcher() override;

  // Must be called before play(); sound acknowledgements go to `player`.
  void attach(i_live_player* player);
  void mark_play_start();

  void on_video_format(int width, int height, int bits_per_pixel) override;
  void on_audio_format(int channels, int sample_rate, int bits_per_sample) override;
  void on_video_frame(unsigned char* data, int size) override;
  int on_audio_frame(unsigned char* data, int size) override;
  void on_log(int level, std::string format, ...) override;
  void on_status(int code) override;
  void clean() override;

  watch_figures figures() const;
  // Copies the latest picture (bottom-up BGR24); false when none arrived yet.
  bool latest_picture(std::vector<unsigned char>& bytes, int& width, int& height) const;

 private:
  void sound_card_loop();

  const bool verbose_;
  i_live_player* player_ = nullptr;
  std::chrono::steady_clock::time_point play_start_;

  mutable std::mutex mutex_;  // guards everything below
  watch_figures figures_;
  std::vector<unsigned char> latest_;
  int latest_width_ = 0, latest_height_ = 0;
  std::deque<std::chrono::microseconds> queued_sound_;  // durations not yet "played"
  std::condition_variable sound_cv_;
  bool quit_ = false;
  std::thread sound_card_;
};
