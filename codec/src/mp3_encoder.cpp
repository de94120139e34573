#include "codec/mp3_encoder.h"

#include "encoder_support.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
}

audio_framing frame_audio(int total_samples, int codec_frame_size) {
  audio_framing framing;
  if (total_samples <= 0) return framing;
  if (codec_frame_size <= 0) {
    framing.frames = 1;
    framing.samples_per_frame = total_samples;
    return framing;
  }
  framing.frames = total_samples / codec_frame_size;
  framing.samples_per_frame = codec_frame_size;
  framing.leftover = total_samples % codec_frame_size;
  return framing;
}

namespace {

bool codec_takes(const AVCodec* codec, AVSampleFormat format) {
  if (!codec || !codec->sample_fmts) return true;  // the codec does not say: try it
  for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == format) return true;
  return false;
}

}  // namespace

mp3_encoder::mp3_encoder(const AVCodec* codec, AVCodecContext* ctx)
    : ffmpeg_codec(codec, ctx), next_pts_(std::make_unique<pts_sequence>()) {}

mp3_encoder::~mp3_encoder() = default;

void mp3_encoder::set_params(int sample_rate, int sample_fmt, int channels, int bit_rate) {
  input_fmt_ = static_cast<AVSampleFormat>(sample_fmt);
  input_channels_ = channels;
  swr_.reset();
  if (!ctx_) return;
  ctx_->sample_rate = sample_rate;
  ctx_->sample_fmt = codec_takes(codec_, input_fmt_) ? input_fmt_ : codec_->sample_fmts[0];
  av_channel_layout_uninit(&ctx_->ch_layout);
  av_channel_layout_default(&ctx_->ch_layout, channels);
  ctx_->bit_rate = bit_rate;
  if (sample_rate > 0) ctx_->time_base = AVRational{1, sample_rate};
}

int mp3_encoder::sample_bytes() const {
  switch (input_fmt_) {
    case AV_SAMPLE_FMT_S16: return 2 * input_channels_;
    case AV_SAMPLE_FMT_U8: return input_channels_;
    default: return 0;
  }
}

std::vector<lrk::av_packet_ptr> mp3_encoder::encode(const std::uint8_t* data, int size,
                                                    std::int64_t pts, int* leftover) {
  std::vector<lrk::av_packet_ptr> packets;
  const int bytes = sample_bytes();
  if (bytes <= 0 || !ctx_ || !leftover) return packets;

  const int total = data && size > 0 ? size / bytes : 0;
  const audio_framing framing = frame_audio(total, ctx_->frame_size);
  *leftover = total;
  if (framing.frames == 0) return packets;

  const std::int64_t buffer_pts = av_rescale_q(pts, AVRational{1, 1000}, ctx_->time_base);
  lrk::av_frame_ptr frame = make_frame(framing.samples_per_frame);
  for (int i = 0; frame && i < framing.frames; ++i) {
    const std::uint8_t* samples =
        data + static_cast<std::size_t>(i) * framing.samples_per_frame * bytes;
    // The encoder may still hold the previous frame's buffer.
    if (av_frame_make_writable(frame.get()) < 0 || !convert_into(*frame, samples)) break;
    frame->pts = next_pts_->next(buffer_pts + std::int64_t{i} * framing.samples_per_frame,
                                 framing.samples_per_frame);
    // A frame the codec refuses is lost; the next one is tried.
    send_and_collect(ctx_, frame.get(), packets);
    *leftover -= framing.samples_per_frame;
  }
  return packets;
}

std::vector<lrk::av_packet_ptr> mp3_encoder::flush() {
  std::vector<lrk::av_packet_ptr> packets;
  if (ctx_ && avcodec_is_open(ctx_)) send_and_collect(ctx_, nullptr, packets);
  return packets;
}

lrk::av_frame_ptr mp3_encoder::make_frame(int samples) {
  lrk::av_frame_ptr frame = lrk::make_frame();
  if (!frame) return nullptr;
  frame->nb_samples = samples;
  frame->format = ctx_->sample_fmt;
  frame->sample_rate = ctx_->sample_rate;
  if (av_channel_layout_copy(&frame->ch_layout, &ctx_->ch_layout) < 0 ||
      av_frame_get_buffer(frame.get(), 0) < 0)
    return nullptr;
  return frame;
}

bool mp3_encoder::convert_into(AVFrame& frame, const std::uint8_t* samples) {
  if (!swr_) {
    // Same rate and layout on both sides: only the sample format changes, so
    // the converter holds nothing back between frames.
    SwrContext* raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &ctx_->ch_layout, ctx_->sample_fmt, ctx_->sample_rate,
                            &ctx_->ch_layout, input_fmt_, ctx_->sample_rate, 0, nullptr) < 0)
      return false;
    swr_.reset(raw);
    if (swr_init(swr_.get()) < 0) {
      swr_.reset();
      return false;
    }
  }
  const std::uint8_t* in[1] = {samples};
  return swr_convert(swr_.get(), frame.data, frame.nb_samples, in, frame.nb_samples) ==
         frame.nb_samples;
}
