// The test-pattern camera through the real pipeline: frames of the chosen
// size and layout at the rate asked for, upright as the host expects them,
// the bars untouched in the top half and the mark moving below.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <set>

#include "graph_steps.h"
#include "picture_checks.h"
#include "platform/gstreamer/builtin_devices.h"
#include "platform/gstreamer/moving_mark.h"

namespace {

using namespace capture_platform;
using namespace capture_platform::gstreamer;
using namespace capture_gst_test;
using namespace std::chrono_literals;

int frame_bytes(media_subtype layout, int width, int height) {
  return (layout == media_subtype::rgb24 ? 3 : 2) * width * height;
}

// The checks every frame of the pattern passes: the bars left to right in
// the top half, every row of the top half alike (a stride or padding
// mistake shears them), and the mark where the painting puts it.
void expect_pattern(const std::vector<std::uint8_t>& frame, media_subtype layout, int width,
                    int height) {
  ASSERT_EQ(static_cast<int>(frame.size()), frame_bytes(layout, width, height));
  // Narrow YUY2 pictures blend neighbouring bars in their shared chroma.
  if (width >= 64 && height >= 8) {
    EXPECT_EQ(bar_colours(frame, layout, width, height, height / 8), smpte_bar_colours());
    EXPECT_EQ(bar_colours(frame, layout, width, height, height / 2 - 1), smpte_bar_colours());
  }
  const auto top_row = picture_row(frame, layout, width, height, 0);
  for (int y = 1; y < height / 2; ++y)
    ASSERT_EQ(picture_row(frame, layout, width, height, y), top_row) << "row " << y;
}

// Where the mark of a frame starts on the middle row of its band, or -1.
int mark_column(const std::vector<std::uint8_t>& frame, media_subtype layout, int width, int height) {
  const mark_place place = moving_mark_place(width, height, 0);
  return first_black_run(frame, layout, width, height, place.y + place.size / 2, place.size);
}

struct camera_row {
  std::optional<media_subtype> layout;  // none: the camera's current format
  int width;
  int height;
  double fps;
};

void PrintTo(const camera_row& row, std::ostream* out) {
  *out << (row.layout ? describe(make_video_type(*row.layout, row.width, row.height, 0))
                      : std::string("current format"))
       << " at " << row.fps << " fps";
}

class test_camera : public ::testing::TestWithParam<camera_row> {};

TEST_P(test_camera, delivers_upright_bars_and_a_moving_mark_at_the_rate_asked_for) {
  const camera_row row = GetParam();
  auto camera = make_test_pattern_camera();
  const media_subtype layout = row.layout.value_or(media_subtype::rgb24);
  if (row.layout) {
    ASSERT_EQ(camera->set_format(make_video_type(layout, row.width, row.height,
                                                 static_cast<std::int64_t>(1e7 / row.fps))),
              ok);
  }
  const capture_run run = capture_for(camera, 1200ms);
  ASSERT_EQ(run.failed_step, "");

  // The sink was asked to take exactly what arrives.
  const auto offered = run.sink->offered_types();
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0].subtype, layout);
  EXPECT_EQ(offered[0].width, row.width);
  EXPECT_EQ(offered[0].height, row.height);

  const auto samples = run.sink->samples();
  ASSERT_GE(samples.size(), 8u);
  EXPECT_NEAR(arrival_rate(samples), row.fps, row.fps * 0.1);
  std::set<int> mark_columns;
  for (const auto& sample : samples) {
    if (sample.bytes.empty()) continue;
    expect_pattern(sample.bytes, layout, row.width, row.height);
    const int column = mark_column(sample.bytes, layout, row.width, row.height);
    EXPECT_GE(column, 0);
    mark_columns.insert(column);
  }
  EXPECT_GT(mark_columns.size(), samples.size() / 2) << "the mark does not move";
  std::printf("[ measured ] %.2f fps for %.0f asked, stop took %lld ms\n", arrival_rate(samples),
              row.fps, static_cast<long long>(run.stop_time.count()));
  EXPECT_EQ(run.sink->failure_count(), 0);
  EXPECT_EQ(run.sink->late_calls(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    layouts_sizes_and_rates, test_camera,
    ::testing::Values(camera_row{std::nullopt, 320, 240, 30.0},
                      camera_row{media_subtype::yuy2, 320, 240, 15.0},
                      camera_row{media_subtype::yuy2, 640, 480, 30.0},
                      camera_row{media_subtype::rgb24, 640, 480, 50.0},
                      camera_row{media_subtype::yuy2, 1280, 720, 10.0},
                      camera_row{media_subtype::rgb24, 1280, 720, 25.0}));

// Sizes whose rows GStreamer pads (RGB24 rows are padded to 4 bytes, YUY2
// to whole pixel pairs) or that barely hold a picture: the sink's single
// copy must write exactly the packed frame, no more, and nothing sheared.
TEST(test_camera, copies_awkward_sizes_into_packed_rows) {
  const std::vector<std::pair<int, int>> sizes{{321, 241}, {426, 240}, {641, 479},
                                               {17, 9},    {2, 2},     {1, 1}};
  for (media_subtype layout : {media_subtype::rgb24, media_subtype::yuy2}) {
    for (const auto& [width, height] : sizes) {
      SCOPED_TRACE(describe(make_video_type(layout, width, height, 0)));
      auto camera = make_test_pattern_camera();
      ASSERT_EQ(camera->set_format(make_video_type(layout, width, height, 166666)), ok);
      auto sink = std::make_shared<recording_sink>(3);
      auto platform = make_system_platform();
      built_graph built = build_graph(*platform, camera, sink);
      ASSERT_EQ(built.failed_step, "");
      EXPECT_TRUE(sink->wait_for_samples(3, 3s));
      built.graph->stop();
      for (const auto& sample : sink->samples()) {
        EXPECT_EQ(sample.size, frame_bytes(layout, width, height));
        if (!sample.bytes.empty()) expect_pattern(sample.bytes, layout, width, height);
      }
    }
  }
}

}  // namespace
