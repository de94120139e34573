#include "room_host.h"

#include <cstdarg>
#include <cstdio>

void room_host::on_video_format(int width, int height, int bits_per_pixel) {
  std::lock_guard lock(mutex_);
  figures_.width = width;
  figures_.height = height;
  figures_.bits_per_pixel = bits_per_pixel;
}

void room_host::on_audio_format(int channels, int sample_rate, int bits_per_sample) {
  std::lock_guard lock(mutex_);
  figures_.channels = channels;
  figures_.sample_rate = sample_rate;
  figures_.bits_per_sample = bits_per_sample;
}

void room_host::on_video_frame(unsigned char* data, int size) {
  std::lock_guard lock(mutex_);
  ++figures_.video_frames;
  figures_.video_bytes += size;
  if (keep_latest_) latest_.assign(data, data + size);
}

void room_host::on_audio_frame(unsigned char*, int size) {
  std::lock_guard lock(mutex_);
  ++figures_.audio_buffers;
  figures_.audio_bytes += size;
}

void room_host::on_log(int level, std::string format, ...) {
  if (level != 0 && !verbose_) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format.c_str(), args);
  va_end(args);
  std::fprintf(stderr, "castbay: %s\n", line);
}

void room_host::on_status(int code) {
  std::lock_guard lock(mutex_);
  if (code == 0) ++figures_.refused_video;
  else ++figures_.refused_audio;
}

host_figures room_host::figures() const {
  std::lock_guard lock(mutex_);
  return figures_;
}

bool room_host::latest_frame(std::vector<unsigned char>& bytes, int& width, int& height,
                             int& bits_per_pixel) const {
  std::lock_guard lock(mutex_);
  if (latest_.empty()) return false;
  bytes = latest_;
  width = figures_.width;
  height = figures_.height;
  bits_per_pixel = figures_.bits_per_pixel;
  return true;
}
