// Decodes H.264 packets into packed BGR24 pictures stored bottom row first,
// the layout the player hands to its host.
#pragma once

#include <deque>

#include "codec/h264codec_base.h"

class h264codec_decode : public h264codec_base {
 public:
  using h264codec_base::h264codec_base;

  // Decodes one packet. Returns null when the decoder rejects it; otherwise a
  // frame that holds a picture (format BGR24, width and height of the decoded
  // picture, linesize[0] == width * 3, pts = best-effort timestamp in the
  // stream's time base) or, while the decoder is still filling its delay,
  // none (data[0] null). An empty packet is not a flush: it yields null.
  // A decoder that still holds output refuses new input (EAGAIN): it is
  // drained and the packet sent again, so every picture it completes comes
  // out, the first here and any others through take_picture().
  lrk::av_frame_ptr decode(const AVPacket& packet);
  // A further picture completed by the packets decoded so far, oldest
  // first; null when there is none.
  lrk::av_frame_ptr take_picture();

  // Converts one decoded picture (any size, any pixel format the scaler
  // reads) to the host's layout: a BGR24 frame as decode() returns it, pts
  // not set. Null when it cannot be converted.
  lrk::av_frame_ptr convert_picture(const AVFrame& decoded);

 private:
  // Takes every picture the decoder has ready into pending_; returns the
  // last receive result (AVERROR(EAGAIN) once it has none left).
  int receive_pictures();
  bool attach_picture_buffer(AVFrame& out, int width, int height);

  // Pictures completed and not yet handed out. A caller that never calls
  // take_picture() loses only the oldest beyond this many.
  static constexpr std::size_t max_pending = 16;
  std::deque<lrk::av_frame_ptr> pending_;

  // Recycles the BGR24 buffers of delivered pictures: fresh multi-megabyte
  // allocations would cost a page fault per 4 KiB on every picture.
  lrk::av_buffer_pool_ptr picture_pool_;
  int pool_buffer_size_ = 0;
  // Where the scaler writes pictures whose packed rows it would overrun;
  // kept from one picture to the next while the size stays.
  lrk::av_frame_ptr padded_picture_;
};
