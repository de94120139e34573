// An encoder wrapper together with the codec context it works on. The
// wrappers never own their context; this pairing does, so that a re-opened
// encoder (a new context: FFmpeg cannot open a closed one again) and the
// one it replaces each live exactly as long as their last user.
#pragma once

#include <memory>

#include "codec/av_holders.h"

template <typename Encoder>
struct encoder_with_context {
  explicit encoder_with_context(const AVCodec* codec)
      : context(avcodec_alloc_context3(codec)), encoder(codec, context.get()) {}

  lrk::av_codec_context_ptr context;  // declared first: outlives the wrapper
  Encoder encoder;
};

// A wrapper over a new, unopened context for `codec`, or null when the
// context cannot be allocated. The pointer owns the context as well.
template <typename Encoder>
std::shared_ptr<Encoder> make_encoder(const AVCodec* codec, bool global_header) {
  if (!codec) return nullptr;
  auto pair = std::make_shared<encoder_with_context<Encoder>>(codec);
  if (!pair->context) return nullptr;
  // Parameter sets go into the stream header rather than into every key frame.
  if (global_header) pair->context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  return std::shared_ptr<Encoder>(pair, &pair->encoder);
}
