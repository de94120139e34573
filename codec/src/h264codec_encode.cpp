#include "codec/h264codec_encode.h"

#include "encoder_support.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace {

constexpr AVPixelFormat encoded_format = AV_PIX_FMT_YUV420P;
// Rows of the conversion buffer start on this boundary, as the scaler's SIMD paths want.
constexpr int buffer_align = 32;

// Formats the capture host delivers with the bottom row first.
bool is_bottom_up(AVPixelFormat format) { return format == AV_PIX_FMT_BGR24; }

}  // namespace

h264codec_encode::h264codec_encode(const AVCodec* codec, AVCodecContext* ctx)
    : h264codec_base(codec, ctx), next_pts_(std::make_unique<pts_sequence>()) {}

h264codec_encode::~h264codec_encode() = default;

void h264codec_encode::set_params(int bit_rate, int width, int height, int src_pix_fmt) {
  src_pix_fmt_ = static_cast<AVPixelFormat>(src_pix_fmt);
  dst_buffer_.reset();
  dst_buffer_size_ = 0;
  if (!ctx_) return;
  ctx_->bit_rate = bit_rate;
  ctx_->rc_max_rate = bit_rate;
  ctx_->rc_min_rate = bit_rate;
  ctx_->qcompress = 0.0f;
  ctx_->width = width;
  ctx_->height = height;
  ctx_->time_base = AVRational{1, 1000};  // pts are capture milliseconds
  ctx_->gop_size = 10;
  ctx_->max_b_frames = 10;
  ctx_->thread_count = 2;
  ctx_->refs = 3;
  ctx_->pix_fmt = encoded_format;
  // libx264 keeps the B-frame placement strategy among its private options.
  if (ctx_->priv_data) av_opt_set_int(ctx_->priv_data, "b_strategy", 0, 0);
}

std::vector<lrk::av_packet_ptr> h264codec_encode::encode(const std::uint8_t* data, int size,
                                                         int src_width, int src_height,
                                                         std::int64_t pts) {
  std::vector<lrk::av_packet_ptr> packets;
  if (!ctx_ || !codec_frame_) return packets;
  if (!prepare_picture(data, size, src_width, src_height)) return packets;

  codec_frame_->pts = next_pts_->next(pts, 1);
  codec_frame_->width = ctx_->width;
  codec_frame_->height = ctx_->height;
  codec_frame_->format = ctx_->pix_fmt;
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

bool h264codec_encode::prepare_picture(const std::uint8_t* data, int size, int src_width,
                                       int src_height) {
  const int needed = av_image_get_buffer_size(src_pix_fmt_, src_width, src_height, 1);
  if (!data || needed <= 0 || size < needed) {
    last_error_ = AVERROR(EINVAL);
    return false;
  }
  // A planar 4:2:0 frame of the encoded size goes to the encoder as it is.
  if (src_pix_fmt_ == ctx_->pix_fmt && src_width == ctx_->width && src_height == ctx_->height) {
    return av_image_fill_arrays(codec_frame_->data, codec_frame_->linesize, data, src_pix_fmt_,
                                src_width, src_height, 1) >= 0;
  }
  return convert(data, src_width, src_height);
}

bool h264codec_encode::convert(const std::uint8_t* data, int src_width, int src_height) {
  const int w = ctx_->width;
  const int h = ctx_->height;
  const int n = av_image_get_buffer_size(encoded_format, w, h, buffer_align);
  if (n <= 0) {
    last_error_ = AVERROR(EINVAL);
    return false;
  }
  // Allocated once per size; replaced only if the encoder still holds the last picture.
  if (n != dst_buffer_size_ || !dst_buffer_ || !av_buffer_is_writable(dst_buffer_.get())) {
    dst_buffer_.reset(av_buffer_alloc(n));
    dst_buffer_size_ = dst_buffer_ ? n : 0;
    if (!dst_buffer_) {
      last_error_ = AVERROR(ENOMEM);
      return false;
    }
  }

  if (av_image_fill_arrays(app_frame_->data, app_frame_->linesize, data, src_pix_fmt_, src_width,
                           src_height, 1) < 0 ||
      av_image_fill_arrays(codec_frame_->data, codec_frame_->linesize, dst_buffer_->data,
                           encoded_format, w, h, buffer_align) < 0) {
    last_error_ = AVERROR(EINVAL);
    return false;
  }
  // A reference of its own lets the encoder keep the picture without copying it.
  codec_frame_->buf[0] = av_buffer_ref(dst_buffer_.get());

  // Bottom-up sources are read last row first, so the encoded picture is upright.
  plane_view source;
  if (is_bottom_up(src_pix_fmt_)) {
    source = flip_vertically(app_frame_->data, app_frame_->linesize, src_pix_fmt_, src_height);
  } else {
    for (int p = 0; p < 4; ++p) {
      source.data[p] = app_frame_->data[p];
      source.linesize[p] = app_frame_->linesize[p];
    }
  }

  // Nearest neighbour; the context is kept while sizes and formats stay the same.
  sws_.reset(sws_getCachedContext(sws_.release(), src_width, src_height, src_pix_fmt_, w, h,
                                  encoded_format, SWS_POINT, nullptr, nullptr, nullptr));
  if (!sws_ || !source.data[0] ||
      sws_scale(sws_.get(), source.data, source.linesize, 0, src_height, codec_frame_->data,
                codec_frame_->linesize) != h) {
    last_error_ = AVERROR(EINVAL);
    av_frame_unref(codec_frame_.get());
    return false;
  }
  return true;
}
