// The decoder's picture conversion: any decoded picture to the host's packed
// BGR24, bottom row first. Kept apart from decoding, so that it links without
// libavcodec (the memory checks run it under valgrind).
#include <climits>

#include "codec/h264codec_decode.h"
#include "padded_image.h"

extern "C" {
#include <libavutil/imgutils.h>
}

bool h264codec_decode::attach_picture_buffer(AVFrame& out, int width, int height) {
  // Rows of exactly width * 3 bytes, as the host expects them, and room
  // after the last one for a scaler that writes them in place.
  const int picture_size = av_image_get_buffer_size(AV_PIX_FMT_BGR24, width, height, 1);
  if (picture_size <= 0 || picture_size > INT_MAX - scaler_margin) return false;
  const int size = picture_size + scaler_margin;
  if (!picture_pool_ || size != pool_buffer_size_) {
    picture_pool_.reset(av_buffer_pool_init(size, allocator_));
    pool_buffer_size_ = size;
  }
  if (!picture_pool_) return false;
  out.buf[0] = av_buffer_pool_get(picture_pool_.get());
  if (!out.buf[0]) return false;
  out.format = AV_PIX_FMT_BGR24;
  out.width = width;
  out.height = height;
  return av_image_fill_arrays(out.data, out.linesize, out.buf[0]->data, AV_PIX_FMT_BGR24, width,
                              height, 1) >= 0;
}

lrk::av_frame_ptr h264codec_decode::convert_picture(const AVFrame& in) {
  lrk::av_frame_ptr out = lrk::make_frame();
  if (!out) return nullptr;
  const int w = in.width;
  const int h = in.height;
  const auto in_format = static_cast<AVPixelFormat>(in.format);

  plane_view flipped = flip_vertically(in.data, in.linesize, in_format, h);
  if (!flipped.data[0]) return nullptr;

  if (!attach_picture_buffer(*out, w, h)) return nullptr;

  // Re-created whenever the stream changes its size or pixel format.
  sws_.reset(sws_getCachedContext(sws_.release(), w, h, in_format, w, h, AV_PIX_FMT_BGR24,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!sws_) return nullptr;

  // The scaler writes whole blocks of pixels. Packed rows of a width that
  // is not a whole number of blocks would be overrun (the last one past the
  // buffer's end) and their last pixels left out, so such pictures go
  // through a padded picture and are copied row by row.
  if (packed_rows_are_padded(AV_PIX_FMT_BGR24, w)) {
    if (sws_scale(sws_.get(), flipped.data, flipped.linesize, 0, h, out->data, out->linesize) != h)
      return nullptr;
    return out;
  }
  if (!padded_picture_ || padded_picture_->width != w || padded_picture_->height != h) {
    padded_picture_ = lrk::make_frame();
    if (!padded_picture_) return nullptr;
    padded_picture_->format = AV_PIX_FMT_BGR24;
    padded_picture_->width = w;
    padded_picture_->height = h;
    if (!allocate_padded_picture(*padded_picture_, allocator_)) {
      padded_picture_.reset();
      return nullptr;
    }
  }
  AVFrame& padded = *padded_picture_;
  if (sws_scale(sws_.get(), flipped.data, flipped.linesize, 0, h, padded.data, padded.linesize) != h)
    return nullptr;
  av_image_copy_plane(out->data[0], out->linesize[0], padded.data[0], padded.linesize[0], w * 3, h);
  return out;
}
