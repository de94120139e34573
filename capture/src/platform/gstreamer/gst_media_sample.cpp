#include "platform/gstreamer/gst_media_sample.h"

#include <cstring>
#include <utility>

namespace capture_platform::gstreamer {
namespace {

int packed_row_bytes(media_subtype layout, int width) {
  return layout == media_subtype::rgb24 ? width * 3 : width * 2;
}

// Copies `rows` rows of `row_bytes` each from rows `stride` bytes apart
// into packed rows, in the same order or bottom row first.
void copy_rows(const std::uint8_t* source, int stride, int row_bytes, int rows, bool bottom_up,
               std::uint8_t* destination) {
  for (int row = 0; row < rows; ++row) {
    const int target = bottom_up ? rows - 1 - row : row;
    std::memcpy(destination + static_cast<std::ptrdiff_t>(target) * row_bytes,
                source + static_cast<std::ptrdiff_t>(row) * stride,
                static_cast<std::size_t>(row_bytes));
  }
}

// Copies a buffer's bytes into `destination`, at most `room` of them;
// returns how many were copied.
int copy_buffer(GstBuffer* buffer, std::uint8_t* destination, int room) {
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return 0;
  const int bytes = static_cast<int>(map.size) < room ? static_cast<int>(map.size) : room;
  std::memcpy(destination, map.data, static_cast<std::size_t>(bytes));
  gst_buffer_unmap(buffer, &map);
  return bytes;
}

}  // namespace

video_frame_sample::video_frame_sample(GstBuffer* buffer, const GstVideoInfo& info,
                                       media_subtype layout)
    : buffer_(buffer), info_(info), layout_(layout) {}

int video_frame_sample::actual_data_length() const {
  return packed_row_bytes(layout_, GST_VIDEO_INFO_WIDTH(&info_)) * GST_VIDEO_INFO_HEIGHT(&info_);
}

void video_frame_sample::copy_to(std::uint8_t* destination) const {
  const int length = actual_data_length();
  const int row_bytes = packed_row_bytes(layout_, GST_VIDEO_INFO_WIDTH(&info_));
  GstVideoFrame frame;
  // The frame's own info carries the strides and offsets the buffer's video
  // meta reports (a driver's padded rows), which the caps alone do not.
  if (!gst_video_frame_map(&frame, const_cast<GstVideoInfo*>(&info_), buffer_, GST_MAP_READ)) {
    std::memset(destination, 0, static_cast<std::size_t>(length));
    return;
  }
  const auto* source = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
  copy_rows(source, GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), row_bytes,
            GST_VIDEO_FRAME_HEIGHT(&frame), layout_ == media_subtype::rgb24, destination);
  gst_video_frame_unmap(&frame);
}

buffer_bytes_sample::buffer_bytes_sample(std::vector<GstBuffer*> buffers)
    : buffers_(std::move(buffers)) {
  for (GstBuffer* buffer : buffers_) length_ += static_cast<int>(gst_buffer_get_size(buffer));
}

void buffer_bytes_sample::copy_to(std::uint8_t* destination) const {
  int copied = 0;
  for (GstBuffer* buffer : buffers_)
    copied += copy_buffer(buffer, destination + copied, length_ - copied);
  std::memset(destination + copied, 0, static_cast<std::size_t>(length_ - copied));
}

}  // namespace capture_platform::gstreamer
