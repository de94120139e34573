// Writes a bottom-up BGR24 picture (the player's layout) as an upright PNG.
#pragma once

#include <string>
#include <vector>

// Returns an empty string on success, else what went wrong.
std::string write_png_snapshot(const std::string& path, const std::vector<unsigned char>& bgr_bottom_up,
                               int width, int height);
