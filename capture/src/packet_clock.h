// Keeps one stream's packet times strictly increasing at the muxer, which
// refuses a packet whose dts goes back. A packet that would not advance
// shifts itself and every later packet of the stream just past the previous
// one; a fresh encoder (a re-opened video encoder starts its own clock) is
// the only source of such a packet.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/avutil.h>
}

class packet_clock {
 public:
  // The packet's times are in the stream's time base.
  void stamp(AVPacket& packet) {
    if (packet.dts == AV_NOPTS_VALUE) packet.dts = packet.pts;
    if (packet.dts == AV_NOPTS_VALUE) return;
    shift(packet, offset_);
    if (has_last_ && packet.dts <= last_dts_) {
      const std::int64_t lag = last_dts_ + 1 - packet.dts;
      offset_ += lag;
      shift(packet, lag);
    }
    last_dts_ = packet.dts;
    has_last_ = true;
  }

 private:
  static void shift(AVPacket& packet, std::int64_t by) {
    packet.dts += by;
    if (packet.pts != AV_NOPTS_VALUE) packet.pts += by;
  }

  std::int64_t offset_ = 0;
  std::int64_t last_dts_ = 0;
  bool has_last_ = false;
};
