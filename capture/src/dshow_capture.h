// The common base of the camera and the microphone: finds a device of one
// category by its path, builds its graph with our sink, runs and stops it,
// and keeps the queue of captured samples that the sink fills on the
// platform's streaming thread and the manager's poll thread drains.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "i_capture_device.h"
#include "platform/capture_platform.h"

class sample_grab_filter;

class dshow_capture : public i_capture_device {
 public:
  // At most this many records wait in the queue; a push beyond it drops the oldest.
  static constexpr std::size_t max_queued_records = 20;
  // How long stop_capture waits for the platform to end the streaming;
  // a graph that takes longer finishes its stop on a thread of its own.
  static constexpr std::chrono::milliseconds stop_wait{2000};

  dshow_capture(std::shared_ptr<capture_platform::i_capture_platform> platform,
                capture_platform::device_category category);
  ~dshow_capture() override;
  dshow_capture(const dshow_capture&) = delete;
  dshow_capture& operator=(const dshow_capture&) = delete;

  int open_device(std::wstring name) override;
  void close_device() override;
  int start_capture() override;
  int stop_capture() override;
  int set_output_format() override { return 0; }
  int process_data(const capture_data&) override { return 0; }
  capture_data get_capture_data() override;

  // Streaming thread (the sink's pin). Queues one sample; dropped while stopped.
  void push_data(sample_bytes_ptr bytes, int size, std::int64_t start_time,
                 std::int64_t end_time);
  // Streaming thread: ms since capture started. The first caller, this or
  // start_capture, sets the start; it is not moved again until the next
  // start, so capture times never run backwards.
  std::int64_t elapsed_ms();
  // Platform threads: the running device failed; kept for the poll thread.
  void report_failure(const std::string& reason);
  // Poll thread: the failure reported since the last call, if any.
  std::optional<std::string> take_failure();

  capture_platform::device_category category() const { return category_; }

 protected:
  // Host's thread: the bound device, null when none is open.
  capture_platform::i_capture_source* source() const { return source_filter_.get(); }
  // Host's thread: whether the device's format control was found.
  bool has_stream_config() const { return stream_config_; }
  // Host's thread: the formats the open device lists, in its order; an
  // index it cannot fetch is skipped, and nothing is listed without the
  // format control.
  std::vector<capture_platform::media_type> listed_formats() const;

 private:
  // The device whose path is `name` (the first one for an empty name); a
  // name is compared up to its first NUL. Result as the lookup walk's: 0
  // (with or without a device), 1 for an empty category, negative on failure.
  int find_device_filter(const std::wstring& name,
                         std::shared_ptr<capture_platform::i_capture_source>* filter);
  int connect_pins();
  // Stops the graph, waiting at most stop_wait.
  void stop_graph();
  // Releases what an earlier open left behind, stopping it first if it runs.
  void release_graph();

  const std::shared_ptr<capture_platform::i_capture_platform> platform_;
  const capture_platform::device_category category_;

  // Any thread.
  std::atomic<std::int64_t> start_tick_{0};  // 0: not set
  std::atomic<bool> stopped_{true};

  // Guards data_list_, the clearing of stopped_ in start_capture and the
  // close-and-clear of stop_capture. Taken after the pin's receive lock.
  std::recursive_mutex device_lock_;
  std::deque<capture_data> data_list_;

  // Host's thread: the graph and what open_device made in it.
  std::shared_ptr<capture_platform::i_capture_graph> graph_;
  bool capture_builder_ = false;
  bool media_control_ = false;
  bool stream_config_ = false;
  std::shared_ptr<capture_platform::i_capture_source> source_filter_;
  std::unique_ptr<sample_grab_filter> sink_filter_;

  std::mutex failure_lock_;
  std::optional<std::string> failure_;  // guarded by failure_lock_
};
