// The graph's steps where they really fail, its stop (the sink is never
// called after it returned), a device that ends in mid-run, and the path of
// a machine's camera through a stand-in source: capabilities from its caps,
// the nearest rate it offers, other raw layouts passed on as bytes.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "graph_steps.h"
#include "platform/gstreamer/builtin_devices.h"
#include "platform/gstreamer/gst_capture_source.h"

namespace {

using namespace capture_platform;
using namespace capture_platform::gstreamer;
using namespace capture_gst_test;
using namespace std::chrono_literals;

// A source of another platform, which this one's graphs cannot drive.
class foreign_source : public i_capture_source {
 public:
  int capability_count(int* count) override { return *count = 0, ok; }
  int capability(int, media_type*) override { return e_fail; }
  int set_format(const media_type&) override { return e_fail; }
  int current_format(media_type*) override { return e_fail; }
  bool has_output() override { return true; }
  int suggest_buffer_size(int) override { return e_fail; }
};

std::unique_ptr<i_capture_graph> new_graph() {
  std::unique_ptr<i_capture_graph> graph;
  EXPECT_EQ(make_system_platform()->create_graph(&graph), ok);
  return graph;
}

TEST(capture_graph, steps_fail_without_what_they_need) {
  auto graph = new_graph();
  auto sink = std::make_shared<recording_sink>();
  EXPECT_LT(graph->bind_builder(), 0);
  EXPECT_LT(graph->add_source(make_test_pattern_camera()), 0);
  EXPECT_LT(graph->query_media_control(), 0);
  ASSERT_EQ(graph->create_builder(), ok);
  ASSERT_EQ(graph->bind_builder(), ok);
  EXPECT_LT(graph->find_stream_config(), 0);
  EXPECT_LT(graph->add_source(nullptr), 0);
  EXPECT_LT(graph->add_source(std::make_shared<foreign_source>()), 0);
  EXPECT_LT(graph->add_sink(), 0);
  EXPECT_LT(graph->connect(), 0);
  EXPECT_LT(graph->create_sink(nullptr), 0);
  ASSERT_EQ(graph->add_source(make_test_pattern_camera()), ok);
  EXPECT_LT(graph->add_source(make_test_pattern_camera()), 0);
  ASSERT_EQ(graph->query_media_control(), ok);
  ASSERT_EQ(graph->find_stream_config(), ok);
  ASSERT_EQ(graph->create_sink(sink), ok);
  EXPECT_LT(graph->connect(), 0);  // the sink is not in the graph yet
  EXPECT_LT(graph->run(), 0);
  ASSERT_EQ(graph->add_sink(), ok);
  ASSERT_EQ(graph->connect(), ok);
  EXPECT_LT(graph->connect(), 0);  // already connected
  ASSERT_EQ(graph->run(), ok);
  EXPECT_TRUE(sink->wait_for_samples(2, 3s));
  graph->stop();
  graph->stop();
  EXPECT_LT(graph->run(), 0);  // a stopped graph is built again, not rerun
}

TEST(capture_graph, a_missing_element_fails_add_source) {
  auto platform = make_system_platform();
  auto source = make_camera_source({"no_such_element_here", {}},
                                   "video/x-raw, format=(string)YUY2, width=(int)320, "
                                   "height=(int)240, framerate=(fraction)30/1");
  const built_graph built = build_graph(*platform, source, std::make_shared<recording_sink>());
  EXPECT_EQ(built.failed_step, "add_source");
  EXPECT_LT(built.result, 0);
}

TEST(capture_graph, connect_offers_the_current_format_and_fails_when_refused) {
  auto platform = make_system_platform();
  auto sink = std::make_shared<recording_sink>(0, false);
  const built_graph built = build_graph(*platform, make_test_tone_microphone(), sink);
  EXPECT_EQ(built.failed_step, "connect");
  ASSERT_EQ(sink->offered_types().size(), 1u);
  EXPECT_EQ(describe(sink->offered_types()[0]), "PCM 2 ch 44100 Hz 16 bit");
  EXPECT_EQ(sink->sample_count(), 0);
}

TEST(capture_graph, a_format_the_device_cannot_make_fails_to_connect) {
  // A "camera" whose caps promise JPEG, which videotestsrc cannot make.
  auto source = make_camera_source({"videotestsrc", {{"is-live", "true"}}},
                                   "image/jpeg, width=(int)320, height=(int)240, "
                                   "framerate=(fraction)30/1");
  auto platform = make_system_platform();
  const built_graph built = build_graph(*platform, source, std::make_shared<recording_sink>());
  EXPECT_EQ(built.failed_step, "connect");
}

TEST(capture_graph, run_fails_for_a_camera_gone_since_it_was_listed) {
  auto source = make_camera_source({"v4l2src", {{"device", "/dev/video-gone"}}},
                                   "video/x-raw, format=(string)YUY2, width=(int)320, "
                                   "height=(int)240, framerate=(fraction)30/1");
  auto platform = make_system_platform();
  auto sink = std::make_shared<recording_sink>();
  const auto started = std::chrono::steady_clock::now();
  built_graph built = build_graph(*platform, source, sink);
  EXPECT_EQ(built.failed_step, "run");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 3500ms);
  built.graph->stop();
  EXPECT_EQ(sink->failure_count(), 0);  // a failed start is no device failure
}

