// Decodes compressed audio packets (MP3, AAC or any codec FFmpeg decodes)
// into interleaved signed 16-bit sound frames at the stream's own rate and
// channel layout.
#pragma once

#include <vector>

#include "codec/av_holders.h"
#include "codec/ffmpeg_codec.h"

class mp3_decoder : public ffmpeg_codec {
 public:
  using ffmpeg_codec::ffmpeg_codec;

  // Decodes every compressed frame the packet holds, in order. Each entry is
  // an S16 frame whose data[0] holds exactly nb_samples * channels * 2 bytes
  // (linesize[0]), with pts copied from the decoded frame. Frames that fail
  // to convert are dropped; a packet the decoder rejects yields what was
  // decoded before the failure.
  std::vector<lrk::av_frame_ptr> decode(const AVPacket& packet);

  // Converts one decoded sound frame (any sample format, planar or not) to
  // the host's layout, as decode() returns it; null when it cannot.
  lrk::av_frame_ptr convert_sound(const AVFrame& decoded);
};
