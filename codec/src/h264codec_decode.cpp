#include "codec/h264codec_decode.h"

extern "C" {
#include <libavutil/imgutils.h>
}

lrk::av_frame_ptr h264codec_decode::decode(const AVPacket& packet) {
  if (!ctx_ || !packet.data || packet.size <= 0) return nullptr;

  int r = avcodec_send_packet(ctx_, &packet);
  if (r < 0 && r != AVERROR(EAGAIN)) return nullptr;

  lrk::av_frame_ptr out = lrk::make_frame();
  if (!out || !codec_frame_) return nullptr;
  r = avcodec_receive_frame(ctx_, codec_frame_.get());
  if (r == AVERROR(EAGAIN)) return out;  // no picture yet
  if (r < 0) return nullptr;

  const bool converted = convert(*out);
  const int64_t pts = codec_frame_->best_effort_timestamp;
  av_frame_unref(codec_frame_.get());
  if (!converted) return nullptr;
  out->pts = pts;
  return out;
}

bool h264codec_decode::attach_picture_buffer(AVFrame& out, int width, int height) {
  // Rows of exactly width * 3 bytes, as the host expects them.
  const int size = av_image_get_buffer_size(AV_PIX_FMT_BGR24, width, height, 1);
  if (size <= 0) return false;
  if (!picture_pool_ || size != pool_buffer_size_) {
    picture_pool_.reset(av_buffer_pool_init(size, nullptr));
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

bool h264codec_decode::convert(AVFrame& out) {
  const AVFrame& in = *codec_frame_;
  const int w = in.width;
  const int h = in.height;
  const auto in_format = static_cast<AVPixelFormat>(in.format);

  plane_view flipped = flip_vertically(in.data, in.linesize, in_format, h);
  if (!flipped.data[0]) return false;

  if (!attach_picture_buffer(out, w, h)) return false;

  // Re-created whenever the stream changes its size or pixel format.
  sws_.reset(sws_getCachedContext(sws_.release(), w, h, in_format, w, h, AV_PIX_FMT_BGR24,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!sws_) return false;
  return sws_scale(sws_.get(), flipped.data, flipped.linesize, 0, h, out.data, out.linesize) == h;
}
