// The device logic against the scripted platform: the open steps and their
// codes, the lookup rule, start and stop, the queue of 20, the capture clock,
// the format negotiation of the camera and the microphone, and a stop that
// the platform does not finish.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "capture_results.h"
#include "fake_devices.h"

using namespace capture_test;
using namespace capture_platform;
using capture_platform::scripted::step;
using namespace std::chrono_literals;

namespace {

constexpr int scripted_failure = -77;

struct open_case {
  const char* name;
  step failing;
  int expected;
};

class open_steps : public ::testing::TestWithParam<open_case> {};

TEST_P(open_steps, each_failing_step_has_its_code) {
  fake_devices fake;
  fake.platform->fail(GetParam().failing, scripted_failure);
  EXPECT_EQ(fake.camera().open_device(L""), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    codes, open_steps,
    ::testing::Values(open_case{"graph", step::create_graph, device_result::graph_failed},
                      open_case{"builder", step::create_builder, device_result::builder_failed},
                      open_case{"builder_bind", step::bind_builder, device_result::builder_bind_failed},
                      open_case{"enumerate", step::enumerate, device_result::lookup_failed},
                      open_case{"display_name", step::display_name, device_result::lookup_failed},
                      open_case{"bind", step::bind, device_result::lookup_failed},
                      open_case{"add_source", step::add_source, device_result::source_add_failed},
                      open_case{"media_control", step::query_media_control, device_result::media_control_failed},
                      open_case{"stream_config", step::find_stream_config, device_result::stream_config_failed},
                      open_case{"create_sink", step::create_sink, device_result::sink_create_failed},
                      open_case{"add_sink", step::add_sink, device_result::sink_add_failed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(device_lookup, finds_devices_by_exact_path_or_takes_the_first) {
  fake_devices fake;
  EXPECT_EQ(fake.camera().open_device(L""), 0);
  EXPECT_EQ(fake.platform->bound_paths(), std::vector<std::wstring>{camera_path});

  EXPECT_EQ(fake.camera().open_device(second_camera_path), 0);
  EXPECT_EQ(fake.platform->bound_paths().back(), second_camera_path);

  // A path as list_devices hands it out, with its two NULs, opens its device.
  EXPECT_EQ(fake.camera().open_device(second_camera_path + std::wstring(2, L'\0')), 0);
  EXPECT_EQ(fake.platform->bound_paths().back(), second_camera_path);

  EXPECT_EQ(fake.camera().open_device(L"FAKE:camera/0"), device_result::source_add_failed);
  EXPECT_EQ(fake.camera().open_device(L"fake:camera/9"), device_result::source_add_failed);
}

TEST(device_lookup, a_failed_bind_tries_no_further_device) {
  fake_devices fake;
  fake.platform->fail(step::bind, scripted_failure, camera_path);
  EXPECT_EQ(fake.camera().open_device(L""), device_result::lookup_failed);
  EXPECT_EQ(fake.platform->bound_paths(), std::vector<std::wstring>{camera_path});
}

TEST(device_lookup, an_empty_category_finds_nothing) {
  auto platform = std::make_shared<scripted::scripted_platform>();
  live_capture_manager manager(platform);
  EXPECT_EQ(manager.video_device().open_device(L""), device_result::source_add_failed);
}

TEST(device_start, codes_of_start_capture) {
  fake_devices fake;
  EXPECT_EQ(fake.camera().start_capture(), device_result::connect_failed) << "never opened";
  fake.camera().stop_capture();

  ASSERT_EQ(fake.camera().open_device(L""), 0);
  ASSERT_EQ(fake.camera().start_capture(), 0);
  scripted::graph_probe graph = fake.running(device_category::video_input);
  EXPECT_EQ(fake.camera().start_capture(), device_result::connect_failed) << "already running";
  EXPECT_TRUE(graph.running());

  fake.camera().stop_capture();
  EXPECT_FALSE(graph.running());
  EXPECT_TRUE(graph.destroyed());
  EXPECT_EQ(fake.camera().start_capture(), device_result::connect_failed) << "after stop";
}

TEST(device_start, no_media_control_and_a_failed_run) {
  fake_devices fake;
  // The query answers, but gives no control.
  fake.platform->fail(step::query_media_control, 1);
  ASSERT_EQ(fake.camera().open_device(L""), 0);
  EXPECT_EQ(fake.camera().start_capture(), device_result::no_media_control);
  fake.camera().stop_capture();
  EXPECT_EQ(fake.platform->live_graph_count(), 0u) << "a failed start is still closed by stop";

  fake.platform->clear_failures();
  fake.platform->fail(step::run, scripted_failure);
  ASSERT_EQ(fake.camera().open_device(L""), 0);
  EXPECT_EQ(fake.camera().start_capture(), device_result::run_failed);
  scripted::graph_probe graph = fake.platform->graph(fake.platform->graph_count() - 1);
  fake.camera().stop_capture();
  EXPECT_EQ(graph.stop_calls(), 1);
  EXPECT_TRUE(graph.destroyed());

  fake.camera().stop_capture();
  EXPECT_EQ(graph.stop_calls(), 1) << "a second stop does nothing";
}

TEST(device_start, a_refused_connection_fails_the_start) {
  fake_devices fake;
  auto platform = std::make_shared<scripted::scripted_platform>();
  media_type info2 = make_video_type(media_subtype::yuy2, 320, 240, 333333);
  info2.format = format_type::video_info2;
  platform->add_device(device_category::video_input, {L"v", L"v", {info2}});
  live_capture_manager manager(platform);
  ASSERT_EQ(manager.video_device().open_device(L""), 0);
  EXPECT_EQ(manager.video_device().start_capture(), device_result::connect_failed);
  manager.video_device().stop_capture();
}

TEST(device_open, a_half_opened_device_is_released_by_the_next_open_and_at_destruction) {
  auto platform = std::make_shared<scripted::scripted_platform>();
  platform->add_device(device_category::video_input, {L"v", L"v", camera_formats()});
  {
    live_capture_manager manager(platform);
    platform->fail(step::add_sink, scripted_failure);
    EXPECT_EQ(manager.video_device().open_device(L""), device_result::sink_add_failed);
    EXPECT_EQ(platform->live_graph_count(), 1u);
    platform->clear_failures();
    EXPECT_EQ(manager.video_device().open_device(L""), 0);
    EXPECT_EQ(platform->live_graph_count(), 1u) << "the earlier graph must be gone";
  }
  EXPECT_EQ(platform->live_graph_count(), 0u);
}

// Starts the camera and returns its graph.
scripted::graph_probe started_camera(fake_devices& fake) {
  EXPECT_EQ(fake.camera().open_device(L""), 0);
  EXPECT_EQ(fake.camera().start_capture(), 0);
  return fake.running(device_category::video_input);
}

TEST(device_queue, keeps_the_newest_twenty_and_nothing_after_stop) {
  fake_devices fake;
  scripted::graph_probe graph = started_camera(fake);
  for (int i = 0; i < 25; ++i) {
    fake.platform->advance(10);
    ASSERT_TRUE(graph.deliver(std::vector<std::uint8_t>(8, static_cast<std::uint8_t>(i))));
  }
  std::vector<int> firsts;
  for (capture_data d = fake.camera().get_capture_data(); d.data;
       d = fake.camera().get_capture_data())
    firsts.push_back(d.data[0]);
  ASSERT_EQ(firsts.size(), 20u);
  EXPECT_EQ(firsts.front(), 5);
  EXPECT_EQ(firsts.back(), 24);

  capture_data empty = fake.camera().get_capture_data();
  EXPECT_EQ(empty.data, nullptr);
  EXPECT_EQ(empty.size, 0);

  fake.camera().stop_capture();
  graph.deliver(std::vector<std::uint8_t>(8, 1));
  EXPECT_EQ(fake.camera().get_capture_data().data, nullptr);
}

TEST(device_queue, a_zero_length_sample_is_a_record) {
  fake_devices fake;
  scripted::graph_probe graph = started_camera(fake);
  ASSERT_TRUE(graph.deliver({}));
  capture_data d = fake.camera().get_capture_data();
  EXPECT_NE(d.data, nullptr);
  EXPECT_EQ(d.size, 0);
}

TEST(device_clock, video_is_stamped_100_ms_later_and_sound_as_it_arrives) {
  fake_devices fake;
  scripted::graph_probe video = started_camera(fake);
  ASSERT_EQ(fake.microphone().open_device(L""), 0);
  ASSERT_EQ(fake.microphone().start_capture(), 0);
  scripted::graph_probe audio = fake.running(device_category::audio_input);

  fake.platform->advance(40);
  video.deliver({1});
  audio.deliver({1, 2, 3, 4});
  fake.platform->advance(23);
  audio.deliver({1, 2, 3, 4});

  capture_data v = fake.camera().get_capture_data();
  EXPECT_EQ(v.start_time, 140);
  EXPECT_EQ(v.end_time, v.start_time);
  EXPECT_EQ(fake.microphone().get_capture_data().start_time, 40);
  EXPECT_EQ(fake.microphone().get_capture_data().start_time, 63) << "the arrival interval";
}

TEST(device_clock, samples_that_arrive_while_the_graph_starts_never_run_backwards) {
  fake_devices fake;
  fake.platform->on_run([&](const scripted::graph_probe& graph) {
    graph.deliver({1});
    fake.platform->advance(30);
    graph.deliver({2});
    fake.platform->advance(10);
  });
  started_camera(fake).deliver({3});
  std::vector<std::int64_t> times;
  for (capture_data d = fake.camera().get_capture_data(); d.data;
       d = fake.camera().get_capture_data())
    times.push_back(d.start_time);
  EXPECT_EQ(times, (std::vector<std::int64_t>{100, 130, 140}));
}

TEST(device_clock, each_start_counts_from_zero_again) {
  fake_devices fake;
  started_camera(fake);
  fake.platform->advance(5000);
  fake.camera().stop_capture();
  scripted::graph_probe graph = started_camera(fake);
  fake.platform->advance(7);
  graph.deliver({1});
  EXPECT_EQ(fake.camera().get_capture_data().start_time, 107);
}

TEST(device_stop, a_stop_the_platform_does_not_finish_returns_in_bounds) {
  fake_devices fake;
  scripted::graph_probe graph = started_camera(fake);
  fake.platform->hold_stops();
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(fake.camera().stop_capture(), 0);
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_LT(took, dshow_capture::stop_wait + 500ms);
  EXPECT_GE(took, dshow_capture::stop_wait - 100ms);
  // The graph still streams, but nothing reaches the device any more.
  EXPECT_TRUE(graph.deliver({1, 2, 3}));
  EXPECT_EQ(fake.camera().get_capture_data().data, nullptr);
  fake.platform->release_stops();
  for (int i = 0; i < 100 && graph.running(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(graph.running()) << "the stop finished on its own thread";
}

TEST(device_failure, is_kept_for_the_poll_thread_once) {
  fake_devices fake;
  started_camera(fake).fail_device("unplugged");
  EXPECT_EQ(fake.camera().take_failure(), std::optional<std::string>("unplugged"));
  EXPECT_EQ(fake.camera().take_failure(), std::nullopt);
}

// ---- the camera's negotiation

TEST(camera_format, logs_the_acceptable_formats_and_sets_the_chosen_one) {
  auto platform = std::make_shared<scripted::scripted_platform>();
  media_type info2 = make_video_type(media_subtype::yuy2, 640, 480, 333333);
  info2.format = format_type::video_info2;
  platform->add_device(device_category::video_input,
                       {L"v",
                        L"v",
                        {make_video_type(media_subtype::mjpg, 1280, 720, 333333), info2,
                         make_video_type(media_subtype::yuy2, 320, 240, 0),
                         make_video_type(media_subtype::rgb24, 640, 480, 333334)}});
  live_capture_manager manager(platform);
  recording_callback host;
  manager.set_callback(&host);
  const int request[3] = {0, 640, 480};
  manager.video_device().set_capture_param(request);
  ASSERT_EQ(manager.video_device().open_device(L""), 0);
  EXPECT_EQ(manager.video_device().set_output_format(), 0);

  std::vector<std::string> texts;
  for (const log_line& l : host.lines()) texts.push_back(l.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"video cap device w:320, h:240, fps:5",
                                             "video cap device w:640, h:480, fps:29",
                                             "set output video format by w:640, h:480, fps=20!"}));
  EXPECT_EQ(host.notices(), (std::vector<format_notice>{{true, 640, 480, 24}}));
  ASSERT_EQ(manager.video_device().start_capture(), 0);
  std::optional<media_type> connected = platform->running_graph(device_category::video_input)->connected_type();
  ASSERT_TRUE(connected);
  EXPECT_EQ(connected->avg_time_per_frame, 500000) << "the requested 20 fps, the device's size";
  EXPECT_EQ(connected->subtype, media_subtype::rgb24);
  manager.video_device().stop_capture();
}

TEST(camera_format, nothing_acceptable_and_a_refused_format) {
  auto platform = std::make_shared<scripted::scripted_platform>();
  platform->add_device(device_category::video_input,
                       {L"jpeg", L"jpeg", {make_video_type(media_subtype::mjpg, 640, 480, 333333)}});
  platform->add_device(device_category::video_input, {L"raw", L"raw", camera_formats()});
  live_capture_manager manager(platform);
  recording_callback host;
  manager.set_callback(&host);

  ASSERT_EQ(manager.video_device().open_device(L"jpeg"), 0);
  EXPECT_EQ(manager.video_device().set_output_format(), e_fail);
  EXPECT_EQ(host.formats(0), std::vector<std::string>{"no video cap device finded!"});
  EXPECT_FALSE(manager.video_device().output_type());

  ASSERT_EQ(manager.video_device().open_device(L"raw"), 0);
  platform->fail(step::set_format, scripted_failure);
  EXPECT_EQ(manager.video_device().set_output_format(), scripted_failure);
  EXPECT_EQ(host.formats(0).back(), "set output video format failed!");
  EXPECT_TRUE(host.notices().empty());
}

// ---- the microphone's negotiation and buffers

TEST(microphone_format, exact_match_then_a_request_without_match_keeps_no_old_choice) {
  fake_devices fake;
  const int stereo[4] = {44100, 2, 16, 64000};
  fake.microphone().set_capture_param(stereo);
  ASSERT_EQ(fake.microphone().open_device(L""), 0);
  EXPECT_EQ(fake.microphone().set_output_format(), 0);
  EXPECT_EQ(fake.host.texts_starting("set output audio format").back(),
            "set output audio format by chn:2, sps:44100, bps=16!");
  ASSERT_TRUE(fake.microphone().output_type());
  EXPECT_EQ(fake.host.notices().size(), 1u);

  const int unusual[4] = {22050, 2, 16, 64000};
  fake.microphone().set_capture_param(unusual);
  ASSERT_EQ(fake.microphone().open_device(L""), 0);
  EXPECT_EQ(fake.microphone().set_output_format(), 0);
  EXPECT_FALSE(fake.microphone().output_type());
  EXPECT_EQ(state_formats(fake.host).back(),
            "audio capture runs in the device's current format chn:%d, sps:%d, bps:%d");
  EXPECT_EQ(fake.host.formats(0).end()[-2], "no audio cap device finded!");
  EXPECT_EQ(fake.host.notices().size(), 1u) << "the old choice is not announced again";
  // What the device delivers without a match is its current format.
  std::optional<media_type> delivered = fake.microphone().encodable_format();
  ASSERT_TRUE(delivered);
  EXPECT_EQ(delivered->samples_per_sec, 44100);
  EXPECT_EQ(delivered->channels, 2);
}

TEST(microphone_format, record_buffers_hold_whole_encoder_frames) {
  struct {
    int channels, bits, frame_size, bytes;
  } rows[] = {{2, 16, 1152, 4608}, {1, 16, 1152, 2304}, {2, 16, 1024, 4096}, {2, 8, 1024, 2048}};
  for (const auto& r : rows) {
    fake_devices fake;
    const int request[4] = {44100, r.channels, r.bits, 64000};
    fake.microphone().set_capture_param(request);
    ASSERT_EQ(fake.microphone().open_device(L""), 0);
    fake.microphone().set_output_format();
    EXPECT_EQ(fake.microphone().set_record_buffer(r.frame_size), 0);
    EXPECT_EQ(fake.host.texts_starting("audio record buffer").back(),
              "audio record buffer set to:" + std::to_string(r.bytes) + " bytes");
    ASSERT_EQ(fake.microphone().start_capture(), 0);
    EXPECT_EQ(fake.running(device_category::audio_input).suggested_buffer_size(), r.bytes);
  }
}

TEST(microphone_format, no_format_no_buffer_sizing_and_no_output_fails) {
  fake_devices fake;
  EXPECT_EQ(fake.microphone().set_record_buffer(1024), 0);
  EXPECT_TRUE(fake.host.texts_starting("audio record buffer").empty());

  auto platform = std::make_shared<scripted::scripted_platform>();
  scripted::scripted_device pinless{L"m", L"m", microphone_formats()};
  pinless.has_output = false;
  platform->add_device(device_category::audio_input, pinless);
  live_capture_manager manager(platform);
  ASSERT_EQ(manager.audio_device().open_device(L""), 0);
  manager.audio_device().set_output_format();
  EXPECT_EQ(manager.audio_device().set_record_buffer(1024), -1);
}

}  // namespace
