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

// Fresh grain every frame, dark grey, neutral in colour: what a camera's
// sensor noise gives an encoder to spend its bit rate on, so that a higher
// rate shows as more bytes.
void fill_grain(std::uint8_t* bytes, int stride, media_subtype layout, int x, int y, int w, int h,
                std::int64_t frame_number) {
  std::uint32_t state = 0x9e3779b9u ^ static_cast<std::uint32_t>(frame_number * 2654435761u);
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<std::uint8_t>(state & 0x7f);
  };
  for (int row = y; row < y + h; ++row) {
    std::uint8_t* line = bytes + static_cast<std::ptrdiff_t>(row) * stride;
    if (layout == media_subtype::rgb24) {
      for (int column = x; column < x + w; ++column) {
        const std::uint8_t grey = next();
        std::memset(line + column * 3, grey, 3);
      }
    } else if (layout == media_subtype::yuy2) {
      for (int column = x; column < x + w; column += 2) {
        std::uint8_t* pair = line + column * 2;
        pair[0] = static_cast<std::uint8_t>(16 + next());
        pair[1] = 128;
        pair[2] = static_cast<std::uint8_t>(16 + next());
        pair[3] = 128;
      }
    }
  }
}
}  // namespace

mark_place grain_place(const mark_place& mark) {
  if (mark.size == 0) return {};
  return {mark.x, mark.y + mark.size, (mark.size / 2) & ~1};
}

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
  const mark_place grain = grain_place(place);
  if (grain.y + grain.size <= height)
    fill_grain(bytes, stride, layout, grain.x, grain.y, place.size, grain.size, frame_number);
}

}  // namespace capture_platform::gstreamer
