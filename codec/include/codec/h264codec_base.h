// Picture conversion state shared by the H.264 encoder and decoder, and the
// vertical flip that turns a top-down planar picture into a bottom-up one.
#pragma once

#include "codec/av_holders.h"
#include "codec/ffmpeg_codec.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

// Plane pointers and strides of a picture, without owning the bytes.
struct plane_view {
  uint8_t* data[4] = {};
  int linesize[4] = {};
};

// Re-points the planes of a picture of `height` rows in `format` so that row 0
// is the last row in memory: no bytes move, the strides become negative.
// Every plane uses its own height (chroma planes of 4:2:0 have (h + 1) / 2
// rows), so odd sizes and 4:2:2 / 4:4:4 stay inside their planes. Returns an
// empty view (data[0] null) for formats it cannot flip (paletted, bitstream).
plane_view flip_vertically(const uint8_t* const data[4], const int linesize[4],
                           AVPixelFormat format, int height);

class h264codec_base : public ffmpeg_codec {
 public:
  h264codec_base(const AVCodec* codec, AVCodecContext* ctx);
  ~h264codec_base() override = default;

 protected:
  lrk::sws_context_ptr sws_;      // created on first conversion
  lrk::av_frame_ptr app_frame_;   // the application's side of a conversion
  lrk::av_frame_ptr codec_frame_; // the codec's side of a conversion
};
