#include "codec/mp3_decoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

std::vector<lrk::av_frame_ptr> mp3_decoder::decode(const AVPacket& packet) {
  std::vector<lrk::av_frame_ptr> frames;
  if (!ctx_ || !packet.data || packet.size <= 0) return frames;
  lrk::av_frame_ptr decoded = lrk::make_frame();
  if (!decoded) return frames;
  const auto receive_all = [&] {
    while (avcodec_receive_frame(ctx_, decoded.get()) == 0) {
      if (lrk::av_frame_ptr out = convert_sound(*decoded)) frames.push_back(std::move(out));
      av_frame_unref(decoded.get());
    }
  };
  int sent = avcodec_send_packet(ctx_, &packet);
  if (sent == AVERROR(EAGAIN)) {
    // Output still waiting in the decoder: take it, then send again.
    receive_all();
    sent = avcodec_send_packet(ctx_, &packet);
  }
  if (sent < 0) return frames;
  receive_all();
  return frames;
}
