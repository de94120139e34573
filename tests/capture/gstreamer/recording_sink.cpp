#include "recording_sink.h"

#include <memory>

namespace capture_gst_test {

bool recording_sink::check_media_type(const capture_platform::media_type& type) {
  std::lock_guard lock(mutex_);
  offered_.push_back(type);
  return accept_;
}

void recording_sink::receive(const capture_platform::i_media_sample& sample) {
  received_sample record;
  record.arrival = std::chrono::steady_clock::now();
  record.size = sample.actual_data_length();
  // Exactly the reported length, as the device allocates it.
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[static_cast<std::size_t>(record.size)]);
  sample.copy_to(copy.get());
  std::lock_guard lock(mutex_);
  if (stop_returned_ || failures_ > 0) ++late_calls_;
  if (static_cast<int>(samples_.size()) < kept_) record.bytes.assign(copy.get(), copy.get() + record.size);
  samples_.push_back(std::move(record));
  changed_.notify_all();
}

void recording_sink::device_failed(const std::string& reason) {
  std::lock_guard lock(mutex_);
  if (stop_returned_ || failures_ > 0) ++late_calls_;
  ++failures_;
  failure_reason_ = reason;
  changed_.notify_all();
}

void recording_sink::stop_returned() {
  std::lock_guard lock(mutex_);
  stop_returned_ = true;
}

bool recording_sink::wait_for_samples(int count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return static_cast<int>(samples_.size()) >= count; });
}

bool recording_sink::wait_for_failure(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return failures_ > 0; });
}

std::vector<capture_platform::media_type> recording_sink::offered_types() const {
  std::lock_guard lock(mutex_);
  return offered_;
}

std::vector<received_sample> recording_sink::samples() const {
  std::lock_guard lock(mutex_);
  return samples_;
}

int recording_sink::sample_count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(samples_.size());
}

int recording_sink::failure_count() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

std::string recording_sink::failure_reason() const {
  std::lock_guard lock(mutex_);
  return failure_reason_;
}

int recording_sink::late_calls() const {
  std::lock_guard lock(mutex_);
  return late_calls_;
}

}  // namespace capture_gst_test
