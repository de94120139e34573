// Our sink in a device's graph: its single input pin takes every sample the
// device produces on the platform's streaming thread, copies it once,
// stamps it with the device's capture clock and queues it on the device.
// It renders and forwards nothing.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/capture_platform.h"

class dshow_capture;

class sample_input_pin : public capture_platform::i_sample_sink {
 public:
  explicit sample_input_pin(dshow_capture* device) : device_(device) {}

  // Connection (host's thread): takes video-info and wave-format types
  // whatever they carry, and remembers the kind of the last one taken.
  bool check_media_type(const capture_platform::media_type& type) override;
  // Streaming thread: copy, stamp, push. Does nothing once closed.
  void receive(const capture_platform::i_media_sample& sample) override;
  // Any platform thread: passes the failure on to the device unless closed.
  void device_failed(const std::string& reason) override;

  // Host's thread, before the device stops its graph: from now on the pin
  // touches neither the sample nor the device. Returns once a receive in
  // progress has finished, so the device may go away even if the platform
  // still holds the pin.
  void close();

 private:
  // Held for the whole of one receive; taken before the device's lock.
  std::mutex receive_lock_;
  // Guarded by receive_lock_.
  bool closed_ = false;
  // Written while connecting, read on the streaming thread.
  std::atomic<capture_platform::format_type> format_type_{capture_platform::format_type::none};
  dshow_capture* const device_;  // the owner; valid until close()
};

class sample_grab_filter {
 public:
  // Creates the pin and the graph's sink endpoint feeding it; *result is
  // the platform's result for that endpoint (negative: no usable sink).
  sample_grab_filter(dshow_capture* device, capture_platform::i_capture_graph& graph,
                     int* result);
  ~sample_grab_filter();
  sample_grab_filter(const sample_grab_filter&) = delete;
  sample_grab_filter& operator=(const sample_grab_filter&) = delete;

  static constexpr const char* object_name = "h264_sender";
  static constexpr const char* class_id = "{70C5C628-5C60-436D-B431-7AC43522A3A4}";

  int pin_count() const { return 1; }
  sample_input_pin* pin(int /*index*/) const { return pin_.get(); }
  void close() { pin_->close(); }

 private:
  // Shared with the graph, which may outlive the filter during a stop that
  // did not finish in time; closed before the device lets go of it.
  std::shared_ptr<sample_input_pin> pin_;
  dshow_capture* const device_;
};
