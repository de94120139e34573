// Writes a captured or played picture as an upright PNG.
#pragma once

#include <string>
#include <vector>

enum class picture_layout {
  bgr24_bottom_up,  // the player's pictures and RGB24 capture: B, G, R, bottom row first
  yuy2,             // YUY2 capture: packed 4:2:2, top row first
};

// Returns an empty string on success, else what went wrong.
std::string write_png_snapshot(const std::string& path, const std::vector<unsigned char>& pixels,
                               int width, int height,
                               picture_layout layout = picture_layout::bgr24_bottom_up);
