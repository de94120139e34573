#include "picture_checks.h"

#include <algorithm>

namespace capture_gst_test {

using capture_platform::media_subtype;

namespace {
int clamp_byte(double value) { return std::clamp(static_cast<int>(value + 0.5), 0, 255); }
int row_bytes(media_subtype layout, int width) {
  return layout == media_subtype::rgb24 ? width * 3 : width * 2;
}
}  // namespace

rgb host_pixel(const std::vector<std::uint8_t>& frame, media_subtype layout, int width, int height,
               int x, int y) {
  if (layout == media_subtype::rgb24) {
    const std::size_t at = static_cast<std::size_t>(height - 1 - y) * row_bytes(layout, width) + x * 3;
    return {frame[at + 2], frame[at + 1], frame[at]};
  }
  const std::size_t row = static_cast<std::size_t>(y) * row_bytes(layout, width);
  const double luma = frame[row + x * 2] - 16.0;
  const std::size_t pair = row + (x & ~1) * 2;
  const double u = frame[pair + 1] - 128.0;
  const double v = frame[pair + 3] - 128.0;
  return {clamp_byte(1.164 * luma + 1.596 * v), clamp_byte(1.164 * luma - 0.813 * v - 0.391 * u),
          clamp_byte(1.164 * luma + 2.018 * u)};
}

std::string colour_name(rgb pixel) {
  auto level = [](int value) { return value >= 150 ? 1 : value <= 60 ? 0 : -1; };
  const int r = level(pixel.r), g = level(pixel.g), b = level(pixel.b);
  if (r < 0 || g < 0 || b < 0) return "other";
  static const char* names[2][2][2] = {{{"black", "blue"}, {"green", "cyan"}},
                                       {{"red", "magenta"}, {"yellow", "white"}}};
  return names[r][g][b];
}

std::vector<std::string> bar_colours(const std::vector<std::uint8_t>& frame, media_subtype layout,
                                     int width, int height, int y) {
  std::vector<std::string> colours;
  for (int bar = 0; bar < 7; ++bar)
    colours.push_back(colour_name(host_pixel(frame, layout, width, height, (2 * bar + 1) * width / 14, y)));
  return colours;
}

const std::vector<std::string>& smpte_bar_colours() {
  static const std::vector<std::string> colours{"white", "yellow", "cyan", "green",
                                                "magenta", "red", "blue"};
  return colours;
}

std::vector<std::uint8_t> picture_row(const std::vector<std::uint8_t>& frame, media_subtype layout,
                                      int width, int height, int y) {
  const int bytes = row_bytes(layout, width);
  const int stored = layout == media_subtype::rgb24 ? height - 1 - y : y;
  const auto begin = frame.begin() + static_cast<std::ptrdiff_t>(stored) * bytes;
  return {begin, begin + bytes};
}

int first_black_run(const std::vector<std::uint8_t>& frame, media_subtype layout, int width,
                    int height, int y, int min_run) {
  int run = 0;
  for (int x = 0; x < width; ++x) {
    const rgb pixel = host_pixel(frame, layout, width, height, x, y);
    run = std::max({pixel.r, pixel.g, pixel.b}) < 40 ? run + 1 : 0;
    if (run >= min_run) return x - min_run + 1;
  }
  return -1;
}

}  // namespace capture_gst_test