TEST(capture_graph, a_device_that_ends_its_stream_fails_once_and_delivers_nothing_more) {
  auto source = make_camera_source(
      {"videotestsrc", {{"is-live", "true"}, {"num-buffers", "5"}}},
      "video/x-raw, format=(string)YUY2, width=(int)160, height=(int)120, "
      "framerate=(fraction)30/1");
  auto platform = make_system_platform();
  auto sink = std::make_shared<recording_sink>();
  built_graph built = build_graph(*platform, source, sink);
  ASSERT_EQ(built.failed_step, "");
  ASSERT_TRUE(sink->wait_for_failure(3s));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(sink->sample_count(), 5);
  EXPECT_EQ(sink->failure_count(), 1);
  EXPECT_FALSE(sink->failure_reason().empty());
  built.graph->stop();
  EXPECT_EQ(sink->late_calls(), 0);
}

// Stops at random moments of busy deliveries: fast small frames and tiny
// sound buffers. Nothing reaches the sink once stop has returned.
TEST(capture_graph, the_sink_is_never_called_after_stop_returned) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> wait_ms(0, 120);
  for (int round = 0; round < 6; ++round) {
    auto camera = make_test_pattern_camera();
    ASSERT_EQ(camera->set_format(make_video_type(media_subtype::yuy2, 160, 120, 41666)), ok);
    auto microphone = make_test_tone_microphone();
    ASSERT_EQ(microphone->suggest_buffer_size(64), ok);
    for (const std::shared_ptr<i_capture_source>& source :
         {std::shared_ptr<i_capture_source>(camera), std::shared_ptr<i_capture_source>(microphone)}) {
      const capture_run run = capture_for(source, std::chrono::milliseconds(wait_ms(random)), 0);
      ASSERT_EQ(run.failed_step, "");
      std::this_thread::sleep_for(50ms);
      EXPECT_EQ(run.sink->late_calls(), 0);
      EXPECT_LT(run.stop_time, 1000ms);
    }
  }
}

TEST(capture_graph, a_graph_dropped_while_running_stops_itself) {
  auto platform = make_system_platform();
  auto sink = std::make_shared<recording_sink>();
  built_graph built = build_graph(*platform, make_test_pattern_camera(), sink);
  ASSERT_EQ(built.failed_step, "");
  ASSERT_TRUE(sink->wait_for_samples(2, 3s));
  built.graph.reset();
  sink->stop_returned();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sink->late_calls(), 0);
}

// A camera of the machine, played by videotestsrc behind caps as a camera
// reports them: YUY2 and I420 at two sizes, three discrete rates.
const char* stand_in_camera_caps =
    "video/x-raw, format=(string){ I420, YUY2 }, width=(int)320, height=(int)240, "
    "framerate=(fraction){ 30/1, 15/1, 5/1 }; "
    "video/x-raw, format=(string){ I420, YUY2 }, width=(int)640, height=(int)480, "
    "framerate=(fraction){ 30/1, 15/1, 5/1 }";

TEST(stand_in_camera, delivers_its_first_raw_capability_when_no_format_is_set) {
  auto camera = make_camera_source({"videotestsrc", {{"is-live", "true"}}}, stand_in_camera_caps);
  int count = 0;
  ASSERT_EQ(camera->capability_count(&count), ok);
  ASSERT_EQ(count, 4);
  media_type current;
  ASSERT_EQ(camera->current_format(&current), ok);
  EXPECT_EQ(describe(current), "YUY2 320x240");
  const capture_run run = capture_for(camera, 700ms);
  ASSERT_EQ(run.failed_step, "");
  const auto samples = run.sink->samples();
  ASSERT_GE(samples.size(), 10u);
  EXPECT_EQ(samples.front().size, 320 * 240 * 2);
  EXPECT_NEAR(arrival_rate(samples), 30.0, 3.0);
}

TEST(stand_in_camera, takes_the_nearest_rate_offered_and_passes_other_layouts_as_bytes) {
  auto camera = make_camera_source({"videotestsrc", {{"is-live", "true"}}}, stand_in_camera_caps);
  media_type i420;
  ASSERT_EQ(camera->capability(2, &i420), ok);
  ASSERT_EQ(describe(i420), "other 640x480");
  i420.avg_time_per_frame = 500000;  // 20 fps: 15 is the nearest on offer
  ASSERT_EQ(camera->set_format(i420), ok);
  const capture_run run = capture_for(camera, 1200ms);
  ASSERT_EQ(run.failed_step, "");
  const auto samples = run.sink->samples();
  ASSERT_GE(samples.size(), 8u);
  EXPECT_NEAR(arrival_rate(samples), 15.0, 1.5);
  EXPECT_EQ(samples.front().size, 640 * 480 * 3 / 2);
  // The luma plane of the bars comes first, unchanged: its rows alike.
  const auto& frame = samples.front().bytes;
  for (int y = 1; y < 240; ++y)
    ASSERT_TRUE(std::equal(frame.begin(), frame.begin() + 640, frame.begin() + y * 640)) << y;
  // A size it does not offer is refused.
  EXPECT_LT(camera->set_format(make_video_type(media_subtype::yuy2, 1280, 720, 333333)), 0);
}

}  // namespace
