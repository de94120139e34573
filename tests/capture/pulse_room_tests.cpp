// Rooms whose microphone is a real sound server's source: a private
// PulseAudio daemon with a null sink playing a known tone, hosted from the
// sink's monitor as any microphone would be, and watched with vidlark. Also
// a server that stops answering or dies in the middle of a room.
#include <gtest/gtest.h>

#include <thread>

#include "live_room.h"
#include "pulse_server.h"
#include "wide_text_for_tests.h"

using namespace capture_test;
using namespace std::chrono_literals;

namespace {

// Not the built-in microphone's 1 kHz, so the tone can only be the server's.
constexpr int played_tone = 440;

template <typename Done>
bool eventually(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

class pulse_room : public ::testing::Test {
 protected:
  pulse_room() {
    sound_.use_in_this_process();
    sound_.play_tone(played_tone);
    room_ = std::make_unique<live_room>();
    room_->manager.set_video_param(320, 240, 30);
    room_->manager.set_audio_param(44100, 16, 2, 64000);
  }
  ~pulse_room() override {
    // A stop left waiting on a stopped server finishes once it runs again.
    sound_.resume();
    room_.reset();
  }

  // The monitor as the device list shows it: friendly name and path.
  std::pair<std::wstring, std::wstring> listed_monitor() {
    capture_device_list microphones;
    EXPECT_EQ(room_->manager.list_devices(1, &microphones), 0);
    const std::wstring path = wide("pulse:" + sound_.monitor_source_name());
    for (const auto& [name, device_path] : microphones)
      if (device_path.substr(0, device_path.find(L'\0')) == path) return {name, device_path};
    ADD_FAILURE() << "the monitor is not listed among " << microphones.size() << " microphones";
    return {};
  }

  int host_from_monitor(const std::string& stream) {
    const auto [name, path] = listed_monitor();
    room_->manager.set_device_names(castbay_test_camera_path, path);
    return room_->open(stream);
  }

  lrk::test::pulse_server sound_;
  std::unique_ptr<live_room> room_;
};

TEST_F(pulse_room, the_monitor_is_listed_and_carries_its_tone_to_the_player) {
  const auto [name, path] = listed_monitor();
  EXPECT_EQ(name, wide(sound_.monitor_friendly_name()) + std::wstring(2, L'\0'));
  ASSERT_EQ(host_from_monitor("pulse"), 0);

  room_player player;
  ASSERT_EQ(player.play(room_->url()), 0);
  ASSERT_TRUE(player.wait_for(30, 44100 * 2 * 2, 15s));
  const auto record = player.record();
  const std::vector<int16_t> samples = record->read([&] { return record->samples; });
  EXPECT_NEAR(lrk::test::tone_frequency(samples, 2, 44100), played_tone, 8.0);

  const std::vector<int> buffers = room_->host.audio_frame_sizes();
  ASSERT_GT(buffers.size(), 40u);
  EXPECT_TRUE(std::all_of(buffers.begin(), buffers.end(), [](int s) { return s == 4096; }))
      << "whole encoder frames from a real source too";
}

TEST_F(pulse_room, a_server_that_stops_answering_does_not_hold_up_unhost) {
  ASSERT_EQ(host_from_monitor("hung"), 0);
  ASSERT_TRUE(eventually([&] { return room_->host.audio_frame_sizes().size() > 20; }, 5s));
  sound_.pause();
  std::this_thread::sleep_for(1s);
  const auto begin = std::chrono::steady_clock::now();
  room_->manager.unhost_room();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
  // Nothing reaches the host after unhost_room returned.
  const std::size_t heard = room_->host.audio_frame_sizes().size();
  const std::size_t seen = room_->host.video_frame_sizes().size();
  sound_.resume();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(room_->host.audio_frame_sizes().size(), heard);
  EXPECT_EQ(room_->host.video_frame_sizes().size(), seen);
}

TEST_F(pulse_room, a_server_that_dies_is_reported_and_the_room_goes_on_with_video) {
  ASSERT_EQ(host_from_monitor("dying"), 0);
  ASSERT_TRUE(eventually([&] { return room_->host.audio_frame_sizes().size() > 20; }, 5s));
  sound_.kill();
  ASSERT_TRUE(eventually(
      [&] { return !room_->host.texts_starting("audio capture device failed: ").empty(); }, 5s));
  capture_stats before{};
  room_->manager.access_stats(&before);
  const std::size_t seen = room_->host.video_frame_sizes().size();
  std::this_thread::sleep_for(2s);
  capture_stats after{};
  room_->manager.access_stats(&after);
  EXPECT_GE(room_->host.video_frame_sizes().size(), seen + 45) << "about 30 frames a second";
  EXPECT_GT(after.video_bytes, before.video_bytes) << "video still published";
  const auto begin = std::chrono::steady_clock::now();
  room_->manager.unhost_room();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
  EXPECT_TRUE(room_->host.statuses().empty());
}

}  // namespace
