// Encodes captured video frames (YUY2 top row first, BGR24 bottom row first,
// or planar YUV 4:2:0) into H.264 packets stamped in milliseconds.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/av_holders.h"
#include "codec/h264codec_base.h"

class pts_sequence;

class h264codec_encode : public h264codec_base {
 public:
  h264codec_encode(const AVCodec* codec, AVCodecContext* ctx);
  ~h264codec_encode() override;

  // Before the context is opened: bit rate (also the rate control's minimum
  // and maximum), encoded size, time base 1/1000, GOP 10, up to 10 B-frames
  // placed without analysis, 3 reference frames, 2 threads, YUV 4:2:0 input.
  // src_pix_fmt is the captured frames' AVPixelFormat.
  void set_params(int bit_rate, int width, int height, int src_pix_fmt);

  // Encodes one captured frame of src_width x src_height pixels in the
  // source format, taken at capture time `pts` (ms). A time that does not
  // advance past the previous frame's is moved 1 ms past it. Returns the
  // packets the encoder finished (usually none for the first frames, while
  // it fills its look-ahead); pts and dts are in the 1/1000 time base.
  // A buffer shorter than a whole picture, or a failed conversion or
  // encoding, gives no packet and sets last_error().
  std::vector<lrk::av_packet_ptr> encode(const std::uint8_t* data, int size, int src_width,
                                         int src_height, std::int64_t pts);

  // Ends the stream: returns the packets of every frame still held.
  std::vector<lrk::av_packet_ptr> flush();

  // The picture encode() hands the codec for one captured frame: converted
  // to the encoded size and YUV 4:2:0, upright. Null (last_error() set) when
  // the input cannot be taken. Valid until the next call; the context need
  // not be open.
  const AVFrame* prepare_picture(const std::uint8_t* data, int size, int src_width,
                                 int src_height);

 private:
  bool convert(const std::uint8_t* data, int src_width, int src_height);

  // Poll thread only (the publisher's caller), after set_params.
  AVPixelFormat src_pix_fmt_ = AV_PIX_FMT_NONE;
  // Both in the padded layout the scaler needs, reused while the size stays.
  lrk::av_frame_ptr captured_copy_;    // the captured frame, upright
  lrk::av_frame_ptr encoded_picture_;  // the converted YUV 4:2:0 picture
  std::unique_ptr<pts_sequence> next_pts_;  // keeps input times strictly increasing
};
