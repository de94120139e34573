// Where the wrappers take the buffers that FFmpeg's scaler and resampler
// write into: FFmpeg's own allocator, unless a test hands in one of its own
// (one that places every buffer's end against an unmapped page, say).
#pragma once

#include <cstddef>

extern "C" {
#include <libavutil/buffer.h>
}

// Same contract as av_buffer_alloc: a buffer of `size` bytes, aligned as
// av_malloc aligns, or null. Null as an allocator means av_buffer_alloc.
using buffer_allocator = AVBufferRef* (*)(size_t size);
