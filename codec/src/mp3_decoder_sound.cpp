// The audio decoder's sample conversion to the host's interleaved S16, kept
// apart from decoding so that it links without libavcodec.
#include "codec/mp3_decoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

lrk::av_frame_ptr mp3_decoder::convert_sound(const AVFrame& in) {
  // The frame carries its own layout and rate; fall back to the context's
  // for decoders that leave them unset.
  if (in.ch_layout.nb_channels <= 0 && !ctx_) return nullptr;
  const AVChannelLayout& layout = in.ch_layout.nb_channels > 0 ? in.ch_layout : ctx_->ch_layout;
  const int rate = in.sample_rate > 0 ? in.sample_rate : ctx_ ? ctx_->sample_rate : 0;
  const auto in_format = static_cast<AVSampleFormat>(in.format);
  if (layout.nb_channels <= 0 || rate <= 0 || in.nb_samples <= 0) return nullptr;

  lrk::av_frame_ptr out = lrk::make_frame();
  if (!out) return nullptr;
  out->format = AV_SAMPLE_FMT_S16;
  out->nb_samples = in.nb_samples;
  out->sample_rate = rate;
  if (av_channel_layout_copy(&out->ch_layout, &layout) < 0) return nullptr;
  // Alignment 1: the buffer holds exactly the samples, no padding.
  const int size = av_samples_get_buffer_size(&out->linesize[0], layout.nb_channels,
                                              in.nb_samples, AV_SAMPLE_FMT_S16, 1);
  if (size <= 0) return nullptr;
  out->buf[0] = allocate_buffer(static_cast<size_t>(size));
  if (!out->buf[0]) return nullptr;
  out->data[0] = out->buf[0]->data;

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
