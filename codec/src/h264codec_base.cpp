#include "codec/h264codec_base.h"

extern "C" {
#include <libavutil/common.h>
#include <libavutil/pixdesc.h>
}

plane_view flip_vertically(const uint8_t* const data[4], const int linesize[4],
                           AVPixelFormat format, int height) {
  plane_view view;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (!desc || height <= 0 || (desc->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM)))
    return view;

  const int planes = av_pix_fmt_count_planes(format);
  const bool has_chroma_planes = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
  for (int p = 0; p < planes && p < 4; ++p) {
    if (!data[p]) return plane_view{};
    const bool chroma = has_chroma_planes && (p == 1 || p == 2);
    const int rows = chroma ? AV_CEIL_RSHIFT(height, desc->log2_chroma_h) : height;
    view.data[p] = const_cast<uint8_t*>(data[p]) + static_cast<ptrdiff_t>(rows - 1) * linesize[p];
    view.linesize[p] = -linesize[p];
  }
  return view;
}

h264codec_base::h264codec_base(const AVCodec* codec, AVCodecContext* ctx)
    : ffmpeg_codec(codec, ctx), app_frame_(lrk::make_frame()), codec_frame_(lrk::make_frame()) {}
