// Rooms from the built-in test camera and microphone, published to a real
// nginx RTMP server and played back with vidlark, read by a subscriber and
// by ffprobe: the picture upright in both camera layouts, the tone, whole
// encoder frames, sound switched off and quality changed mid-room, a server
// that vanishes, a preview, and many rooms in a row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "capture_results.h"
#include "live_room.h"
#include "media_readback.h"
#include "readback_checks.h"
#include "tcp_relay.h"

using namespace capture_test;
using namespace std::chrono_literals;

namespace {

template <typename Done>
bool eventually(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

capture_stats stats_of(live_capture_manager& manager) {
  capture_stats stats{};
  manager.access_stats(&stats);
  return stats;
}

struct layout_case {
  const char* name;
  int width, height;
  int bits_per_pixel;  // what the camera chooses for that size
};

class built_in_room : public ::testing::TestWithParam<layout_case> {};

TEST_P(built_in_room, reaches_a_player_upright_and_in_tune) {
  const layout_case& c = GetParam();
  live_room room;
  room.manager.set_video_param(c.width, c.height, 30);
  room.manager.set_audio_param(44100, 16, 2, 64000);
  ASSERT_EQ(room.open("room"), 0);
  ASSERT_TRUE(eventually([&] { return !room.host.video_frame_sizes().empty(); }, 5s));

  room_player player;
  ASSERT_EQ(player.play(room.url()), 0);
  ASSERT_TRUE(player.wait_for(45, 44100 * 2, 15s));
  const auto record = player.record();
  const auto [width, height, picture] = record->read([&] {
    return std::make_tuple(record->width, record->height, record->latest_picture);
  });
  EXPECT_EQ(width, c.width);
  EXPECT_EQ(height, c.height);
  expect_bars_upright(picture, width, height);
  const std::vector<int16_t> samples = record->read([&] { return record->samples; });
  EXPECT_NEAR(lrk::test::tone_frequency(samples, 2, 44100), 1000.0, 10.0);

  // The host's own frames: the camera's layout, bars upright in it too.
  const std::vector<unsigned char> raw = room.host.last_video_frame();
  ASSERT_EQ(room.host.notices().front(), (format_notice{true, c.width, c.height, c.bits_per_pixel}));
  if (c.bits_per_pixel == 24)
    expect_bars_upright(raw, c.width, c.height);
  else
    expect_yuy2_bars_upright(raw, c.width, c.height);
  // Every sound buffer holds whole encoder frames, nothing left over.
  const std::vector<int> buffers = room.host.audio_frame_sizes();
  ASSERT_GT(buffers.size(), 40u);
  EXPECT_TRUE(std::all_of(buffers.begin(), buffers.end(), [](int s) { return s == 4096; }));
  EXPECT_TRUE(room.host.statuses().empty());
}

INSTANTIATE_TEST_SUITE_P(layouts, built_in_room,
                         ::testing::Values(layout_case{"yuy2_640x480", 640, 480, 16},
                                           layout_case{"rgb24_320x240", 320, 240, 24}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(built_in_room_streams, ffprobe_reads_h264_and_aac) {
  live_room room;
  room.manager.set_video_param(320, 240, 30);
  room.manager.set_audio_param(44100, 16, 2, 64000);
  ASSERT_EQ(room.open("probe"), 0);
  const std::string command = "timeout 20 ffprobe -v error -show_entries "
                              "stream=codec_name,width,height,sample_rate,channels -of compact=p=0 '" +
                              room.url() + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) out += line;
  EXPECT_EQ(pclose(pipe), 0) << out;
  EXPECT_NE(out.find("codec_name=h264|width=320|height=240"), std::string::npos) << out;
  EXPECT_NE(out.find("codec_name=aac|sample_rate=44100|channels=2"), std::string::npos) << out;
}

// Reads the room's packets from the server through a relay, so the test
// knows when the server has taken its play request.
struct room_subscriber {
  lrk::test::tcp_relay relay;
  rtmp_subscriber subscriber;
  room_subscriber(const lrk::test::rtmp_server& server, const std::string& stream)
      : relay(server.port()), subscriber(relay.rtmp_url(stream)) {}
};

TEST(mid_room, sound_switched_off_still_reaches_the_host_and_pictures_keep_flowing) {
  live_room room;
  room.manager.set_video_param(320, 240, 30);
  room.manager.set_audio_param(44100, 16, 2, 64000);
  room_subscriber viewer(room.server, "quiet");
  ASSERT_EQ(room.open("quiet"), 0);
  ASSERT_TRUE(viewer.relay.wait_for_server_text("NetStream.Play.Start", 10s));
  std::this_thread::sleep_for(2s);

  room.manager.enable_audio(false);
  const std::uint64_t published = stats_of(room.manager).audio_bytes;
  const std::size_t heard = room.host.audio_frame_sizes().size();
  std::this_thread::sleep_for(6s);
  EXPECT_GE(room.host.audio_frame_sizes().size(), heard + 220) << "about 43 buffers a second";
  EXPECT_EQ(stats_of(room.manager).audio_bytes, published);

  const media_readback seen = viewer.subscriber.finish(SIZE_MAX, 0ms, 0ms);
  const auto audio = seen.of(AVMEDIA_TYPE_AUDIO);
  ASSERT_FALSE(audio.empty());
  const std::vector<std::int64_t> audio_times = times_ms(audio, true);
  const std::int64_t last_sound = *std::max_element(audio_times.begin(), audio_times.end());
  const std::vector<std::int64_t> video_times = times_ms(seen.of(AVMEDIA_TYPE_VIDEO), true);
  const auto after = std::count_if(video_times.begin(), video_times.end(),
                                   [&](std::int64_t t) { return t > last_sound + 500; });
  // Six seconds of pictures were taken; the encoder holds under a second of
  // them, the muxer at most its interleaving delay more (1.3 s at 30 fps).
  EXPECT_GE(after, 75) << "pictures held back behind the missing sound";
}

TEST(mid_room, quality_changes_reopen_the_encoder_at_the_new_rate) {
  live_room room;
  room.manager.set_video_param(320, 240, 30);
  room.manager.set_audio_param(44100, 16, 2, 64000);
  room_subscriber viewer(room.server, "quality");
  ASSERT_EQ(room.open("quality"), 0);
  ASSERT_TRUE(viewer.relay.wait_for_server_text("NetStream.Play.Start", 10s));

  auto video_rate = [&](float level) {
    room.manager.set_video_quality(level);
    std::this_thread::sleep_for(1s);  // the new encoder's look-ahead
    const std::uint64_t before = stats_of(room.manager).video_bytes;
    std::this_thread::sleep_for(3s);
    return (stats_of(room.manager).video_bytes - before) / 3.0;
  };
  const double low = video_rate(10);
  const double high = video_rate(40);
  EXPECT_GE(high, 2 * low) << "bytes/s at level 10: " << low << ", at 40: " << high;
  for (float level : {20.0f, 32.0f, 15.0f}) room.manager.set_video_quality(level);
  std::this_thread::sleep_for(2s);

  // After five changes the pictures still go with the sound.
  const media_readback seen = viewer.subscriber.finish(SIZE_MAX, 0ms, 0ms);
  const std::vector<std::int64_t> video = times_ms(seen.of(AVMEDIA_TYPE_VIDEO), true);
  const std::vector<std::int64_t> audio = times_ms(seen.of(AVMEDIA_TYPE_AUDIO), true);
  ASSERT_FALSE(video.empty());
  ASSERT_FALSE(audio.empty());
  const std::int64_t last_video = *std::max_element(video.begin(), video.end());
  const std::int64_t last_audio = *std::max_element(audio.begin(), audio.end());
  EXPECT_LT(std::abs(last_video - last_audio), 500) << "video " << last_video << " audio " << last_audio;
  expect_strictly_increasing(times_ms(seen.of(AVMEDIA_TYPE_VIDEO), false), "video dts");
  EXPECT_TRUE(room.host.statuses().empty());
}

TEST(mid_room, a_server_that_vanishes_is_reported_and_the_room_ends_in_bounds) {
  live_room room;
  room.manager.set_video_param(320, 240, 30);
  room.manager.set_audio_param(44100, 16, 2, 64000);
  ASSERT_EQ(room.open("vanishing"), 0);
  std::this_thread::sleep_for(1s);
  room.server.stop();
  ASSERT_TRUE(eventually([&] { return !room.host.statuses().empty(); }, 15s));
  // The room goes on: the host still gets its frames.
  const std::size_t frames = room.host.video_frame_sizes().size();
  EXPECT_TRUE(eventually([&] { return room.host.video_frame_sizes().size() > frames + 10; }, 10s));
  const auto begin = std::chrono::steady_clock::now();
  room.manager.unhost_room();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
}

TEST(preview_room, publishes_nothing_while_the_host_gets_every_frame) {
  live_room room;
  room.manager.set_video_param(320, 240, 30);
  room.manager.set_audio_param(44100, 16, 2, 64000);
  room.manager.preview();
  std::this_thread::sleep_for(2s);
  room.manager.stop_preview();
  const std::size_t frames = room.host.video_frame_sizes().size();
  EXPECT_GE(frames, 50u) << "about 30 frames a second";
  EXPECT_LE(frames, 70u);
  EXPECT_GE(room.host.audio_frame_sizes().size(), 70u) << "about 43 buffers a second";
  const capture_stats stats = stats_of(room.manager);
  EXPECT_EQ(stats.video_bytes + stats.audio_bytes + stats.video_frames, 0u);
}

TEST(many_rooms, twenty_host_and_unhost_cycles_leave_nothing_behind) {
  live_room room;
  room.manager.set_video_param(320, 240, 30);
  room.manager.set_audio_param(44100, 16, 2, 64000);
  process_footprint settled;
  for (int cycle = 0; cycle < 20; ++cycle) {
    ASSERT_EQ(room.open("cycle" + std::to_string(cycle)), 0) << cycle;
    const std::size_t frames = room.host.video_frame_sizes().size();
    ASSERT_TRUE(eventually([&] { return room.host.video_frame_sizes().size() >= frames + 5; }, 5s));
    room.manager.unhost_room();
    if (cycle == 4) settled = footprint();
  }
  const process_footprint now = footprint();
  EXPECT_LE(now.threads, settled.threads + 1);
  EXPECT_LE(now.open_files, settled.open_files + 2);
  EXPECT_LT(now.resident_kb, settled.resident_kb + 20 * 1024) << "more than 20 MB grown in 15 rooms";
}

}  // namespace
