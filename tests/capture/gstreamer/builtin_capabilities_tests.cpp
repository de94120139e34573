// The built-in devices as a host sees them before anything runs: their
// names, their capabilities in the listed order, and what they deliver
// when no format is set.
#include <gtest/gtest.h>

#include <vector>

#include "castbay/live_av_capture.h"
#include "graph_steps.h"
#include "platform/gstreamer/builtin_devices.h"

namespace {

using namespace capture_platform;
using namespace capture_platform::gstreamer;

TEST(builtin_devices, camera_lists_rgb24_first_at_320x240_and_yuy2_first_above) {
  struct row {
    media_subtype subtype;
    int width;
    int height;
    int bits;
  };
  const std::vector<row> expected{
      {media_subtype::rgb24, 320, 240, 24}, {media_subtype::yuy2, 320, 240, 16},
      {media_subtype::yuy2, 640, 480, 16},  {media_subtype::rgb24, 640, 480, 24},
      {media_subtype::yuy2, 1280, 720, 16}, {media_subtype::rgb24, 1280, 720, 24}};
  auto camera = make_test_pattern_camera();
  int count = 0;
  ASSERT_EQ(camera->capability_count(&count), ok);
  ASSERT_EQ(count, static_cast<int>(expected.size()));
  for (int i = 0; i < count; ++i) {
    media_type type;
    ASSERT_EQ(camera->capability(i, &type), ok);
    SCOPED_TRACE(describe(type));
    EXPECT_EQ(type.format, format_type::video_info);
    EXPECT_EQ(type.format_size, video_info_block_size);
    EXPECT_EQ(type.subtype, expected[i].subtype);
    EXPECT_EQ(type.width, expected[i].width);
    EXPECT_EQ(type.height, expected[i].height);
    EXPECT_EQ(type.bit_count, expected[i].bits);
    EXPECT_EQ(type.avg_time_per_frame, 333333);
  }
  media_type none;
  EXPECT_LT(camera->capability(count, &none), 0);
  EXPECT_LT(camera->capability(-1, &none), 0);
}

TEST(builtin_devices, microphone_lists_cd_stereo_16_bit_first) {
  auto microphone = make_test_tone_microphone();
  int count = 0;
  ASSERT_EQ(microphone->capability_count(&count), ok);
  ASSERT_EQ(count, 8);
  std::vector<std::tuple<int, int, int>> listed;
  for (int i = 0; i < count; ++i) {
    media_type type;
    ASSERT_EQ(microphone->capability(i, &type), ok);
    EXPECT_EQ(type.format, format_type::wave_format_ex);
    EXPECT_EQ(type.subtype, media_subtype::pcm);
    EXPECT_EQ(type.format_size, wave_format_block_size);
    EXPECT_EQ(type.block_align, type.channels * type.bits_per_sample / 8);
    listed.emplace_back(type.samples_per_sec, type.channels, type.bits_per_sample);
  }
  const std::vector<std::tuple<int, int, int>> expected{
      {44100, 2, 16}, {44100, 2, 8}, {44100, 1, 16}, {44100, 1, 8},
      {48000, 2, 16}, {48000, 2, 8}, {48000, 1, 16}, {48000, 1, 8}};
  EXPECT_EQ(listed, expected);
}

TEST(builtin_devices, current_format_is_the_first_capability_until_one_is_set) {
  auto camera = make_test_pattern_camera();
  media_type current;
  ASSERT_EQ(camera->current_format(&current), ok);
  EXPECT_EQ(describe(current), "RGB24 320x240");
  media_type chosen;
  ASSERT_EQ(camera->capability(2, &chosen), ok);
  chosen.avg_time_per_frame = 666666;
  ASSERT_EQ(camera->set_format(chosen), ok);
  ASSERT_EQ(camera->current_format(&current), ok);
  EXPECT_EQ(describe(current), "YUY2 640x480");
  EXPECT_EQ(current.avg_time_per_frame, 666666);

  auto microphone = make_test_tone_microphone();
  ASSERT_EQ(microphone->current_format(&current), ok);
  EXPECT_EQ(describe(current), "PCM 2 ch 44100 Hz 16 bit");
  EXPECT_EQ(microphone->set_format(make_pcm_type(1, 48000, 8)), ok);
  ASSERT_EQ(microphone->current_format(&current), ok);
  EXPECT_EQ(describe(current), "PCM 1 ch 48000 Hz 8 bit");
}

TEST(builtin_devices, formats_they_cannot_make_are_refused) {
  auto camera = make_test_pattern_camera();
  EXPECT_LT(camera->set_format(make_pcm_type(2, 44100, 16)), 0);
  EXPECT_LT(camera->set_format(make_video_type(media_subtype::mjpg, 640, 480, 333333)), 0);
  EXPECT_LT(camera->set_format(make_video_type(media_subtype::yuy2, 0, 480, 333333)), 0);
  EXPECT_LT(camera->suggest_buffer_size(4096), 0);
  // Any size in either layout is a test pattern too.
  EXPECT_EQ(camera->set_format(make_video_type(media_subtype::rgb24, 321, 241, 333333)), ok);

  auto microphone = make_test_tone_microphone();
  EXPECT_LT(microphone->set_format(make_pcm_type(2, 22050, 16)), 0);
  EXPECT_LT(microphone->set_format(make_video_type(media_subtype::yuy2, 640, 480, 333333)), 0);
  EXPECT_LT(microphone->suggest_buffer_size(0), 0);
  EXPECT_EQ(microphone->suggest_buffer_size(4096), ok);
}

TEST(builtin_devices, are_listed_last_under_their_fixed_names) {
  auto platform = make_system_platform();
  struct row {
    device_category category;
    const wchar_t* path;
    const wchar_t* name;
  };
  for (const row& r : {row{device_category::video_input, castbay_test_camera_path, castbay_test_camera_name},
                       row{device_category::audio_input, castbay_test_microphone_path,
                           castbay_test_microphone_name}}) {
    std::vector<std::shared_ptr<i_device_moniker>> devices;
    ASSERT_EQ(platform->enumerate(r.category, &devices), ok);
    ASSERT_FALSE(devices.empty());
    std::wstring path, name;
    ASSERT_EQ(devices.back()->display_name(&path), ok);
    ASSERT_EQ(devices.back()->friendly_name(&name), ok);
    EXPECT_EQ(path, r.path);
    EXPECT_EQ(name, r.name);
    // With no sound server to ask, the built-in microphone is the only one.
    if (r.category == device_category::audio_input) {
      EXPECT_EQ(devices.size(), 1u);
    }
    std::shared_ptr<i_capture_source> source;
    EXPECT_EQ(devices.back()->bind(&source), ok);
    EXPECT_TRUE(source && source->has_output());
  }
}

}  // namespace
