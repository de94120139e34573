#include "rtmp_player_stream.h"

rtmp_player_stream::rtmp_player_stream(AVStream* stream, lrk::av_codec_context_ptr context)
    : stream_(stream), context_(std::move(context)) {}

int64_t rtmp_player_stream::to_stream_ms(int64_t pts) const {
  const int64_t start = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
  return av_rescale_q(pts - start, stream_->time_base, AVRational{1, 1000});
}

rtmp_player_stream_video::rtmp_player_stream_video(AVStream* stream,
                                                   lrk::av_codec_context_ptr context)
    : rtmp_player_stream(stream, std::move(context)),
      decoder_(std::make_unique<h264codec_decode>(context_->codec, context_.get())) {}

void rtmp_player_stream_video::handle_packet(decoded_frame_sink& sink, const AVPacket& packet) {
  for (lrk::av_frame_ptr picture = decoder_->decode(packet); picture;
       picture = decoder_->take_picture()) {
    if (!picture->data[0]) continue;
    if (picture->pts != AV_NOPTS_VALUE) last_pts_ms_ = to_stream_ms(picture->pts);
    picture->pts = last_pts_ms_;
    sink.picture_decoded(std::move(picture));
  }
}

rtmp_player_stream_audio::rtmp_player_stream_audio(AVStream* stream,
                                                   lrk::av_codec_context_ptr context)
    : rtmp_player_stream(stream, std::move(context)),
      decoder_(std::make_unique<mp3_decoder>(context_->codec, context_.get())) {}

void rtmp_player_stream_audio::handle_packet(decoded_frame_sink& sink, const AVPacket& packet) {
  std::vector<lrk::av_frame_ptr> frames = decoder_->decode(packet);
  if (frames.empty()) return;
  for (auto& frame : frames) {
    if (frame->pts != AV_NOPTS_VALUE)
      frame->pts = to_stream_ms(frame->pts);
    else if (frame->pkt_dts != AV_NOPTS_VALUE)
      frame->pts = to_stream_ms(frame->pkt_dts);
  }
  sink.sound_decoded(std::move(frames));
}
