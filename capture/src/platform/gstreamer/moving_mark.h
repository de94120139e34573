// What the test-pattern camera paints over GStreamer's SMPTE bars: a still
// black block over the pattern's noise corner, and a black mark with a band
// of fresh grain under it that moves from frame to frame in the bottom half,
// so that an encoder has motion and detail to spend bits on. The top half (the bars a viewer checks colours
// against) is never touched; anything painted later (a time strip, say)
// belongs here too and stays below the middle.
#pragma once

#include <cstdint>

#include "platform/media_type.h"

namespace capture_platform::gstreamer {

// Where the mark of a frame lies: a square of `size` pixels whose top-left
// corner is (x, y), counted from the picture's top row.
struct mark_place {
  int x = 0;
  int y = 0;
  int size = 0;
};
mark_place moving_mark_place(int width, int height, std::int64_t frame_number);
// The band of fresh grain that moves under the mark: as wide as the mark,
// `size` rows high from (x, y). Painted only where it fits the picture.
mark_place grain_place(const mark_place& mark);

// Paints frame `frame_number`'s mark into a picture as the camera makes it:
// rows top first, `stride` bytes apart; `layout` yuy2 or rgb24 (B, G, R).
// Other layouts, and pictures too small for a mark, are left as they are.
void paint_moving_mark(std::uint8_t* bytes, int stride, int width, int height,
                       media_subtype layout, std::int64_t frame_number);

}  // namespace capture_platform::gstreamer
