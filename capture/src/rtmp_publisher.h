// Encodes captured video frames and PCM buffers and publishes them as one
// stream: FLV for an rtmp:// address, otherwise the container FFmpeg picks
// from the address (a local room.flv or room.mp4). One H.264 video stream in
// milliseconds and one AAC audio stream.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "castbay/live_av_capture.h"
#include "codec/av_holders.h"
#include "codec/h264codec_encode.h"
#include "codec/mp3_encoder.h"
#include "io_deadline.h"
#include "packet_clock.h"

class live_capture_manager;

// Results of the publisher's operations. The open steps' failures are OR-ed
// together, so a failed open_device is negative whichever steps failed.
namespace publish_result {
inline constexpr int ok = 0;
inline constexpr int no_container = -1;     // open: no muxer for the address
inline constexpr int io_open_failed = -2;   // open: the address cannot be opened
inline constexpr int no_encoder = -1;       // stream set-up: no encoder for the codec
inline constexpr int no_stream = -2;        // stream set-up: the stream cannot be made
inline constexpr int video_open_failed = -2;
inline constexpr int audio_open_failed = -1;
inline constexpr int header_failed = -4;
inline constexpr int not_publishing = -1;   // write: closed, or no such stream
inline constexpr int packet_refused = -3;   // write: the muxer or the server refused a packet
}  // namespace publish_result

// on_status codes for a refused packet.
inline constexpr int status_video_refused = 0;
inline constexpr int status_audio_refused = 1;

// Bounds on blocking network calls.
inline constexpr std::chrono::seconds publish_open_timeout{5};   // connect and handshake
inline constexpr std::chrono::seconds publish_write_timeout{5};  // one write call
inline constexpr std::chrono::seconds publish_close_timeout{3};  // the whole of close()
// Longest a packet waits in the muxer for the other stream's packets (us),
// for video at `fps`: the H.264 encoder's own delay in pictures (its B-frames,
// GOP look-ahead and threads) at that rate, plus half a second. Sound arrives
// that much ahead of the pictures it goes with, so a shorter wait would
// refuse pictures; a longer one would hold them behind sound that stopped.
std::int64_t max_interleave_delay_us(int fps);

using sample_bytes_ptr = std::shared_ptr<std::uint8_t[]>;

class rtmp_publisher {
 public:
  explicit rtmp_publisher(live_capture_manager* manager);
  ~rtmp_publisher();
  rtmp_publisher(const rtmp_publisher&) = delete;
  rtmp_publisher& operator=(const rtmp_publisher&) = delete;

  // Host's thread. Video settings from the video device; src_pix_fmt is the
  // captured frames' AVPixelFormat (YUYV422 or BGR24). fps is kept but not
  // used: frame times come from the capture times.
  void set_video_param(int bit_rate, int src_width, int src_height, int src_pix_fmt, int fps,
                       int dst_width, int dst_height);
  // Host's thread. sample_fmt is AV_SAMPLE_FMT_S16 or AV_SAMPLE_FMT_U8.
  void set_audio_param(int sample_rate, int sample_fmt, int channels, int bit_rate);
  // Host's thread: which streams open_device creates.
  void set_has_video(bool has_video) { has_video_ = has_video ? 1 : 0; }
  void set_has_audio(bool has_audio) { has_audio_ = has_audio ? 1 : 0; }

  // Host's thread. Opens the output, sets up the marked streams and writes
  // the header. 0, or the OR of the failed steps' codes (publish_result); the
  // steps after a failed one still run, and close() releases what was made.
  // An address whose server does not answer fails within publish_open_timeout.
  int open_device(const char* url);
  // Host's thread, after the poll thread stopped. Finishes the encoders and
  // the container (trailer) when the header was written, then releases
  // everything; bounded by publish_close_timeout even when the server is
  // gone. Returns 0; a second call does nothing.
  int close();

