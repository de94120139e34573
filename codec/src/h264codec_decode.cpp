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

bool h264codec_decode::convert(AVFrame& out) {
  const AVFrame& in = *codec_frame_;
  const int w = in.width;
  const int h = in.height;
  const auto in_format = static_cast<AVPixelFormat>(in.format);

  plane_view flipped = flip_vertically(in.data, in.linesize, in_format, h);
  if (!flipped.data[0]) return false;

  out.format = AV_PIX_FMT_BGR24;
  out.width = w;
  out.height = h;
  // Alignment 1: rows of exactly width * 3 bytes, as the host expects them.
  if (av_frame_get_buffer(&out, 1) < 0) return false;

  // Re-created whenever the stream changes its size or pixel format.
  sws_.reset(sws_getCachedContext(sws_.release(), w, h, in_format, w, h, AV_PIX_FMT_BGR24,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!sws_) return false;
  return sws_scale(sws_.get(), flipped.data, flipped.linesize, 0, h, out.data, out.linesize) == h;
}
