#include "recording_callback.h"

#include <cstdarg>
#include <cstdio>

namespace capture_test {

void recording_callback::on_log(int level, std::string format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format.c_str(), args);
  va_end(args);
  std::lock_guard lock(lock_);
  lines_.push_back({level, format, text});
}

void recording_callback::on_status(int code) {
  std::lock_guard lock(lock_);
  statuses_.push_back(code);
}

void recording_callback::on_video_format(int width, int height, int bits) {
  std::lock_guard lock(lock_);
  notices_.push_back({true, width, height, bits});
}

void recording_callback::on_audio_format(int channels, int sample_rate, int bits) {
  std::lock_guard lock(lock_);
  notices_.push_back({false, channels, sample_rate, bits});
}

void recording_callback::on_video_frame(unsigned char* data, int size) {
  std::lock_guard lock(lock_);
  video_sizes_.push_back(size);
  last_video_.assign(data, data + size);
}

void recording_callback::on_audio_frame(unsigned char* data, int size) {
  std::lock_guard lock(lock_);
  audio_sizes_.push_back(size);
  // A bounded record: a long room must not grow the test's memory without end.
  if (audio_bytes_.size() < (std::size_t{64} << 20)) audio_bytes_.insert(audio_bytes_.end(), data, data + size);
}

std::vector<format_notice> recording_callback::notices() const {
  std::lock_guard lock(lock_);
  return notices_;
}

std::vector<int> recording_callback::video_frame_sizes() const {
  std::lock_guard lock(lock_);
  return video_sizes_;
}

std::vector<int> recording_callback::audio_frame_sizes() const {
  std::lock_guard lock(lock_);
  return audio_sizes_;
}

std::vector<unsigned char> recording_callback::last_video_frame() const {
  std::lock_guard lock(lock_);
  return last_video_;
}

std::vector<unsigned char> recording_callback::audio_bytes() const {
  std::lock_guard lock(lock_);
  return audio_bytes_;
}

std::vector<std::string> recording_callback::texts_starting(const std::string& prefix) const {
  std::lock_guard lock(lock_);
  std::vector<std::string> found;
  for (const log_line& l : lines_)
    if (l.level == 0 && l.text.rfind(prefix, 0) == 0) found.push_back(l.text);
  return found;
}

std::vector<log_line> recording_callback::lines() const {
  std::lock_guard lock(lock_);
  return lines_;
}

std::vector<std::string> recording_callback::formats(int level) const {
  std::lock_guard lock(lock_);
  std::vector<std::string> found;
  for (const log_line& l : lines_)
    if (l.level == level) found.push_back(l.format);
  return found;
}

std::vector<int> recording_callback::statuses() const {
  std::lock_guard lock(lock_);
  return statuses_;
}

}  // namespace capture_test
