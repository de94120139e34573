// The camera: chooses the uncompressed format (YUY2 or RGB24) closest to
// the requested size, sets the requested frame rate on it, tells the host
// and the publisher, and hands every captured frame to both.
#pragma once

#include <optional>

#include "dshow_capture.h"
#include "platform/media_type.h"

class live_capture_manager;

class video_capture : public dshow_capture {
 public:
  video_capture(std::shared_ptr<capture_platform::i_capture_platform> platform,
                live_capture_manager* manager);

  // Releases the graph and the chosen format.
  void close_device() override;
  // Chooses and sets the output format: 0 (or the read-back's success
  // code), e_fail when no format suits, or the platform's failure.
  int set_output_format() override;
  // {fps, width, height}; an fps of 0 (or less) means 20.
  void set_capture_param(const int* params) override;
  // Passes the chosen format and the bit rate width x height x quality to
  // the publisher. Nothing without a chosen format. 0.
  int set_encode_param(float quality) override;
  // Poll thread: publishes the frame, then hands it to the host. 0.
  int process_data(const capture_data& item) override;

  // Host's thread: the format chosen by the last set_output_format.
  const std::optional<capture_platform::media_type>& output_type() const { return output_type_; }
  int requested_fps() const { return fps_; }

 private:
  template <typename... Args>
  void log(const char* format, Args... args) const;

  // Host's thread.
  int width_ = 320;
  int height_ = 240;
  int fps_ = 15;
  std::optional<capture_platform::media_type> output_type_;
  live_capture_manager* const manager_;
};
