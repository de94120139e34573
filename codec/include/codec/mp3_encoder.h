// Encodes captured interleaved PCM (16-bit signed or 8-bit unsigned) into
// compressed audio packets, cutting each buffer into whole codec frames.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/av_holders.h"
#include "codec/ffmpeg_codec.h"

class pts_sequence;

// How one captured buffer divides into codec frames: `frames` whole frames
// are encoded, `leftover` sample frames (per channel) after them are dropped.
// A codec without a fixed frame size takes the whole buffer as one frame.
struct audio_framing {
  int frames = 0;
  int samples_per_frame = 0;
  int leftover = 0;
};
audio_framing frame_audio(int total_samples, int codec_frame_size);

class mp3_encoder : public ffmpeg_codec {
 public:
  mp3_encoder(const AVCodec* codec, AVCodecContext* ctx);
  ~mp3_encoder() override;

  // Before the context is opened. sample_fmt is the capture format
  // (AV_SAMPLE_FMT_S16 or AV_SAMPLE_FMT_U8, interleaved); the wrapper keeps
  // it and gives the context the codec's own format when the codec does not
  // take the capture format (FFmpeg's AAC encoder takes planar float only).
  void set_params(int sample_rate, int sample_fmt, int channels, int bit_rate);

  // Bytes of one sample frame (all channels) of the capture format: 2 x
  // channels for S16, channels for U8, 0 for any other format.
  int sample_bytes() const;

  // Encodes the whole codec frames of one buffer captured at `pts` (ms).
  // Frames are stamped a frame's duration apart from the buffer's time, and
  // never earlier than the end of the previous frame. *leftover receives the
  // sample frames after the last whole frame, which are dropped. Returns the
  // packets the codec finished, in order (the codec's delay means they may
  // belong to earlier buffers). An unsupported capture format returns no
  // packet and leaves *leftover untouched.
  std::vector<lrk::av_packet_ptr> encode(const std::uint8_t* data, int size, std::int64_t pts,
                                         int* leftover);

  // Ends the stream: returns the packets of every frame still held.
  std::vector<lrk::av_packet_ptr> flush();

 private:
  lrk::av_frame_ptr make_frame(int samples);
  bool convert_into(AVFrame& frame, const std::uint8_t* samples);

  // Poll thread only (the publisher's caller), after set_params.
  AVSampleFormat input_fmt_ = AV_SAMPLE_FMT_NONE;  // the capture format
  int input_channels_ = 0;
  lrk::swr_context_ptr swr_;  // capture format -> codec format, made on first use
  std::unique_ptr<pts_sequence> next_pts_;  // in the codec's time base
};
