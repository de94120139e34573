// A sink for the platform's graphs that records what it is given: it copies
// each sample into an array of exactly the length the sample reports (so a
// copy that writes past it is caught), and notes every call that comes
// after the graph's stop returned or after the device failed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/capture_platform.h"

namespace capture_gst_test {

struct received_sample {
  std::chrono::steady_clock::time_point arrival;
  int size = 0;
  std::vector<std::uint8_t> bytes;  // kept for the first samples only
};

class recording_sink : public capture_platform::i_sample_sink {
 public:
  // Keeps the bytes of the first `kept` samples; refuses every type when
  // `accept` is false.
  explicit recording_sink(int kept = 64, bool accept = true) : kept_(kept), accept_(accept) {}

  bool check_media_type(const capture_platform::media_type& type) override;
  void receive(const capture_platform::i_media_sample& sample) override;
  void device_failed(const std::string& reason) override;

  // Call right after the graph's stop returned.
  void stop_returned();

  bool wait_for_samples(int count, std::chrono::milliseconds timeout);
  bool wait_for_failure(std::chrono::milliseconds timeout);

  std::vector<capture_platform::media_type> offered_types() const;
  std::vector<received_sample> samples() const;
  int sample_count() const;
  int failure_count() const;
  std::string failure_reason() const;
  // Calls made after stop_returned() or after device_failed().
  int late_calls() const;

 private:
  const int kept_;
  const bool accept_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_.
  std::vector<capture_platform::media_type> offered_;
  std::vector<received_sample> samples_;
  int failures_ = 0;
  std::string failure_reason_;
  bool stop_returned_ = false;
  int late_calls_ = 0;
};

}  // namespace capture_gst_test
