#include "platform/gstreamer/moving_mark.h"

#include <algorithm>
#include <cstring>

namespace capture_platform::gstreamer {

mark_place moving_mark_place(int width, int height, std::int64_t frame_number) {
  mark_place place;
  // Even sizes and positions, so that the mark covers whole YUY2 pixel pairs.
  place.size = std::max(2, height / 8) & ~1;
  place.y = height / 2 + height / 32;
  const int travel = width - place.size + 1;
  if (travel <= 0 || place.y + place.size > height) return {0, 0, 0};
  const std::int64_t step = std::max(2, (width / 80) & ~1);
  place.x = static_cast<int>((frame_number * step) % travel) & ~1;
  return place;
}

namespace {
// Paints columns [x, x + w) of rows [y, y + h) black; x and w even.
void fill_black(std::uint8_t* bytes, int stride, media_subtype layout, int x, int y, int w, int h) {
  for (int row = y; row < y + h; ++row) {
    std::uint8_t* line = bytes + static_cast<std::ptrdiff_t>(row) * stride;
    if (layout == media_subtype::rgb24) {
      std::memset(line + x * 3, 0, static_cast<std::size_t>(w) * 3);
    } else if (layout == media_subtype::yuy2) {
      // Black: Y 16 on both pixels of each pair, neutral chroma.
      for (int column = x; column < x + w; column += 2) {
        std::uint8_t* pair = line + column * 2;
        pair[0] = 16;
        pair[1] = 128;
        pair[2] = 16;
        pair[3] = 128;
      }
    }
  }
}
}  // namespace

void paint_moving_mark(std::uint8_t* bytes, int stride, int width, int height,
                       media_subtype layout, std::int64_t frame_number) {
  if (layout != media_subtype::rgb24 && layout != media_subtype::yuy2) return;
  // GStreamer's pattern ends in a block of fresh noise every frame, which
  // would cost an encoder more than the whole rest of the picture; a still
  // black block keeps the bottom quarter calm.
  const int snow_x = (width * 3 / 4) & ~1;
  fill_black(bytes, stride, layout, snow_x, height * 3 / 4, (width - snow_x) & ~1, height - height * 3 / 4);

  const mark_place place = moving_mark_place(width, height, frame_number);
  if (place.size == 0) return;
  fill_black(bytes, stride, layout, place.x, place.y, place.size, place.size);
}

}  // namespace capture_platform::gstreamer
