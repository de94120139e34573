// The data cache between the poll thread and the play thread: two bounded
// lists of decoded frames, oldest first. When a list is full the NEW frame
// is dropped (the cached ones stay), so a slow host never blocks the
// network read. Not synchronised: the owner guards it with its cache lock.
#pragma once

#include <cstddef>
#include <deque>

#include "codec/av_holders.h"

class frame_cache {
 public:
  // A frame is appended while the list holds at most this many entries.
  static constexpr std::size_t video_limit = 200;  // so at most 201 pictures wait
  static constexpr std::size_t audio_limit = 400;  // so at most 401 sound frames wait

  // Each returns false (and releases the frame) when the list is full.
  bool add_picture(lrk::av_frame_ptr frame) { return add(video_, video_limit, std::move(frame)); }
  bool add_sound(lrk::av_frame_ptr frame) { return add(audio_, audio_limit, std::move(frame)); }

  std::deque<lrk::av_frame_ptr>& pictures() { return video_; }
  std::deque<lrk::av_frame_ptr>& sounds() { return audio_; }

  void clear() {
    audio_.clear();
    video_.clear();
  }

 private:
  static bool add(std::deque<lrk::av_frame_ptr>& list, std::size_t limit, lrk::av_frame_ptr frame) {
    if (list.size() > limit) return false;
    list.push_back(std::move(frame));
    return true;
  }

  std::deque<lrk::av_frame_ptr> video_;
  std::deque<lrk::av_frame_ptr> audio_;
};
