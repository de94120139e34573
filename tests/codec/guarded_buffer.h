// Test-only buffers that end exactly against memory nobody may touch, for
// the buffers FFmpeg's own (uninstrumented) code writes into or reads from.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

extern "C" {
#include <libavutil/buffer.h>
}

namespace lrk::test {

// A buffer of `size` bytes whose end lies against a PROT_NONE page, so a
// write or read past it faults at once. Its start is aligned as av_malloc
// aligns (64 bytes); the few bytes between the end and the page hold a
// canary that is checked when the buffer is freed. Same contract as
// av_buffer_alloc, so it plugs in as a buffer_allocator.
AVBufferRef* guarded_buffer_alloc(size_t size);

// Guarded buffers freed so far whose canary had been overwritten.
int guarded_canary_violations();

// Runs `check` in a child process, so that a fault in FFmpeg's code ends
// only that case. Returns what `check` returned ("" for success), or a
// description of how the child died; a canary overwritten in the child
// counts as a failure too.
std::string run_isolated(const std::function<std::string()>& check);

}  // namespace lrk::test
