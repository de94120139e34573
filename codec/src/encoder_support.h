// What the H.264 and the audio encoder share: handing a frame to the codec
// and collecting what it gives back, and the rule that keeps input
// timestamps strictly increasing.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/av_holders.h"

// Sends one frame (null: end of stream, so the codec gives up what it holds)
// and appends every packet the codec has ready. Returns the send result: 0,
// or the negative code of a refused frame.
int send_and_collect(AVCodecContext* ctx, const AVFrame* frame,
                     std::vector<lrk::av_packet_ptr>& packets);

// Stamps frames so that none starts before the previous one ended: a wanted
// time that would not advance is moved just past the previous frame.
// Encoders and muxers refuse frames whose times go back or stand still.
class pts_sequence {
 public:
  // A frame lasting `duration` ticks (at least 1) that should start at `wanted`.
  std::int64_t next(std::int64_t wanted, std::int64_t duration) {
    const std::int64_t pts = has_end_ && wanted < end_ ? end_ : wanted;
    end_ = pts + (duration > 0 ? duration : 1);
    has_end_ = true;
    return pts;
  }

 private:
  std::int64_t end_ = 0;  // where the previous frame ended
  bool has_end_ = false;
};
