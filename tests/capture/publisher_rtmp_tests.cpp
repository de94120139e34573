// The publisher against a real nginx RTMP server on a loopback port, read
// back by a subscriber of the server: content, timing, and what happens when
// the server refuses, never answers, stalls or goes away, and when the video
// encoder is re-opened mid-stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "live_capture_manager.h"
#include "media_readback.h"
#include "publish_feed.h"
#include "readback_checks.h"
#include "recording_callback.h"
#include "rtmp_server.h"
#include "stream_feeder.h"
#include "synthetic_media.h"
#include "tcp_relay.h"

using namespace capture_test;
using namespace std::chrono_literals;

namespace {

struct room_fixture {
  lrk::test::rtmp_server server;
  live_capture_manager manager;
  recording_callback host;

  room_fixture() { manager.set_callback(&host); }
  rtmp_publisher& publisher() { return manager.publisher(); }
};

// A subscriber that plays through a relay, so the test knows when the
// server has taken its play request.
struct watcher {
  lrk::test::tcp_relay relay;
  rtmp_subscriber subscriber;

  watcher(const lrk::test::rtmp_server& server, const std::string& stream)
      : relay(server.port()), subscriber(relay.rtmp_url(stream)) {}
  bool playing() { return relay.wait_for_server_text("NetStream.Play.Start", 10s); }
};

int count(const std::vector<write_call>& calls, bool video, int result) {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const write_call& c) {
    return c.video == video && c.result == result;
  }));
}

std::chrono::milliseconds longest(const std::vector<write_call>& calls) {
  std::chrono::milliseconds most{0};
  for (const write_call& c : calls) most = std::max(most, c.took);
  return most;
}

