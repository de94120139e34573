#include "codec/h264codec_decode.h"


lrk::av_frame_ptr h264codec_decode::decode(const AVPacket& packet) {
  if (!ctx_ || !packet.data || packet.size <= 0) return nullptr;

  int r = avcodec_send_packet(ctx_, &packet);
  if (r < 0 && r != AVERROR(EAGAIN)) return nullptr;

  if (!codec_frame_) return nullptr;
  r = avcodec_receive_frame(ctx_, codec_frame_.get());
  if (r == AVERROR(EAGAIN)) return lrk::make_frame();  // no picture yet
  if (r < 0) return nullptr;

  lrk::av_frame_ptr out = convert_picture(*codec_frame_);
  const int64_t pts = codec_frame_->best_effort_timestamp;
  av_frame_unref(codec_frame_.get());
  if (!out) return nullptr;
  out->pts = pts;
  return out;
}
