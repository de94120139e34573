// Pictures laid out the way FFmpeg lays out its own frames, for the buffers
// its scaler writes into or reads from. The scaler's SIMD paths work in
// whole blocks of pixels and may run past the end of a row, and past the
// last row, by up to a block; FFmpeg's own frames leave room for that.
#pragma once

#include "codec/av_holders.h"
#include "codec/buffer_allocator.h"

// Room the scaler may use after a plane's last row.
constexpr int scaler_margin = 256;

// Gives `frame` (format, width and height set) one buffer from `allocator`
// with every row padded to whole 64-pixel blocks, 64-byte aligned strides
// and scaler_margin bytes after each plane. False when it cannot.
bool allocate_padded_picture(AVFrame& frame, buffer_allocator allocator);

// Whether a packed picture of `width` pixels per row, rows back to back,
// already has that layout (apart from the margin after its last row).
bool packed_rows_are_padded(AVPixelFormat format, int width);
