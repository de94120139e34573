// Reading frames in the host's layout (YUY2 top row first, RGB24 as B, G, R
// bottom row first) by picture position, and naming the colours of the
// test pattern's bars.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/media_type.h"

namespace capture_gst_test {

struct rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

// The pixel at (x, y), y counted from the picture's top row.
rgb host_pixel(const std::vector<std::uint8_t>& frame, capture_platform::media_subtype layout,
               int width, int height, int x, int y);

// "white", "yellow", "cyan", "green", "magenta", "red", "blue", "black",
// or "other" for anything in between.
std::string colour_name(rgb pixel);

// The colours of the seven bars, left to right, read across row y.
std::vector<std::string> bar_colours(const std::vector<std::uint8_t>& frame,
                                     capture_platform::media_subtype layout, int width, int height,
                                     int y);

// The SMPTE bars' colours, left to right.
const std::vector<std::string>& smpte_bar_colours();

// The host-layout bytes of picture row y (top row 0).
std::vector<std::uint8_t> picture_row(const std::vector<std::uint8_t>& frame,
                                      capture_platform::media_subtype layout, int width,
                                      int height, int y);

// The leftmost column of a black run at least `min_run` pixels wide on
// row y, or -1.
int first_black_run(const std::vector<std::uint8_t>& frame, capture_platform::media_subtype layout,
                    int width, int height, int y, int min_run);

}  // namespace capture_gst_test