  // Poll thread. Encodes one captured frame taken at capture_time (ms) and
  // writes what the encoder finished. 0; -1 not publishing video; -3 a
  // packet was refused (on_status(0) reported first).
  int write_video(const sample_bytes_ptr& data, int size, std::int64_t capture_time);
  // Poll thread. Encodes the whole encoder frames of one PCM buffer captured
  // at capture_time (ms); *leftover receives the sample frames dropped after
  // the last whole frame. 0; -1 not publishing audio; -3 a packet was refused
  // (on_status(1) reported first, the buffer's remaining packets dropped).
  int write_audio(const sample_bytes_ptr& data, int size, std::int64_t capture_time,
                  int* leftover);

  // Host's thread, while publishing: replaces the video encoder by a new one
  // with the current settings (a new bit rate). The poll thread switches to
  // it at its next frame, after finishing the old encoder's frames; the
  // stream and its header stay.
  void reopen_video();

  // Any thread: reads the counters, or with stats->write set, replaces them.
  void access_stats(capture_stats* stats);

  // Host's thread, after open_device: samples per channel in one audio
  // encoder frame (0 without audio encoder or for a codec of any frame size).
  int audio_frame_size() const;

 private:
  int add_stream(AVCodecID codec_id);
  int add_video_stream();
  int add_audio_stream();
  int write_header();
  // A new encoder over a new context, opened with the current video
  // settings; *result is 0 or video_open_failed.
  std::shared_ptr<h264codec_encode> open_video_encoder(int* result);
  bool wants_global_header() const;

  // Rescales, stamps and writes packets of one stream in order; stops at the
  // first refused packet and drops the rest. Returns 0 or the refusal.
  int write_packets(std::vector<lrk::av_packet_ptr>& packets, const AVCodecContext& codec,
                    AVStream& stream, packet_clock& clock, const char* log_format,
                    std::atomic<std::int64_t>& bytes, std::atomic<std::int64_t>* count,
                    io_deadline::clock::time_point deadline);
  void attach_new_extradata(AVPacket& packet, const AVCodecContext& codec);
  void drain_encoders(io_deadline::clock::time_point deadline);

  template <typename... Args>
  void log(int level, const char* format, Args... args) const;

  live_capture_manager* const manager_;  // owner; set at construction

  // Must outlive format_context_, whose I/O holds its callback.
  io_deadline io_deadline_;

  // Host's thread: made by open_device, released by close; the poll thread
  // uses them only between the two.
  const AVOutputFormat* output_format_ = nullptr;
  lrk::av_output_context_ptr format_context_;
  const AVCodec* audio_codec_ = nullptr;
  const AVCodec* video_codec_ = nullptr;
  AVStream* audio_stream_ = nullptr;
  AVStream* video_stream_ = nullptr;
  std::shared_ptr<mp3_encoder> audio_encoder_;
  std::atomic<bool> header_written_{false};
  std::string url_;

  // Host's thread: set by the manager, never cleared.
  int has_video_ = 0;
  int has_audio_ = 0;
  int sample_rate_ = 0;
  int sample_fmt_ = 0;
  int channels_ = 0;
  int audio_bit_rate_ = 0;

  // Guarded by video_lock_: the host's thread changes the settings and hands
  // over a re-opened encoder while the poll thread encodes.
  mutable std::mutex video_lock_;
  int video_bit_rate_ = 0;
  int src_width_ = 0;
  int src_height_ = 0;
  int dst_width_ = 0;
  int dst_height_ = 0;
  int src_pix_fmt_ = 0;
  int fps_ = 0;
  std::shared_ptr<h264codec_encode> video_encoder_;
  std::shared_ptr<h264codec_encode> pending_video_encoder_;  // re-opened, not yet in use

  // Poll thread (and close(), after the poll thread stopped).
  packet_clock video_clock_;
  packet_clock audio_clock_;
  bool announce_extradata_ = false;  // the first packet of a re-opened encoder

  // Any thread.
  std::atomic<std::int64_t> video_bytes_{0};
  std::atomic<std::int64_t> audio_bytes_{0};
  std::atomic<std::int64_t> video_packets_{0};
};
