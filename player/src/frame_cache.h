// The data cache between the poll thread and the play thread: two bounded
// lists of decoded frames, oldest first. When a list is full the NEW frame
// is dropped (the cached ones stay), so a slow host never blocks the
// network read. Each list is bounded by a count and by the bytes its
// frames hold, so a stream announcing huge pictures or sound frames cannot
// exhaust memory. Not synchronised: the owner guards it with its cache lock.
#pragma once

#include <cstddef>
#include <deque>

#include "codec/av_holders.h"

class frame_cache {
 public:
  // A frame is appended while the list holds at most this many entries.
  static constexpr std::size_t video_limit = 200;  // so at most 201 pictures wait
  static constexpr std::size_t audio_limit = 400;  // so at most 401 sound frames wait
  // ... and while the list with the new frame holds at most this many bytes.
  static constexpr std::size_t video_byte_limit = std::size_t{1} << 30;  // 1 GiB
  static constexpr std::size_t audio_byte_limit = std::size_t{64} << 20;  // 64 MiB

  // Each returns false (and releases the frame) when the list is full.
  bool add_picture(lrk::av_frame_ptr frame) { return video_.add(std::move(frame)); }
  bool add_sound(lrk::av_frame_ptr frame) { return audio_.add(std::move(frame)); }

  const std::deque<lrk::av_frame_ptr>& pictures() const { return video_.frames; }
  const std::deque<lrk::av_frame_ptr>& sounds() const { return audio_.frames; }
  void pop_picture() { video_.pop(); }
  void pop_sound() { audio_.pop(); }
  std::size_t picture_bytes() const { return video_.bytes; }
  std::size_t sound_bytes() const { return audio_.bytes; }

  void clear() {
    audio_.clear();
    video_.clear();
  }

  // Bytes a frame keeps allocated: the sum of its buffers.
  static std::size_t bytes_of(const AVFrame& frame);

 private:
  struct bounded_list {
    std::size_t count_limit;
    std::size_t byte_limit;
    std::deque<lrk::av_frame_ptr> frames;
    std::size_t bytes = 0;

    bool add(lrk::av_frame_ptr frame);
    void pop();
    void clear();
  };

  bounded_list video_{video_limit, video_byte_limit, {}};
  bounded_list audio_{audio_limit, audio_byte_limit, {}};
};
