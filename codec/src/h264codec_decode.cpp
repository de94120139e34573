#include "codec/h264codec_decode.h"

lrk::av_frame_ptr h264codec_decode::decode(const AVPacket& packet) {
  if (!ctx_ || !codec_frame_ || !packet.data || packet.size <= 0) return nullptr;

  int sent = avcodec_send_packet(ctx_, &packet);
  if (sent == AVERROR(EAGAIN)) {
    receive_pictures();
    sent = avcodec_send_packet(ctx_, &packet);
  }
  const int received = receive_pictures();
  if (!pending_.empty()) return take_picture();
  if (sent < 0 || (received < 0 && received != AVERROR(EAGAIN))) return nullptr;
  return lrk::make_frame();  // no picture yet
}

lrk::av_frame_ptr h264codec_decode::take_picture() {
  if (pending_.empty()) return nullptr;
  lrk::av_frame_ptr picture = std::move(pending_.front());
  pending_.pop_front();
  return picture;
}

int h264codec_decode::receive_pictures() {
  for (;;) {
    const int r = avcodec_receive_frame(ctx_, codec_frame_.get());
    if (r < 0) return r;
    lrk::av_frame_ptr picture = convert_picture(*codec_frame_);
    const int64_t pts = codec_frame_->best_effort_timestamp;
    av_frame_unref(codec_frame_.get());
    if (!picture) continue;  // a picture the scaler cannot take is dropped
    picture->pts = pts;
    if (pending_.size() >= max_pending) pending_.pop_front();
    pending_.push_back(std::move(picture));
  }
}
