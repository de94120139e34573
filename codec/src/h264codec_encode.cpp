#include "codec/h264codec_encode.h"

#include "encoder_support.h"

std::vector<lrk::av_packet_ptr> h264codec_encode::encode(const std::uint8_t* data, int size,
                                                         int src_width, int src_height,
                                                         std::int64_t pts) {
  std::vector<lrk::av_packet_ptr> packets;
  if (!ctx_ || !codec_frame_) return packets;
  if (!prepare_picture(data, size, src_width, src_height)) return packets;

  codec_frame_->pts = next_pts_->next(pts, 1);
  const int r = send_and_collect(ctx_, codec_frame_.get(), packets);
  if (r < 0) last_error_ = r;
  // The encoder took its own reference or copy; the conversion buffer is ours again.
  av_frame_unref(codec_frame_.get());
  return packets;
}

std::vector<lrk::av_packet_ptr> h264codec_encode::flush() {
  std::vector<lrk::av_packet_ptr> packets;
  if (ctx_ && avcodec_is_open(ctx_)) send_and_collect(ctx_, nullptr, packets);
  return packets;
}
