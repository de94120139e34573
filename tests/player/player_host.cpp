#include "player_host.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

namespace lrk::test {

bool host_record::wait_for(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, timeout, pred);
}

bool host_record::has_log(const std::string& text) const { return count_log(text) > 0; }

int host_record::count_log(const std::string& text) const {
  std::lock_guard<std::mutex> lock(mutex);
  int n = 0;
  for (const auto& l : logs) n += l == text;
  return n;
}

std::chrono::steady_clock::time_point host_record::event_time(const std::string& prefix) const {
  std::lock_guard<std::mutex> lock(mutex);
  for (size_t i = 0; i < events.size(); ++i)
    if (events[i].rfind(prefix, 0) == 0) return event_times[i];
  return {};
}

int host_record::event_index(const std::string& prefix) const {
  std::lock_guard<std::mutex> lock(mutex);
  for (size_t i = 0; i < events.size(); ++i)
    if (events[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  return -1;
}

recording_host::recording_host(std::shared_ptr<host_record> record, host_options options)
    : record_(std::move(record)), options_(options) {}

recording_host::~recording_host() {
  std::lock_guard<std::mutex> lock(record_->mutex);
  record_->destroyed = true;
  record_->changed.notify_all();
}

void recording_host::event(const std::string& text) {
  record_->events.push_back(text);
  record_->last_call = std::chrono::steady_clock::now();
  record_->event_times.push_back(record_->last_call);
  if (record_->destroyed) ++record_->calls_after_destruction;
  record_->changed.notify_all();
}

void recording_host::on_video_format(int width, int height, int bpp) {
  std::lock_guard<std::mutex> lock(record_->mutex);
  ++record_->video_formats;
  record_->width = width;
  record_->height = height;
  event("video_format " + std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bpp));
}

void recording_host::on_audio_format(int channels, int sample_rate, int bits) {
  std::lock_guard<std::mutex> lock(record_->mutex);
  ++record_->audio_formats;
  record_->channels = channels;
  record_->sample_rate = sample_rate;
  event("audio_format " + std::to_string(channels) + " " + std::to_string(sample_rate) + " " +
        std::to_string(bits));
}

void recording_host::on_video_frame(unsigned char* data, int size) {
  uint64_t pictures;
  {
    std::lock_guard<std::mutex> lock(record_->mutex);
    if (record_->pictures == 0) event("first_video_frame");
    pictures = ++record_->pictures;
    if (size != record_->width * record_->height * 3) ++record_->size_mismatches;
    record_->latest_picture.assign(data, data + size);
    record_->last_call = std::chrono::steady_clock::now();
    if (record_->picture_times.size() < 100000) record_->picture_times.push_back(record_->last_call);
    if (record_->destroyed) ++record_->calls_after_destruction;
    record_->changed.notify_all();
  }
  // A host that hangs in its display code, a few pictures in.
  if (options_.block_video_frame.count() > 0 && !blocked_once_ && pictures >= 3) {
    blocked_once_ = true;
    {
      std::lock_guard<std::mutex> lock(record_->mutex);
      record_->blocking = true;
      event("blocking in video frame");
    }
    std::this_thread::sleep_for(options_.block_video_frame);
    std::lock_guard<std::mutex> lock(record_->mutex);
    event("unblocked");
  }
}

int recording_host::on_audio_frame(unsigned char* data, int size) {
  {
    std::lock_guard<std::mutex> lock(record_->mutex);
    if (record_->sound_buffers == 0) event("first_audio_frame");
    ++record_->sound_buffers;
    if (record_->channels <= 0 || size % (record_->channels * 2) != 0) ++record_->size_mismatches;
    const size_t n = size / 2;
    if (record_->samples.size() + n <= options_.max_samples) {
      const size_t at = record_->samples.size();
      record_->samples.resize(at + n);
      std::memcpy(record_->samples.data() + at, data, n * 2);
    }
    record_->last_call = std::chrono::steady_clock::now();
    record_->changed.notify_all();
  }
  // A host that hangs in its sound output, a few buffers in.
  if (options_.block_audio_frame.count() > 0 && !audio_blocked_once_ &&
      record_->read([&] { return record_->sound_buffers; }) >= 3) {
    audio_blocked_once_ = true;
    {
      std::lock_guard<std::mutex> lock(record_->mutex);
      record_->blocking = true;
      event("blocking in audio frame");
    }
    std::this_thread::sleep_for(options_.block_audio_frame);
    std::lock_guard<std::mutex> lock(record_->mutex);
    event("unblocked");
  }
  // Acknowledged at once: the tests play sound faster than real time.
  if (options_.acknowledge_sound && player_) player_->audio_buffer_done(0);
  return 1;
}

namespace {
// Messages that carry the result code as an argument without a placeholder.
bool carries_bare_argument(const std::string& format) {
  return format == "connect to stream timeout!" || format == "detect stream info failed!" ||
         format == "stream connected, but no stream info found!";
}
}  // namespace

void recording_host::on_log(int, std::string format, ...) {
  char line[1024];
  int arg = INT_MIN;
  va_list args;
  va_start(args, format);
  if (carries_bare_argument(format)) {
    arg = va_arg(args, int);
    std::snprintf(line, sizeof line, "%s", format.c_str());
  } else {
    va_list copy;
    va_copy(copy, args);
    if (format.find("%d") != std::string::npos) arg = va_arg(copy, int);
    va_end(copy);
    std::vsnprintf(line, sizeof line, format.c_str(), args);
  }
  va_end(args);
  std::lock_guard<std::mutex> lock(record_->mutex);
  record_->logs.push_back(line);
  record_->log_formats.push_back(format);
  record_->log_args.push_back(arg);
  event(std::string("log ") + line);
}

void recording_host::on_status(int code) {
  std::lock_guard<std::mutex> lock(record_->mutex);
  record_->statuses.push_back(code);
  event("status " + std::to_string(code));
}

void recording_host::clean() {
  std::lock_guard<std::mutex> lock(record_->mutex);
  ++record_->cleans;
  event("clean");
}

rgb pixel_at(const std::vector<unsigned char>& bgr, int width, int height, int x, int y) {
  const size_t row = static_cast<size_t>(height - 1 - y);  // bottom row first
  const unsigned char* p = bgr.data() + (row * width + x) * 3;
  return {p[2], p[1], p[0]};
}

bool near(rgb a, rgb b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

std::string to_string(rgb c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

double tone_frequency(const std::vector<int16_t>& interleaved, int channels, int sample_rate) {
  if (channels <= 0 || sample_rate <= 0) return 0;
  const size_t frames = interleaved.size() / channels;
  if (frames < 2) return 0;
  size_t crossings = 0;
  for (size_t i = 1; i < frames; ++i) {
    const int a = interleaved[(i - 1) * channels], b = interleaved[i * channels];
    crossings += (a < 0) != (b < 0);
  }
  return crossings / 2.0 / (static_cast<double>(frames) / sample_rate);
}

}  // namespace lrk::test
