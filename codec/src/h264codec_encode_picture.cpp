// The encoder's set-up and its picture preparation: a captured frame to the
// upright YUV 4:2:0 picture the codec takes. Kept apart from encoding, so
// that it links without libavcodec.
#include <cstring>

#include "codec/h264codec_encode.h"
#include "encoder_support.h"
#include "padded_image.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace {

constexpr AVPixelFormat encoded_format = AV_PIX_FMT_YUV420P;

// Formats the capture host delivers with the bottom row first.
bool is_bottom_up(AVPixelFormat format) { return format == AV_PIX_FMT_BGR24; }

// `frame` holds a padded picture of this format and size that nobody else
// references, or is given a new one; false when none can be allocated.
bool ensure_padded_picture(lrk::av_frame_ptr& frame, AVPixelFormat format, int width, int height,
                           buffer_allocator allocator) {
  if (frame && frame->format == format && frame->width == width && frame->height == height &&
      av_buffer_is_writable(frame->buf[0]))
    return true;
  frame = lrk::make_frame();
  if (!frame) return false;
  frame->format = format;
  frame->width = width;
  frame->height = height;
  if (allocate_padded_picture(*frame, allocator)) return true;
  frame.reset();
  return false;
}

}  // namespace

h264codec_encode::h264codec_encode(const AVCodec* codec, AVCodecContext* ctx)
    : h264codec_base(codec, ctx), next_pts_(std::make_unique<pts_sequence>()) {}

h264codec_encode::~h264codec_encode() = default;

void h264codec_encode::set_params(int bit_rate, int width, int height, int src_pix_fmt) {
  src_pix_fmt_ = static_cast<AVPixelFormat>(src_pix_fmt);
  captured_copy_.reset();
  encoded_picture_.reset();
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

const AVFrame* h264codec_encode::prepare_picture(const std::uint8_t* data, int size,
                                                 int src_width, int src_height) {
  if (!ctx_ || !codec_frame_) return nullptr;
  av_frame_unref(codec_frame_.get());
  const int needed = av_image_get_buffer_size(src_pix_fmt_, src_width, src_height, 1);
  if (!data || needed <= 0 || size < needed) {
    last_error_ = AVERROR(EINVAL);
    return nullptr;
  }
  bool ready;
  // A planar 4:2:0 frame of the encoded size goes to the encoder as it is.
  if (src_pix_fmt_ == ctx_->pix_fmt && src_width == ctx_->width && src_height == ctx_->height) {
    ready = av_image_fill_arrays(codec_frame_->data, codec_frame_->linesize, data, src_pix_fmt_,
                                 src_width, src_height, 1) >= 0;
  } else {
    ready = convert(data, src_width, src_height);
  }
  if (!ready) return nullptr;
  codec_frame_->width = ctx_->width;
  codec_frame_->height = ctx_->height;
  codec_frame_->format = ctx_->pix_fmt;
  return codec_frame_.get();
}

bool h264codec_encode::convert(const std::uint8_t* data, int src_width, int src_height) {
  const int w = ctx_->width;
  const int h = ctx_->height;
  // The captured frame is packed and exactly its size: the scaler, which
  // reads whole blocks past a row's end, gets a padded copy of it instead,
  // turned upright on the way for bottom-up sources.
  if (!ensure_padded_picture(captured_copy_, src_pix_fmt_, src_width, src_height, allocator_) ||
      !ensure_padded_picture(encoded_picture_, encoded_format, w, h, allocator_) ||
      av_image_fill_arrays(app_frame_->data, app_frame_->linesize, data, src_pix_fmt_, src_width,
                           src_height, 1) < 0) {
    last_error_ = AVERROR(ENOMEM);
    return false;
  }
  plane_view source;
  if (is_bottom_up(src_pix_fmt_)) {
    source = flip_vertically(app_frame_->data, app_frame_->linesize, src_pix_fmt_, src_height);
  } else {
    for (int p = 0; p < 4; ++p) {
      source.data[p] = app_frame_->data[p];
      source.linesize[p] = app_frame_->linesize[p];
    }
  }
  if (!source.data[0]) {
    last_error_ = AVERROR(EINVAL);
    return false;
  }
  av_image_copy(captured_copy_->data, captured_copy_->linesize,
                const_cast<const uint8_t**>(source.data), source.linesize, src_pix_fmt_, src_width,
                src_height);

  // Nearest neighbour; the context is kept while sizes and formats stay the same.
  sws_.reset(sws_getCachedContext(sws_.release(), src_width, src_height, src_pix_fmt_, w, h,
                                  encoded_format, SWS_POINT, nullptr, nullptr, nullptr));
  AVFrame& picture = *encoded_picture_;
  if (!sws_ || sws_scale(sws_.get(), captured_copy_->data, captured_copy_->linesize, 0, src_height,
                         picture.data, picture.linesize) != h) {
    last_error_ = AVERROR(EINVAL);
    return false;
  }
  // FFmpeg's direct YUY2 to 4:2:0 conversion works on pairs of rows and
  // leaves the last chroma row of an odd height unwritten: repeat the one above.
  if (src_pix_fmt_ == AV_PIX_FMT_YUYV422 && src_width == w && src_height == h && h % 2 && h > 1) {
    const int last = h / 2;
    for (int p = 1; p < 3; ++p)
      std::memcpy(picture.data[p] + static_cast<ptrdiff_t>(last) * picture.linesize[p],
                  picture.data[p] + static_cast<ptrdiff_t>(last - 1) * picture.linesize[p],
                  static_cast<size_t>(AV_CEIL_RSHIFT(w, 1)));
  }
  // A reference of its own lets the encoder keep the picture without copying it.
  if (av_frame_ref(codec_frame_.get(), &picture) < 0) {
    last_error_ = AVERROR(ENOMEM);
    return false;
  }
  return true;
}
