// The test pattern's painting on its own: it writes only inside the mark's
// square and the grain under it in the bottom half and the still block over
// the pattern's noise corner, never into the bars above, the rows' padding or outside the
// picture, and the square moves from frame to frame.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gstreamer/moving_mark.h"

namespace {

using namespace capture_platform;
using namespace capture_platform::gstreamer;

TEST(moving_mark, paints_only_its_square_and_the_still_corner_in_the_bottom_half) {
  const std::vector<std::pair<int, int>> sizes{{320, 240}, {1280, 720}, {321, 241},
                                               {17, 9},    {2, 2},      {3, 1}};
  for (media_subtype layout : {media_subtype::rgb24, media_subtype::yuy2}) {
    const int pixel_bytes = layout == media_subtype::rgb24 ? 3 : 2;
    for (const auto& [width, height] : sizes) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) +
                   (layout == media_subtype::rgb24 ? " RGB24" : " YUY2"));
      const int stride = width * pixel_bytes + 7;  // padded rows, as a driver may give them
      int moves = 0;
      mark_place previous = moving_mark_place(width, height, 0);
      for (std::int64_t frame = 0; frame < 40; ++frame) {
        std::vector<std::uint8_t> picture(static_cast<std::size_t>(stride) * height, 0xAA);
        paint_moving_mark(picture.data(), stride, width, height, layout, frame);
        const mark_place place = moving_mark_place(width, height, frame);
        if (place.size > 0) {
          EXPECT_GE(place.y, height / 2);
          EXPECT_LE(place.x + place.size, width);
          EXPECT_LE(place.y + place.size, height);
          if (place.x != previous.x) ++moves;
        }
        previous = place;
        // The noise corner: the right quarter of the bottom quarter, in whole pixel pairs.
        const int corner_x = (width * 3 / 4) & ~1;
        const int corner_w = (width - corner_x) & ~1;
        const int corner_y = height * 3 / 4;
        auto in_corner = [&](int x, int y) {
          return x >= corner_x && x < corner_x + corner_w && y >= corner_y;
        };
        const mark_place grain = grain_place(place);
        const bool grain_fits = place.size > 0 && grain.y + grain.size <= height;
        auto in_grain = [&](int x, int y) {
          return grain_fits && x >= grain.x && x < grain.x + place.size && y >= grain.y &&
                 y < grain.y + grain.size;
        };
        int painted = 0;
        for (int y = 0; y < height; ++y)
          for (int at = 0; at < stride; ++at) {
            if (picture[static_cast<std::size_t>(y) * stride + at] == 0xAA) continue;
            ++painted;
            const int x = at / pixel_bytes;
            ASSERT_LT(at, width * pixel_bytes) << "padding written, row " << y;
            ASSERT_TRUE(in_corner(x, y) || in_grain(x, y) ||
                        (y >= place.y && y < place.y + place.size &&
                                            x >= place.x && x < place.x + place.size))
                << "outside the mark and the corner at " << x << "," << y;
          }
        const int grain_area = grain_fits ? place.size * grain.size : 0;
        EXPECT_EQ(painted, (place.size * place.size + grain_area + corner_w * (height - corner_y)) *
                               pixel_bytes);
      }
      if (previous.size > 0 && width >= 64) {
        EXPECT_GE(moves, 30) << "the mark stands still";
      }
    }
  }
}

}  // namespace