template <typename Call>
std::chrono::milliseconds time_of(Call call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

// ---- publishing ----

struct room_case {
  std::string name;
  media_plan plan;
};

void PrintTo(const room_case& c, std::ostream* out) { *out << c.name; }

media_plan room_plan(AVPixelFormat pix_fmt, int width, int height, AVSampleFormat sample_fmt,
                     int channels, int sample_rate) {
  media_plan plan;
  plan.pix_fmt = pix_fmt;
  plan.width = width;
  plan.height = height;
  plan.sample_fmt = sample_fmt;
  plan.channels = channels;
  plan.sample_rate = sample_rate;
  return plan;
}

class rtmp_room : public testing::TestWithParam<room_case> {};

TEST_P(rtmp_room, reaches_a_player_upright_in_time_and_in_tune) {
  const media_plan& plan = GetParam().plan;
  room_fixture room;
  watcher viewer(room.server, "room");
  ASSERT_TRUE(viewer.playing());

  configure(room.publisher(), plan);
  ASSERT_EQ(room.publisher().open_device(room.server.url("room").c_str()), 0);
  media_feeder feeder(room.publisher(), plan);
  constexpr int frames = 45;
  for (const write_call& call : feeder.feed(frames)) ASSERT_EQ(call.result, 0);
  ASSERT_EQ(room.publisher().close(), 0);
  EXPECT_TRUE(room.host.statuses().empty());

  capture_stats stats{};
  room.manager.access_stats(&stats);
  EXPECT_EQ(stats.video_frames, static_cast<std::uint64_t>(frames));

  const media_readback seen = viewer.subscriber.finish(SIZE_MAX, 800ms, 20s);
  expect_streams_as_planned(seen, plan);
  EXPECT_EQ(seen.format_name, "flv");

  // Every frame, at its capture time (the server counts from the stream's start).
  const auto video = seen.of(AVMEDIA_TYPE_VIDEO);
  ASSERT_EQ(video.size(), static_cast<std::size_t>(frames));
  std::vector<std::int64_t> pts = times_ms(video, true);
  std::sort(pts.begin(), pts.end());
  for (std::size_t i = 0; i < pts.size(); ++i)
    EXPECT_EQ(pts[i] - pts[0], feeder.video_times()[i] - feeder.video_times()[0]) << i;
  expect_strictly_increasing(times_ms(video, false), "video dts");
  expect_strictly_increasing(times_ms(seen.of(AVMEDIA_TYPE_AUDIO), false), "audio dts");

  const auto pictures = decode_pictures(seen);
  ASSERT_GT(pictures.size(), 30u);
  expect_upright(*pictures.back());
  EXPECT_NEAR(tone_frequency(decode_sound(seen), plan.channels, plan.sample_rate), 1000.0, 10.0);
}

INSTANTIATE_TEST_SUITE_P(
    capture_formats, rtmp_room,
    testing::Values(
        room_case{"yuy2_s16_stereo", room_plan(AV_PIX_FMT_YUYV422, 320, 240, AV_SAMPLE_FMT_S16, 2, 44100)},
        room_case{"rgb24_u8_mono", room_plan(AV_PIX_FMT_BGR24, 352, 288, AV_SAMPLE_FMT_U8, 1, 22050)},
        room_case{"yuv420p_s16_mono", room_plan(AV_PIX_FMT_YUV420P, 160, 120, AV_SAMPLE_FMT_S16, 1, 48000)}),
    [](const testing::TestParamInfo<room_case>& info) { return info.param.name; });

// ---- failures ----

TEST(rtmp_failures, a_server_that_never_answers_fails_the_open_in_time) {
  live_capture_manager manager;
  recording_callback host;
  manager.set_callback(&host);
  lrk::test::silent_listener silent;
  const std::string url = "rtmp://127.0.0.1:" + std::to_string(silent.port()) + "/live/room";
  configure(manager.publisher(), media_plan{});
  int result = 0;
  const auto took = time_of([&] { result = manager.publisher().open_device(url.c_str()); });
  EXPECT_EQ(result, -2);
  EXPECT_LT(took, publish_open_timeout + 2s);
  const std::vector<std::string> messages = host.formats(0);
  EXPECT_EQ(messages.back(), "avio_open failed!");
  EXPECT_LT(time_of([&] { manager.publisher().close(); }), 1s);
}

TEST(rtmp_failures, a_server_that_goes_away_refuses_packets_and_the_room_goes_on) {
  room_fixture room;
  media_plan plan;
  configure(room.publisher(), plan);
  ASSERT_EQ(room.publisher().open_device(room.server.url("room").c_str()), 0);
  media_feeder feeder(room.publisher(), plan);
  for (const write_call& call : feeder.feed(20)) ASSERT_EQ(call.result, 0);

  room.server.stop();
  std::vector<write_call> calls;
  for (int round = 0; round < 20 && count(calls, true, -3) < 3; ++round) {
    const std::vector<write_call> more = feeder.feed(15);
    calls.insert(calls.end(), more.begin(), more.end());
  }
  ASSERT_GE(count(calls, true, -3), 3);
  EXPECT_LT(longest(calls), publish_write_timeout + 1s);

  // Each refused call reported its kind once, first; nothing else reported.
  std::vector<int> expected;
  for (const write_call& c : calls) {
    EXPECT_TRUE(c.result == 0 || c.result == -3) << c.result;
    if (c.result == -3) expected.push_back(c.video ? 0 : 1);
  }
  EXPECT_EQ(room.host.statuses(), expected);
  EXPECT_LT(time_of([&] { EXPECT_EQ(room.publisher().close(), 0); }), publish_close_timeout + 1s);
}

TEST(rtmp_failures, a_stalled_server_fails_the_write_in_time_and_close_returns) {
  room_fixture room;
  lrk::test::tcp_relay relay(room.server.port());
  media_plan plan;
  plan.audio = false;
  plan.noise = true;  // large packets fill the connection's buffers soon
  plan.video_bit_rate = 20'000'000;
  configure(room.publisher(), plan);
  ASSERT_EQ(room.publisher().open_device(relay.rtmp_url("room").c_str()), 0);
  media_feeder feeder(room.publisher(), plan);
  for (const write_call& call : feeder.feed(5)) ASSERT_EQ(call.result, 0);

  relay.stall();
  std::vector<write_call> calls;
  while (count(calls, true, -3) == 0 && calls.size() < 600) {
    const std::vector<write_call> more = feeder.feed(10);
    calls.insert(calls.end(), more.begin(), more.end());
  }
  ASSERT_GT(count(calls, true, -3), 0) << "the writes never blocked";
  EXPECT_LT(longest(calls), publish_write_timeout + 2s);
  EXPECT_EQ(room.host.statuses().front(), 0);

  // The room goes on: later frames are refused without waiting again.
  const std::vector<write_call> later = feeder.feed(5);
  EXPECT_LT(longest(later), 1s);
  EXPECT_LT(time_of([&] { room.publisher().close(); }), publish_close_timeout + 2s);
}

// ---- re-opening the video encoder ----

TEST(rtmp_reopen, new_settings_reach_players_watching_through_it_and_joining_after) {
  room_fixture room;
  media_plan plan;
  plan.audio = true;
  plan.noise = true;
  plan.video_bit_rate = 150'000;
  constexpr int new_width = 400;
  constexpr int new_height = 300;
  watcher early(room.server, "room");
  ASSERT_TRUE(early.playing());
  configure(room.publisher(), plan);
  ASSERT_EQ(room.publisher().open_device(room.server.url("room").c_str()), 0);

  // The poll thread's part: frames keep coming while the host re-opens.
  std::atomic<int> stage{0};
  std::vector<write_call> calls;
  std::thread poll([&] {
    media_feeder feeder(room.publisher(), plan);
    auto add = [&](const std::vector<write_call>& more) {
      calls.insert(calls.end(), more.begin(), more.end());
    };
    add(feeder.feed(60));
    stage = 1;  // the host re-opens now, while the next frames are encoded
    add(feeder.feed(30));
    stage = 2;
    while (stage != 3) std::this_thread::sleep_for(5ms);  // a second player joins
    add(feeder.feed(60));
  });
  while (stage != 1) std::this_thread::sleep_for(1ms);
  // A new bit rate, and a new encoded size for the same camera frames.
  room.publisher().set_video_param(3'000'000, plan.width, plan.height, plan.pix_fmt, 30,
                                   new_width, new_height);
  room.publisher().reopen_video();
  while (stage != 2) std::this_thread::sleep_for(5ms);
  watcher late(room.server, "room");
  ASSERT_TRUE(late.playing());
  stage = 3;
  poll.join();
  ASSERT_EQ(room.publisher().close(), 0);
  for (const write_call& c : calls) ASSERT_EQ(c.result, 0);
  EXPECT_TRUE(room.host.statuses().empty());

  const media_readback before_and_after = early.subscriber.finish(SIZE_MAX, 800ms, 20s);
  const media_readback after = late.subscriber.finish(SIZE_MAX, 800ms, 20s);
  for (const media_readback* seen : {&before_and_after, &after}) {
    expect_strictly_increasing(times_ms(seen->of(AVMEDIA_TYPE_VIDEO), false), "video dts");
    expect_strictly_increasing(times_ms(seen->of(AVMEDIA_TYPE_AUDIO), false), "audio dts");
  }

  // The early player saw every frame and decodes through the change; the
  // late player starts at a key frame of the new encoder. Both end with
  // upright pictures of the new size.
  const auto early_video = before_and_after.of(AVMEDIA_TYPE_VIDEO);
  ASSERT_EQ(early_video.size(), 150u);
  EXPECT_GT(after.of(AVMEDIA_TYPE_VIDEO).size(), 40u);
  for (const media_readback* seen : {&before_and_after, &after}) {
    const auto pictures = decode_pictures(*seen);
    ASSERT_GT(pictures.size(), seen == &after ? 40u : 140u);
    const AVFrame& last = *pictures.back();
    ASSERT_EQ(last.width, new_width);
    ASSERT_EQ(last.height, new_height);
    // Grain on the picture: judge the colours more loosely.
    expect_upright(last, 45);
  }

  // The new bit rate shows in the packet sizes.
  auto mean_size = [&](std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += early_video[i]->packet->size;
    return sum / static_cast<double>(to - from);
  };
  EXPECT_GT(mean_size(110, 150), 4 * mean_size(20, 60));
}

}  // namespace
