#include "sample_grab_filter.h"

#include <algorithm>

#include "dshow_capture.h"

using capture_platform::format_type;

bool sample_input_pin::check_media_type(const capture_platform::media_type& type) {
  if (type.format != format_type::video_info && type.format != format_type::wave_format_ex)
    return false;
  format_type_ = type.format;
  return true;
}

void sample_input_pin::receive(const capture_platform::i_media_sample& sample) {
  std::lock_guard lock(receive_lock_);
  if (closed_) return;
  const format_type kind = format_type_;
  if (kind != format_type::video_info && kind != format_type::wave_format_ex) return;

  const int size = std::max(0, sample.actual_data_length());
  sample_bytes_ptr bytes = allocate_sample_bytes(size);
  if (size > 0) sample.copy_to(bytes.get());

  std::int64_t time = device_->elapsed_ms();
  // Video is stamped later than sound arriving at the same moment.
  if (kind != format_type::wave_format_ex) time += 100;
  device_->push_data(std::move(bytes), size, time, time);
}

void sample_input_pin::device_failed(const std::string& reason) {
  std::lock_guard lock(receive_lock_);
  if (!closed_) device_->report_failure(reason);
}

void sample_input_pin::close() {
  std::lock_guard lock(receive_lock_);
  closed_ = true;
}

sample_grab_filter::sample_grab_filter(dshow_capture* device,
                                       capture_platform::i_capture_graph& graph, int* result)
    : pin_(std::make_shared<sample_input_pin>(device)), device_(device) {
  *result = graph.create_sink(pin_);
}

sample_grab_filter::~sample_grab_filter() { pin_->close(); }
