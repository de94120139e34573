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

void paint_moving_mark(std::uint8_t* bytes, int stride, int width, int height,
                       media_subtype layout, std::int64_t frame_number) {
  const mark_place place = moving_mark_place(width, height, frame_number);
  if (place.size == 0) return;
  for (int row = place.y; row < place.y + place.size; ++row) {
    std::uint8_t* line = bytes + static_cast<std::ptrdiff_t>(row) * stride;
    if (layout == media_subtype::rgb24) {
      std::memset(line + place.x * 3, 0, static_cast<std::size_t>(place.size) * 3);
    } else if (layout == media_subtype::yuy2) {
      // Black: Y 16 on both pixels of each pair, neutral chroma.
      for (int x = place.x; x < place.x + place.size; x += 2) {
        std::uint8_t* pair = line + x * 2;
        pair[0] = 16;
        pair[1] = 128;
        pair[2] = 16;
        pair[3] = 128;
      }
    }
  }
}

}  // namespace capture_platform::gstreamer
