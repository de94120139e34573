#include "frame_cache.h"

std::size_t frame_cache::bytes_of(const AVFrame& frame) {
  std::size_t bytes = 0;
  for (const AVBufferRef* buf : frame.buf)
    if (buf) bytes += buf->size;
  return bytes;
}

bool frame_cache::bounded_list::add(lrk::av_frame_ptr frame) {
  const std::size_t size = bytes_of(*frame);
  if (frames.size() > count_limit || size > byte_limit - bytes) return false;
  bytes += size;
  frames.push_back(std::move(frame));
  return true;
}

void frame_cache::bounded_list::pop() {
  if (frames.empty()) return;
  bytes -= bytes_of(*frames.front());
  frames.pop_front();
}

void frame_cache::bounded_list::clear() {
  frames.clear();
  bytes = 0;
}
