// Owning holders for FFmpeg objects: one deleter per type, so that no
// *_free call appears in the logic and every early return releases cleanly.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace lrk {

struct av_frame_deleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct av_packet_deleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct av_codec_context_deleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct sws_context_deleter {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct swr_context_deleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
// A demuxing context opened with avformat_open_input.
struct av_buffer_pool_deleter {
  void operator()(AVBufferPool* p) const { av_buffer_pool_uninit(&p); }
};
struct av_input_context_deleter {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// A muxing context from avformat_alloc_output_context2: closes the I/O it
// opened (unless the muxer opens its own files), then frees the context.
struct av_output_context_deleter {
  void operator()(AVFormatContext* c) const {
    if (c && c->oformat && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};
struct av_buffer_deleter {
  void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};
struct av_codec_parameters_deleter {
  void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};

using av_frame_ptr = std::unique_ptr<AVFrame, av_frame_deleter>;
using av_packet_ptr = std::unique_ptr<AVPacket, av_packet_deleter>;
using av_codec_context_ptr = std::unique_ptr<AVCodecContext, av_codec_context_deleter>;
using sws_context_ptr = std::unique_ptr<SwsContext, sws_context_deleter>;
using swr_context_ptr = std::unique_ptr<SwrContext, swr_context_deleter>;
// Buffers handed out by the pool stay valid after the pool is released.
using av_buffer_pool_ptr = std::unique_ptr<AVBufferPool, av_buffer_pool_deleter>;
using av_input_context_ptr = std::unique_ptr<AVFormatContext, av_input_context_deleter>;
using av_output_context_ptr = std::unique_ptr<AVFormatContext, av_output_context_deleter>;
using av_buffer_ptr = std::unique_ptr<AVBufferRef, av_buffer_deleter>;
using av_codec_parameters_ptr = std::unique_ptr<AVCodecParameters, av_codec_parameters_deleter>;

inline av_frame_ptr make_frame() { return av_frame_ptr(av_frame_alloc()); }
inline av_packet_ptr make_packet() { return av_packet_ptr(av_packet_alloc()); }

// An AVDictionary that frees itself; get() hands FFmpeg the address it may rewrite.
class av_dictionary {
 public:
  av_dictionary() = default;
  av_dictionary(const av_dictionary&) = delete;
  av_dictionary& operator=(const av_dictionary&) = delete;
  ~av_dictionary() { av_dict_free(&dict_); }

  void set(const char* key, const char* value) { av_dict_set(&dict_, key, value, 0); }
  AVDictionary** get() { return &dict_; }
  int count() const { return av_dict_count(dict_); }

 private:
  AVDictionary* dict_ = nullptr;
};

// FFmpeg's text for an AVERROR code, for log lines.
inline std::string av_error_text(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof buf);
  return buf;
}

}  // namespace lrk
