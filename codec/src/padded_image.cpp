#include "padded_image.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/macros.h>
}

namespace {
constexpr int block_pixels = 64;
constexpr int stride_alignment = 64;
}  // namespace

bool allocate_padded_picture(AVFrame& frame, buffer_allocator allocator) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  if (frame.width <= 0 || frame.height <= 0 ||
      av_image_check_size(static_cast<unsigned>(frame.width), static_cast<unsigned>(frame.height), 0,
                          nullptr) < 0)
    return false;
  int linesize[4] = {};
  if (av_image_fill_linesizes(linesize, format, FFALIGN(frame.width, block_pixels)) < 0) return false;
  ptrdiff_t strides[4] = {};
  for (int p = 0; p < 4; ++p) strides[p] = linesize[p] = FFALIGN(linesize[p], stride_alignment);
  size_t sizes[4] = {};
  if (av_image_fill_plane_sizes(sizes, format, frame.height, strides) < 0) return false;
  size_t total = 0;
  for (int p = 0; p < 4; ++p)
    if (sizes[p]) total += sizes[p] + scaler_margin;

  AVBufferRef* buf = allocator ? allocator(total) : av_buffer_alloc(total);
  if (!buf) return false;
  av_buffer_unref(&frame.buf[0]);
  frame.buf[0] = buf;
  uint8_t* at = buf->data;
  for (int p = 0; p < 4; ++p) {
    frame.data[p] = sizes[p] ? at : nullptr;
    frame.linesize[p] = sizes[p] ? linesize[p] : 0;
    if (sizes[p]) at += sizes[p] + scaler_margin;
  }
  frame.extended_data = frame.data;
  return true;
}

bool packed_rows_are_padded(AVPixelFormat format, int width) {
  const int row = av_image_get_linesize(format, width, 0);
  return width % block_pixels == 0 && row > 0 && row % stride_alignment == 0;
}
