#include "live_room.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace capture_test {

live_room::live_room() {
  manager.set_callback(&host);
  manager.set_device_names(castbay_test_camera_path, castbay_test_microphone_path);
}

live_room::~live_room() { manager.unhost_room(); }

int live_room::open(const std::string& stream) {
  url_ = server.url(stream);
  return manager.host_room(url_.c_str());
}

room_player::room_player()
    : record_(std::make_shared<lrk::test::host_record>()), player_(create_vidlark()) {
  auto* callback = new lrk::test::recording_host(record_);
  callback->attach(player_);
  player_->set_callback(callback);
}

room_player::~room_player() {
  player_->stop();
  free_vidlark(player_);
  delete player_;
}

int room_player::play(const std::string& url) { return player_->play(url.c_str()); }

bool room_player::wait_for(std::uint64_t pictures, std::size_t samples,
                           std::chrono::milliseconds limit) {
  return record_->wait_for(
      [&] { return record_->pictures >= pictures && record_->samples.size() >= samples; }, limit);
}

const lrk::test::rgb smpte_top_bars[7] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255},
                                          {0, 255, 0},     {255, 0, 255}, {255, 0, 0},
                                          {0, 0, 255}};

namespace {
// Rows a quarter down, and a sixth down, where only bars are (the mark and
// everything else of the pattern lie below the middle).
constexpr double bar_rows[] = {0.17, 0.25, 0.4};
constexpr int bar_tolerance = 48;

lrk::test::rgb yuy2_pixel(const std::vector<unsigned char>& yuy2, int width, int x, int y) {
  const unsigned char* pair = yuy2.data() + (static_cast<std::size_t>(y) * width + (x & ~1)) * 2;
  const double luma = 1.164 * ((x & 1 ? pair[2] : pair[0]) - 16);
  const double u = pair[1] - 128.0, v = pair[3] - 128.0;
  auto clamp = [](double c) { return static_cast<int>(std::clamp(c, 0.0, 255.0)); };
  return {clamp(luma + 1.596 * v), clamp(luma - 0.392 * u - 0.813 * v), clamp(luma + 2.017 * u)};
}

template <typename Pixel>
void expect_bars(int width, int height, Pixel pixel) {
  for (double row : bar_rows)
    for (int bar = 0; bar < 7; ++bar) {
      const int x = (2 * bar + 1) * width / 14;
      const int y = static_cast<int>(row * height);
      const lrk::test::rgb seen = pixel(x, y);
      EXPECT_TRUE(lrk::test::near(seen, smpte_top_bars[bar], bar_tolerance))
          << "bar " << bar << " at (" << x << "," << y << "): " << lrk::test::to_string(seen)
          << ", expected " << lrk::test::to_string(smpte_top_bars[bar]);
    }
}
}  // namespace

void expect_bars_upright(const std::vector<unsigned char>& bgr, int width, int height) {
  ASSERT_EQ(bgr.size(), static_cast<std::size_t>(width) * height * 3);
  expect_bars(width, height,
              [&](int x, int y) { return lrk::test::pixel_at(bgr, width, height, x, y); });
}

void expect_yuy2_bars_upright(const std::vector<unsigned char>& yuy2, int width, int height) {
  ASSERT_EQ(yuy2.size(), static_cast<std::size_t>(width) * height * 2);
  expect_bars(width, height, [&](int x, int y) { return yuy2_pixel(yuy2, width, x, y); });
}

process_footprint footprint() {
  namespace fs = std::filesystem;
  process_footprint f;
  for (auto it = fs::directory_iterator("/proc/self/task"); it != fs::directory_iterator(); ++it)
    ++f.threads;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it)
    ++f.open_files;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) f.resident_kb = std::stol(line.substr(6));
  return f;
}

}  // namespace capture_test
