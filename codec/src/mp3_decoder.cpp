#include "codec/mp3_decoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

std::vector<lrk::av_frame_ptr> mp3_decoder::decode(const AVPacket& packet) {
  std::vector<lrk::av_frame_ptr> frames;
  if (!ctx_ || !packet.data || packet.size <= 0) return frames;
  if (avcodec_send_packet(ctx_, &packet) < 0) return frames;

  lrk::av_frame_ptr decoded = lrk::make_frame();
  if (!decoded) return frames;
  while (avcodec_receive_frame(ctx_, decoded.get()) == 0) {
    if (lrk::av_frame_ptr out = convert(*decoded)) frames.push_back(std::move(out));
    av_frame_unref(decoded.get());
  }
  return frames;
}

lrk::av_frame_ptr mp3_decoder::convert(const AVFrame& in) {
  // The frame carries its own layout and rate; fall back to the context's
  // for decoders that leave them unset.
  const AVChannelLayout& layout = in.ch_layout.nb_channels > 0 ? in.ch_layout : ctx_->ch_layout;
  const int rate = in.sample_rate > 0 ? in.sample_rate : ctx_->sample_rate;
  const auto in_format = static_cast<AVSampleFormat>(in.format);
  if (layout.nb_channels <= 0 || rate <= 0 || in.nb_samples <= 0) return nullptr;

  lrk::av_frame_ptr out = lrk::make_frame();
  if (!out) return nullptr;
  out->format = AV_SAMPLE_FMT_S16;
  out->nb_samples = in.nb_samples;
  out->sample_rate = rate;
  if (av_channel_layout_copy(&out->ch_layout, &layout) < 0) return nullptr;
  // Alignment 1: the buffer holds exactly the samples, no padding.
  if (av_frame_get_buffer(out.get(), 1) < 0) return nullptr;

  // Same layout and rate on both sides: only the sample format changes, so a
  // resampler per frame carries nothing over between frames.
  SwrContext* raw = nullptr;
  AVChannelLayout swr_layout = out->ch_layout;  // FFmpeg 5.1 takes it non-const
  if (swr_alloc_set_opts2(&raw, &swr_layout, AV_SAMPLE_FMT_S16, rate, &swr_layout, in_format, rate,
                          0, nullptr) < 0)
    return nullptr;
  lrk::swr_context_ptr swr(raw);
  if (swr_init(swr.get()) < 0) return nullptr;
  const int converted = swr_convert(swr.get(), out->data, out->nb_samples,
                                    const_cast<const uint8_t**>(in.extended_data), in.nb_samples);
  if (converted != in.nb_samples) return nullptr;

  out->pts = in.pts;
  out->pkt_dts = in.pkt_dts;
  return out;
}
