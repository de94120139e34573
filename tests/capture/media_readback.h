// Reads back what the publisher produced, with libavformat: a local file to
// its end, or an RTMP stream as a subscriber of the server; then decodes it
// with the codec wrappers.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codec/av_holders.h"

namespace capture_test {

struct read_packet {
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  AVRational time_base{0, 1};
  lrk::av_packet_ptr packet;
};

struct media_readback {
  bool opened = false;
  std::string format_name;  // the demuxer's name
  int stream_count = 0;
  lrk::av_codec_parameters_ptr video;  // first video stream, or null
  lrk::av_codec_parameters_ptr audio;  // first audio stream, or null
  std::vector<read_packet> packets;    // in file order

  std::vector<const read_packet*> of(AVMediaType type) const;
};

// Reads a file (or any address FFmpeg opens) to its end.
media_readback read_media(const std::string& url);

// Plays an RTMP stream on a thread of its own and keeps every packet.
class rtmp_subscriber {
 public:
  explicit rtmp_subscriber(std::string url);
  ~rtmp_subscriber();
  rtmp_subscriber(const rtmp_subscriber&) = delete;
  rtmp_subscriber& operator=(const rtmp_subscriber&) = delete;

  // Waits until `count` packets arrived, or until none came for `quiet`
  // after at least one, or `limit`; then stops and returns what was read.
  media_readback finish(std::size_t count, std::chrono::milliseconds quiet,
                        std::chrono::milliseconds limit);

 private:
  void run();
  static int interrupted(void* self);

  std::string url_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::condition_variable arrived_;
  media_readback result_;  // guarded by lock_
  std::chrono::steady_clock::time_point last_arrival_;
  std::thread thread_;
};

// Decodes the video packets: packed BGR24 pictures, bottom row first.
std::vector<lrk::av_frame_ptr> decode_pictures(const media_readback& media);
// Decodes the audio packets into interleaved S16 samples.
std::vector<std::int16_t> decode_sound(const media_readback& media);

}  // namespace capture_test
