// Root of the codec wrappers: one FFmpeg codec bound to the codec context it
// works on. The wrapper never owns the context; whoever opened it closes it.
#pragma once

#include "codec/buffer_allocator.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

class ffmpeg_codec {
 public:
  ffmpeg_codec(const AVCodec* codec, AVCodecContext* ctx) : codec_(codec), ctx_(ctx) {}
  virtual ~ffmpeg_codec() = default;

  ffmpeg_codec(const ffmpeg_codec&) = delete;
  ffmpeg_codec& operator=(const ffmpeg_codec&) = delete;

  const AVCodec* codec() const { return codec_; }
  AVCodecContext* context() const { return ctx_; }
  // The last negative result of a codec call (encoders only; decoders leave it 0).
  int last_error() const { return last_error_; }
  // The allocator of the buffers the wrapper sizes for FFmpeg to write into
  // (pictures, sound, converted input); null: av_buffer_alloc. Set before use.
  void set_buffer_allocator(buffer_allocator allocator) { allocator_ = allocator; }

 protected:
  AVBufferRef* allocate_buffer(size_t size) const {
    return allocator_ ? allocator_(size) : av_buffer_alloc(size);
  }

  const AVCodec* codec_;
  AVCodecContext* ctx_;
  int last_error_ = 0;
  buffer_allocator allocator_ = nullptr;
};
