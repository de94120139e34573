// The manager's sequences on the scripted platform, with the real publisher
// writing a local file: every message in order and every result code of
// hosting, previewing and unhosting, the device list, the quality level,
// and what a room publishes when the flags or the formats change.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "capture_results.h"
#include "fake_devices.h"
#include "media_readback.h"
#include "readback_checks.h"
#include "rtmp_publisher.h"
#include "synthetic_media.h"
#include "temp_dir.h"

using namespace capture_test;
using namespace capture_platform;
using capture_platform::scripted::step;
using namespace std::chrono_literals;
using strings = std::vector<std::string>;

namespace {

constexpr int scripted_failure = -77;

const strings teardown = {"unhost room!", "capture data poll thread stopped!",
                          "audio capture stopped!", "video capture stopped!",
                          "rtmp publish service stopped!"};
const strings camera_opened = {"video cap device w:%d, h:%d, fps:%d",
                               "video cap device w:%d, h:%d, fps:%d",
                               "video cap device w:%d, h:%d, fps:%d",
                               "set output video format by w:%d, h:%d, fps=%d!",
                               "video capture device opened success!"};
const strings microphone_opened = {"audio cap device chn:%d, sps:%d, bps:%d",
                                   "audio cap device chn:%d, sps:%d, bps:%d",
                                   "audio cap device chn:%d, sps:%d, bps:%d",
                                   "audio cap device chn:%d, sps:%d, bps:%d",
                                   "set output audio format by chn:%d, sps:%d, bps=%d!",
                                   "aduio capture device opened success!"};

strings operator+(strings a, const strings& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A manager with both kinds requested: 320x240 at 30 fps, 44.1 kHz stereo.
struct room : fake_devices {
  lrk::test::temp_dir dir;
  std::string file = dir.file("room.flv");

  explicit room(bool video = true, bool audio = true) {
    if (video) manager.set_video_param(320, 240, 30);
    if (audio) manager.set_audio_param(44100, 16, 2, 64000);
  }

  // Plays the streaming threads: `frames` video frames and the sound of the
  // same span in 4096-byte buffers, each taken by the poll thread before the
  // next, so that none is dropped.
  void feed(int frames, bool with_audio = true, AVSampleFormat sound = AV_SAMPLE_FMT_S16) {
    for (int i = 0; i < frames; ++i) {
      platform->advance(33);
      const std::size_t seen = host.video_frame_sizes().size();
      ASSERT_TRUE(running(device_category::video_input)
                      .deliver(make_picture(AV_PIX_FMT_YUYV422, 320, 240, fed_++)));
      wait_until([&] { return host.video_frame_sizes().size() > seen; });
      if (with_audio && i % 3 != 2) {
        const std::size_t heard = host.audio_frame_sizes().size();
        ASSERT_TRUE(running(device_category::audio_input)
                        .deliver(make_tone(sound, 2, 44100, 1000, tone_at_, 1024)));
        tone_at_ += 1024;
        wait_until([&] { return host.audio_frame_sizes().size() > heard; });
      }
    }
  }

  template <typename Done>
  static void wait_until(Done done) {
    for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(done());
  }

  int fed_ = 0;
  std::int64_t tone_at_ = 0;
};

capture_stats stats_of(live_capture_manager& manager) {
  capture_stats stats{};
  manager.access_stats(&stats);
  return stats;
}

TEST(host_room, runs_its_whole_sequence_and_publishes_both_streams) {
  room r;
  ASSERT_EQ(r.manager.host_room(r.file.c_str()), room_result::ok);
  const strings expected =
      strings{"host room!"} + camera_opened + microphone_opened +
      strings{"rtmp publisher parameters setted!",
                        "output context alloc success for rtmp publisher url:%s",
                        "avio_open success!", "video stream setted!", "audio stream setted!",
                        "stream head writed!", "rtmp publisher service open success!",
                        "audio record buffer set to:%d bytes", "video capture start!",
                        "audio capture start!", "capture data poll thread start!"};
  EXPECT_EQ(r.host.formats(0), expected);
  // Announced when negotiated, and the sound again when given to the publisher.
  EXPECT_EQ(r.host.notices(), (std::vector<format_notice>{
                                  {true, 320, 240, 16}, {false, 2, 44100, 16}, {false, 2, 44100, 16}}));
  EXPECT_EQ(r.running(device_category::audio_input).suggested_buffer_size(), 4096);

  const std::size_t before = r.host.lines().size();
  EXPECT_EQ(r.manager.host_room("elsewhere.flv"), room_result::ok) << "already running";
  EXPECT_EQ(r.host.lines().size(), before);

  r.feed(45);
  r.manager.unhost_room();
  EXPECT_EQ(state_formats(r.host, r.host.formats(0).size() - teardown.size()), teardown);
  const std::size_t after = r.host.lines().size();
  r.manager.unhost_room();
  r.manager.stop_preview();
  EXPECT_EQ(r.host.lines().size(), after) << "unhost and stop_preview on an idle manager log nothing";

  const media_readback file = read_media(r.file);
  ASSERT_TRUE(file.opened);
  EXPECT_EQ(file.stream_count, 2);
  ASSERT_TRUE(file.video && file.audio);
  EXPECT_EQ(file.video->codec_id, AV_CODEC_ID_H264);
  EXPECT_EQ(file.audio->codec_id, AV_CODEC_ID_AAC);
  EXPECT_EQ(file.of(AVMEDIA_TYPE_VIDEO).size(), 45u) << "every frame, none dropped";
  const auto pictures = decode_pictures(file);
  ASSERT_FALSE(pictures.empty());
  expect_upright(*pictures.back());
  EXPECT_NEAR(tone_frequency(decode_sound(file), 2, 44100), 1000.0, 10.0);
  // FLV keeps the rate in whole kbit/s.
  EXPECT_NEAR(file.video->bit_rate, 61440, 1000) << "320 x 240 at the default quality 0.8";
}

const strings publisher_opened = {"output context alloc success for rtmp publisher url:%s",
                                  "avio_open success!",
                                  "video stream setted!",
                                  "audio stream setted!",
                                  "stream head writed!",
                                  "rtmp publisher service open success!"};
const strings parameters_set = {"rtmp publisher parameters setted!"};

struct failure_case {
  const char* name;
  bool video, audio, with_address;
  std::function<void(scripted::scripted_platform&)> arrange;
  int code;
  strings messages;
};

class host_failures : public ::testing::TestWithParam<failure_case> {};

TEST_P(host_failures, log_host_failed_tear_down_and_return_the_code) {
  const failure_case& c = GetParam();
  room r(c.video, c.audio);
  if (c.arrange) c.arrange(*r.platform);
  EXPECT_EQ(r.manager.host_room(c.with_address ? r.file.c_str() : nullptr), c.code);
  EXPECT_EQ(r.host.formats(0), c.messages + strings{"host failed!"} + teardown);
  EXPECT_TRUE(r.manager.idle());
  EXPECT_FALSE(r.platform->running_graph(device_category::video_input));
  EXPECT_FALSE(r.platform->running_graph(device_category::audio_input));
}

INSTANTIATE_TEST_SUITE_P(
    codes, host_failures,
    ::testing::Values(
        failure_case{"nothing_enabled", false, false, true, {}, room_result::nothing_enabled, {"host room!"}},
        failure_case{"video_open",
                     true, true, true,
                     [](auto& p) { p.fail(step::bind, scripted_failure, camera_path); },
                     room_result::video_open_failed,
                     {"host room!", "vcp_->open_device() failed!"}},
        failure_case{"audio_open",
                     true, true, true,
                     [](auto& p) { p.fail(step::bind, scripted_failure, microphone_path); },
                     room_result::audio_open_failed,
                     strings{"host room!"} + camera_opened + strings{"acp_->open_device() failed!"}},
        failure_case{"no_address_ever_given",
                     true, true, false, {},
                     room_result::publisher_open_failed,
                     strings{"host room!"} + camera_opened + microphone_opened + parameters_set +
                         strings{"rtmp_publisher->open_device() failed!"}},
        failure_case{"video_start",
                     true, true, true,
                     [](auto& p) { p.fail(step::run, scripted_failure, camera_path); },
                     room_result::video_start_failed,
                     strings{"host room!"} + camera_opened + microphone_opened + parameters_set +
                         publisher_opened +
                         strings{"audio record buffer set to:%d bytes", "vcp_->start_capture() failed!"}},
        failure_case{"audio_start",
                     true, true, true,
                     [](auto& p) { p.fail(step::run, scripted_failure, microphone_path); },
                     room_result::audio_start_failed,
                     strings{"host room!"} + camera_opened + microphone_opened + parameters_set +
                         publisher_opened +
                         strings{"audio record buffer set to:%d bytes", "video capture start!",
                                 "acp_->start_capture() failed!"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(host_room, a_null_address_reuses_the_previous_one) {
  room r;
  ASSERT_EQ(r.manager.host_room(r.file.c_str()), 0);
  r.manager.unhost_room();
  ASSERT_EQ(r.manager.host_room(nullptr), 0);
  r.manager.unhost_room();
  const strings opened = r.host.texts_starting("output context alloc success");
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[1], "output context alloc success for rtmp publisher url:" + r.file);
}

TEST(host_room, the_streams_follow_the_flags_of_each_room) {
  room r;
  ASSERT_EQ(r.manager.host_room(r.file.c_str()), 0);
  r.feed(10);
  r.manager.unhost_room();
  EXPECT_EQ(read_media(r.file).stream_count, 2);

  r.manager.enable_audio(false);
  const std::size_t from = r.host.formats(0).size();
  ASSERT_EQ(r.manager.host_room(r.file.c_str()), 0);
  r.feed(10, false);
  r.manager.unhost_room();
  const media_readback file = read_media(r.file);
  EXPECT_EQ(file.stream_count, 1) << "no audio stream that would never get a packet";
  EXPECT_FALSE(file.audio);
  const strings second = state_formats(r.host, from);
  EXPECT_EQ(std::count(second.begin(), second.end(), "audio stream setted!"), 0);
  EXPECT_EQ(std::count(second.begin(), second.end(), "aduio capture device opened success!"), 0);
}

TEST(host_room, audio_disabled_mid_room_still_reaches_the_host) {
  room r;
  ASSERT_EQ(r.manager.host_room(r.file.c_str()), 0);
  r.feed(20);
  const std::uint64_t published = stats_of(r.manager).audio_bytes;
  EXPECT_GT(published, 0u);
  r.manager.enable_audio(false);
  const std::size_t heard = r.host.audio_frame_sizes().size();
  r.feed(20);
  EXPECT_EQ(r.host.audio_frame_sizes().size(), heard + 14);
  EXPECT_EQ(stats_of(r.manager).audio_bytes, published);
  EXPECT_GT(stats_of(r.manager).video_bytes, 0u);
}

TEST(host_room, a_microphone_without_the_requested_format_publishes_what_it_delivers) {
  room r(true, false);
  r.manager.set_audio_param(22050, 16, 2, 64000);
  ASSERT_EQ(r.manager.host_room(r.file.c_str()), 0);
  r.feed(20);
  r.manager.unhost_room();
  const media_readback file = read_media(r.file);
  ASSERT_TRUE(file.audio);
  EXPECT_EQ(file.audio->sample_rate, 44100);
  EXPECT_EQ(file.audio->ch_layout.nb_channels, 2);
  EXPECT_FALSE(r.host.texts_starting("audio capture runs in the device's current format").empty());
}

TEST(host_room, an_eight_bit_microphone_is_encoded_as_unsigned_eight_bit) {
  room r(true, false);
  r.manager.set_audio_param(44100, 8, 2, 64000);
  ASSERT_EQ(r.manager.host_room(r.file.c_str()), 0);
  EXPECT_EQ(r.running(device_category::audio_input).suggested_buffer_size(), 2048);
  r.feed(45, true, AV_SAMPLE_FMT_U8);
  r.manager.unhost_room();
  const media_readback file = read_media(r.file);
  ASSERT_TRUE(file.audio);
  EXPECT_NEAR(tone_frequency(decode_sound(file), 2, 44100), 1000.0, 10.0);
}

TEST(set_video_quality, floors_caps_and_takes_nan_as_the_floor) {
  struct {
    float level;
    std::int64_t bit_rate;
  } rows[] = {{5.0f, 19200},
              {std::numeric_limits<float>::quiet_NaN(), 19200},
              {40.0f, 76800},
              {1e30f, 768000}};
  for (const auto& row : rows) {
    room r;
    r.manager.set_video_quality(row.level);
    ASSERT_EQ(r.manager.host_room(r.file.c_str()), 0);
    r.feed(3);
    r.manager.unhost_room();
    const media_readback file = read_media(r.file);
    ASSERT_TRUE(file.video);
    EXPECT_NEAR(file.video->bit_rate, row.bit_rate, 1000) << row.level;
  }
}

const strings preview_started = {"video capture start!", "audio capture start!",
                                 "capture data poll thread start!"};

TEST(preview, publishes_nothing_while_the_host_gets_every_frame) {
  room r;
  r.manager.preview();
  EXPECT_EQ(r.host.formats(0),
            strings{"host room!"} + camera_opened + microphone_opened + preview_started);
  r.feed(10);
  EXPECT_EQ(r.host.video_frame_sizes(), std::vector<int>(10, 320 * 240 * 2));
  EXPECT_EQ(r.host.audio_frame_sizes().size(), 7u);
  const capture_stats stats = stats_of(r.manager);
  EXPECT_EQ(stats.video_bytes + stats.audio_bytes + stats.video_frames, 0u);

  const std::size_t before = r.host.lines().size();
  r.manager.preview();
  EXPECT_EQ(r.host.lines().size(), before) << "a running manager starts nothing more";

  r.manager.stop_preview();
  EXPECT_EQ(state_formats(r.host, r.host.formats(0).size() - teardown.size()), teardown);
  EXPECT_TRUE(r.manager.idle());
}

TEST(preview, whose_only_kind_failed_to_open_starts_and_unhosts) {
  room r(true, false);
  r.platform->fail(step::bind, scripted_failure, camera_path);
  r.manager.preview();
  const strings expected = strings{"host room!", "vcp_->open_device() failed!",
                                   "capture data poll thread start!", "preview failed!"} +
                           teardown;
  EXPECT_EQ(r.host.formats(0), expected);
  EXPECT_TRUE(r.manager.idle());
}

TEST(preview, with_nothing_enabled_fails_without_teardown) {
  room r(false, false);
  r.manager.preview();
  EXPECT_EQ(r.host.formats(0), (strings{"host room!", "preview failed!"}));
}

TEST(running_manager, host_room_and_preview_while_running_log_nothing) {
  room r;
  ASSERT_EQ(r.manager.host_room(r.file.c_str()), 0);
  const std::size_t before = r.host.lines().size();
  r.manager.preview();
  EXPECT_EQ(r.manager.host_room(r.file.c_str()), 0);
  EXPECT_EQ(r.host.lines().size(), before);
}

TEST(list_devices, gives_names_and_paths_each_ending_in_two_nuls) {
  fake_devices fake;
  capture_device_list list{{L"kept", L"kept"}};
  EXPECT_EQ(fake.manager.list_devices(0, &list), 0);
  const std::wstring nuls(2, L'\0');
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1], std::make_pair(L"Fake Camera" + nuls, camera_path + nuls));
  EXPECT_EQ(list[2].second, second_camera_path + nuls);

  capture_device_list sound;
  EXPECT_EQ(fake.manager.list_devices(1, &sound), 0);
  ASSERT_EQ(sound.size(), 1u);
  EXPECT_EQ(sound[0].second, microphone_path + nuls);

  // A path copied from the list opens its device.
  fake.manager.set_device_names(list[2].second, sound[0].second);
  fake.manager.set_video_param(320, 240, 30);
  fake.manager.preview();
  EXPECT_EQ(fake.running(device_category::video_input).device_path(), second_camera_path);
}

TEST(list_devices, unreadable_names_empty_categories_and_failures) {
  fake_devices fake;
  fake.platform->fail(step::display_name, scripted_failure, camera_path);
  fake.platform->fail(step::friendly_name, scripted_failure, second_camera_path);
  capture_device_list list;
  EXPECT_EQ(fake.manager.list_devices(0, &list), 0);
  ASSERT_EQ(list.size(), 1u) << "a device without a path is skipped";
  EXPECT_EQ(list[0].first, L"") << "a device without a name keeps an empty name";

  auto empty = std::make_shared<scripted::scripted_platform>();
  live_capture_manager manager(empty);
  capture_device_list untouched{{L"a", L"b"}};
  EXPECT_EQ(manager.list_devices(1, &untouched), 1);
  EXPECT_EQ(untouched.size(), 1u);

  empty->fail(step::enumerate, scripted_failure);
  EXPECT_EQ(manager.list_devices(0, &untouched), scripted_failure);
  EXPECT_EQ(untouched.size(), 1u);
}

}  // namespace
