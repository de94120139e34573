#include "room_watcher.h"

#include <cstdarg>
#include <cstdio>

room_watcher::room_watcher(bool verbose) : verbose_(verbose) {}

room_watcher::~room_watcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  sound_cv_.notify_all();
  if (sound_card_.joinable()) sound_card_.join();
}

void room_watcher::attach(i_live_player* player) {
  player_ = player;
  sound_card_ = std::thread([this] { sound_card_loop(); });
}

void room_watcher::mark_play_start() { play_start_ = std::chrono::steady_clock::now(); }

void room_watcher::on_video_format(int width, int height, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  figures_.width = width;
  figures_.height = height;
  if (verbose_) std::fprintf(stderr, "video format: %dx%d\n", width, height);
}

void room_watcher::on_audio_format(int channels, int sample_rate, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  figures_.channels = channels;
  figures_.sample_rate = sample_rate;
  if (verbose_) std::fprintf(stderr, "audio format: %d channels, %d Hz\n", channels, sample_rate);
}

void room_watcher::on_video_frame(unsigned char* data, int size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (figures_.pictures == 0)
    figures_.first_picture_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - play_start_).count();
  ++figures_.pictures;
  figures_.picture_bytes += size;
  latest_.assign(data, data + size);
  latest_width_ = figures_.width;
  latest_height_ = figures_.height;
}

int room_watcher::on_audio_frame(unsigned char*, int size) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++figures_.sound_buffers;
  figures_.sound_bytes += size;
  const int frame_bytes = figures_.channels * 2;
  if (frame_bytes > 0 && figures_.sample_rate > 0) {
    const int64_t samples = size / frame_bytes;
    queued_sound_.push_back(std::chrono::microseconds(samples * 1000000 / figures_.sample_rate));
  } else {
    queued_sound_.push_back(std::chrono::microseconds(0));
  }
  sound_cv_.notify_all();
  return 1;
}

void room_watcher::sound_card_loop() {
  // Plays each buffer for its duration, then hands it back, like a device.
  std::unique_lock<std::mutex> lock(mutex_);
  auto next = std::chrono::steady_clock::now();
  while (true) {
    sound_cv_.wait(lock, [this] { return quit_ || !queued_sound_.empty(); });
    if (quit_) return;
    const auto duration = queued_sound_.front();
    queued_sound_.pop_front();
    next = std::max(next, std::chrono::steady_clock::now()) + duration;
    if (sound_cv_.wait_until(lock, next, [this] { return quit_; })) return;
    lock.unlock();
    player_->audio_buffer_done(0);
    lock.lock();
  }
}

void room_watcher::on_log(int, std::string format, ...) {
  if (!verbose_) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format.c_str(), args);
  va_end(args);
  std::fprintf(stderr, "vidlark: %s\n", line);
}

void room_watcher::on_status(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++figures_.status_counts[code];
  if (verbose_) std::fprintf(stderr, "status %d\n", code);
}

void room_watcher::clean() {
  std::lock_guard<std::mutex> lock(mutex_);
  queued_sound_.clear();
}

watch_figures room_watcher::figures() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return figures_;
}

bool room_watcher::latest_picture(std::vector<unsigned char>& bytes, int& width, int& height) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (latest_.empty()) return false;
  bytes = latest_;
  width = latest_width_;
  height = latest_height_;
  return true;
}
