// Test inputs made by the ffmpeg CLI and read back with libavformat, with a
// decoder context opened the way the player opens it.
#pragma once

#include <string>
#include <vector>

#include "codec/av_holders.h"

namespace lrk::test {

// Runs `ffmpeg -y <args>`; throws with ffmpeg's own messages when it fails.
void run_ffmpeg(const std::vector<std::string>& args);

// The best stream of one media type in a file, with an opened decoder context
// filled from the stream's parameters.
class media_source {
 public:
  media_source(const std::string& path, AVMediaType type);

  AVCodecContext* context() const { return ctx_.get(); }
  const AVCodec* codec() const { return codec_; }
  AVStream* stream() const { return format_->streams[index_]; }
  // Every packet of the stream, in file order.
  std::vector<av_packet_ptr> read_all();

 private:
  av_input_context_ptr format_;
  av_codec_context_ptr ctx_;
  const AVCodec* codec_ = nullptr;
  int index_ = -1;
};

// A decoder context of `id` opened for raw input of the given audio format.
av_codec_context_ptr open_audio_decoder(AVCodecID id, int sample_rate, int channels);

// A packet that owns a copy of `bytes`.
av_packet_ptr packet_of(const std::vector<uint8_t>& bytes);

}  // namespace lrk::test
