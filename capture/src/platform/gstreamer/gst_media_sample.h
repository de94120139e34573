// Views of what a pipeline delivered, as the sink copies them: the one copy
// a sample gets writes the host's layout straight from GStreamer's memory.
#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <vector>

#include "platform/capture_platform.h"

namespace capture_platform::gstreamer {

// One YUY2 or RGB24 (GStreamer's BGR) video frame: YUY2 is copied top row
// first and RGB24 bottom row first, both as packed rows of width x 2 or
// width x 3 bytes, whatever the strides of the buffer (a driver's, or
// GStreamer's rows padded to 4 bytes).
class video_frame_sample final : public i_media_sample {
 public:
  // `buffer` and `info` must outlive the view; `layout` is yuy2 or rgb24.
  video_frame_sample(GstBuffer* buffer, const GstVideoInfo& info, media_subtype layout);
  int actual_data_length() const override;
  void copy_to(std::uint8_t* destination) const override;

 private:
  GstBuffer* buffer_;
  const GstVideoInfo& info_;
  const media_subtype layout_;
};

// The bytes of one or more buffers, end to end: sound, re-chunked or not,
// and video in layouts the host takes as they come (JPEG, other raw ones).
class buffer_bytes_sample final : public i_media_sample {
 public:
  // The buffers must outlive the view.
  explicit buffer_bytes_sample(std::vector<GstBuffer*> buffers);
  int actual_data_length() const override { return length_; }
  void copy_to(std::uint8_t* destination) const override;

 private:
  std::vector<GstBuffer*> buffers_;
  int length_ = 0;
};

}  // namespace capture_platform::gstreamer
