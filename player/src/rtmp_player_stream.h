// Stream objects: one per discovered stream with an open decoder. Each
// decodes the packets of its stream on the poll thread, puts the results on
// a millisecond time line from the stream's start and hands them on.
#pragma once

#include <memory>
#include <vector>

#include "codec/av_holders.h"
#include "codec/h264codec_decode.h"
#include "codec/mp3_decoder.h"

// Receives what the stream objects decoded (the playback's data cache).
class decoded_frame_sink {
 public:
  // A bottom-up BGR24 picture, pts in ms from the stream's start.
  virtual void picture_decoded(lrk::av_frame_ptr picture) = 0;
  // S16 sound frames in stream order, pts in ms (or AV_NOPTS_VALUE).
  virtual void sound_decoded(std::vector<lrk::av_frame_ptr> frames) = 0;

 protected:
  ~decoded_frame_sink() = default;
};

class rtmp_player_stream {
 public:
  // Takes the opened codec context of `stream`.
  rtmp_player_stream(AVStream* stream, lrk::av_codec_context_ptr context);
  virtual ~rtmp_player_stream() = default;
  rtmp_player_stream(const rtmp_player_stream&) = delete;
  rtmp_player_stream& operator=(const rtmp_player_stream&) = delete;

  virtual void handle_packet(decoded_frame_sink& sink, const AVPacket& packet) = 0;
  virtual bool is_video() const = 0;
  AVStream* stream() const { return stream_; }

 protected:
  // Milliseconds since the stream's start for a pts in the stream's time base.
  int64_t to_stream_ms(int64_t pts) const;

  AVStream* stream_;                     // owned by the demuxing context
  lrk::av_codec_context_ptr context_;    // outlives the decoder that borrows it
};

class rtmp_player_stream_video final : public rtmp_player_stream {
 public:
  rtmp_player_stream_video(AVStream* stream, lrk::av_codec_context_ptr context);
  void handle_packet(decoded_frame_sink& sink, const AVPacket& packet) override;
  bool is_video() const override { return true; }

 private:
  std::unique_ptr<h264codec_decode> decoder_;
  int64_t last_pts_ms_ = 0;  // given to pictures that carry no timestamp
};

class rtmp_player_stream_audio final : public rtmp_player_stream {
 public:
  rtmp_player_stream_audio(AVStream* stream, lrk::av_codec_context_ptr context);
  void handle_packet(decoded_frame_sink& sink, const AVPacket& packet) override;
  bool is_video() const override { return false; }

 private:
  std::unique_ptr<mp3_decoder> decoder_;
};
