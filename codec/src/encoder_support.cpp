#include "encoder_support.h"

int send_and_collect(AVCodecContext* ctx, const AVFrame* frame,
                     std::vector<lrk::av_packet_ptr>& packets) {
  const int sent = avcodec_send_frame(ctx, frame);
  // Even a refused frame may leave earlier output waiting to be taken.
  for (;;) {
    lrk::av_packet_ptr packet = lrk::make_packet();
    if (!packet || avcodec_receive_packet(ctx, packet.get()) < 0) break;
    if (packet->data && packet->size > 0) packets.push_back(std::move(packet));
  }
  return sent < 0 ? sent : 0;
}
