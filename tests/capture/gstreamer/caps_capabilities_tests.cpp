// Capabilities from caps as real devices report them (written down from
// V4L2 cameras and from a PulseAudio source), and the caps that pin a
// chosen capability again: the only coverage V4L2 gets without a camera.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gstreamer/caps_capabilities.h"

namespace {

using namespace capture_platform;
using namespace capture_platform::gstreamer;

// A UVC webcam (C920 class) as GStreamer's V4L2 device provider lists it:
// one structure per format and size, discrete frame-rate lists, JPEG too.
const std::string uvc_webcam_caps =
    "video/x-raw, format=(string)YUY2, width=(int)1920, height=(int)1080, "
    "pixel-aspect-ratio=(fraction)1/1, framerate=(fraction)5/1, colorimetry=(string){ 2:4:5:1 }, "
    "interlace-mode=(string)progressive; "
    "video/x-raw, format=(string)YUY2, width=(int)1280, height=(int)720, "
    "pixel-aspect-ratio=(fraction)1/1, framerate=(fraction){ 10/1, 15/2, 5/1 }, "
    "colorimetry=(string){ 2:4:5:1 }, interlace-mode=(string)progressive; "
    "video/x-raw, format=(string)YUY2, width=(int)640, height=(int)480, "
    "pixel-aspect-ratio=(fraction)1/1, framerate=(fraction){ 30/1, 24/1, 20/1, 15/1, 10/1, 15/2, 5/1 }, "
    "colorimetry=(string){ 2:4:5:1 }, interlace-mode=(string)progressive; "
    "video/x-raw, format=(string)YUY2, width=(int)320, height=(int)240, "
    "pixel-aspect-ratio=(fraction)1/1, framerate=(fraction){ 30/1, 24/1, 20/1, 15/1, 10/1, 15/2, 5/1 }, "
    "colorimetry=(string){ 2:4:5:1 }, interlace-mode=(string)progressive; "
    "image/jpeg, width=(int)1920, height=(int)1080, pixel-aspect-ratio=(fraction)1/1, "
    "framerate=(fraction){ 30/1, 24/1, 20/1, 15/1, 10/1, 15/2, 5/1 }, "
    "colorimetry=(string){ 2:4:5:1 }, interlace-mode=(string)progressive; "
    "image/jpeg, width=(int)1280, height=(int)720, pixel-aspect-ratio=(fraction)1/1, "
    "framerate=(fraction){ 30/1, 24/1, 20/1, 15/1, 10/1, 15/2, 5/1 }, "
    "colorimetry=(string){ 2:4:5:1 }, interlace-mode=(string)progressive";

// A sensor camera with a stepwise size range and a continuous frame-rate
// range (Raspberry Pi's bcm2835-v4l2): every format shares the ranges, and
// its H.264 output is not a capability.
const std::string stepwise_camera_caps =
    "video/x-raw, format=(string)YUY2, width=(int)[ 32, 2592, 2 ], height=(int)[ 32, 1944, 2 ], "
    "framerate=(fraction)[ 1/1, 90/1 ]; "
    "video/x-raw, format=(string)BGR, width=(int)[ 32, 2592, 2 ], height=(int)[ 32, 1944, 2 ], "
    "framerate=(fraction)[ 1/1, 90/1 ]; "
    "video/x-raw, format=(string)I420, width=(int)[ 32, 2592, 2 ], height=(int)[ 32, 1944, 2 ], "
    "framerate=(fraction)[ 1/1, 90/1 ]; "
    "image/jpeg, width=(int)[ 32, 2592, 2 ], height=(int)[ 32, 1944, 2 ], "
    "framerate=(fraction)[ 1/1, 90/1 ]; "
    "video/x-h264, stream-format=(string)byte-stream, alignment=(string)au, "
    "width=(int)[ 32, 1920, 2 ], height=(int)[ 32, 1080, 2 ], framerate=(fraction)[ 1/1, 90/1 ]";

// A capture card limited to 720 lines and NTSC rates, which lists one size
// twice (interlaced and progressive) and a memory kind we cannot map.
const std::string capture_card_caps =
    "video/x-raw, format=(string)YUY2, width=(int)720, height=(int)480, "
    "framerate=(fraction)30000/1001, interlace-mode=(string)interleaved; "
    "video/x-raw, format=(string)YUY2, width=(int)720, height=(int)480, "
    "framerate=(fraction){ 60000/1001, 30000/1001 }, interlace-mode=(string)progressive; "
    "video/x-raw(memory:DMABuf), format=(string)NV12, width=(int)1280, height=(int)720, "
    "framerate=(fraction)60/1";

// The null sink's monitor of the tests' PulseAudio daemon, as the pulse
// device provider reports it (every PulseAudio and PipeWire source looks so).
const std::string pulse_source_caps =
    "audio/x-raw, format=(string){ S16LE, S16BE, F32LE, F32BE, S32LE, S32BE, S24LE, S24BE, "
    "S24_32LE, S24_32BE, U8 }, layout=(string)interleaved, rate=(int)[ 1, 384000 ], "
    "channels=(int)[ 1, 32 ]; audio/x-alaw, rate=(int)[ 1, 384000 ], channels=(int)[ 1, 32 ]; "
    "audio/x-mulaw, rate=(int)[ 1, 384000 ], channels=(int)[ 1, 32 ]";

struct video_row {
  media_subtype subtype;
  int width;
  int height;
  std::int64_t interval;
};

void expect_video_capabilities(const std::vector<media_type>& found,
                               const std::vector<video_row>& expected) {
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("capability " + std::to_string(i) + ": " + describe(found[i]));
    EXPECT_EQ(found[i].format, format_type::video_info);
    EXPECT_EQ(found[i].format_size, video_info_block_size);
    EXPECT_EQ(found[i].subtype, expected[i].subtype);
    EXPECT_EQ(found[i].width, expected[i].width);
    EXPECT_EQ(found[i].height, expected[i].height);
    EXPECT_EQ(found[i].avg_time_per_frame, expected[i].interval);
    const int bits = expected[i].subtype == media_subtype::rgb24  ? 24
                     : expected[i].subtype == media_subtype::yuy2 ? 16
                                                                  : 0;
    EXPECT_EQ(found[i].bit_count, bits);
    EXPECT_FALSE(found[i].platform_format.empty());
  }
}

TEST(caps_capabilities, uvc_webcam_gives_one_capability_per_format_and_size_at_its_best_rate) {
  expect_video_capabilities(video_capabilities_from_caps(uvc_webcam_caps),
                            {{media_subtype::yuy2, 1920, 1080, 2000000},
                             {media_subtype::yuy2, 1280, 720, 1000000},
                             {media_subtype::yuy2, 640, 480, 333333},
                             {media_subtype::yuy2, 320, 240, 333333},
                             {media_subtype::mjpg, 1920, 1080, 333333},
                             {media_subtype::mjpg, 1280, 720, 333333}});
}

TEST(caps_capabilities, size_ranges_expand_to_the_common_sizes_inside_them) {
  const auto found = video_capabilities_from_caps(stepwise_camera_caps);
  const std::vector<std::pair<int, int>> sizes{
      {160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 360},  {640, 480},
      {800, 600}, {960, 540}, {1024, 768}, {1280, 720}, {1280, 960}, {1920, 1080}};
  std::vector<video_row> expected;
  for (media_subtype subtype :
       {media_subtype::yuy2, media_subtype::rgb24, media_subtype::other, media_subtype::mjpg})
    for (const auto& [w, h] : sizes) expected.push_back({subtype, w, h, 111111});
  expect_video_capabilities(found, expected);
}

TEST(caps_capabilities, a_step_or_a_bound_leaves_sizes_out) {
  // Widths in steps of 64 (320, 640 and 960 on the grid, 160, 352 and 800
  // off it) and at most 600 lines (so not 1280x720).
  const auto found = video_capabilities_from_caps(
      "video/x-raw, format=(string)YUY2, width=(int)[ 64, 1920, 64 ], "
      "height=(int)[ 144, 600 ], framerate=(fraction)25/1");
  expect_video_capabilities(found, {{media_subtype::yuy2, 320, 240, 400000},
                                    {media_subtype::yuy2, 640, 360, 400000},
                                    {media_subtype::yuy2, 640, 480, 400000},
                                    {media_subtype::yuy2, 960, 540, 400000}});
}

TEST(caps_capabilities, one_size_listed_twice_is_one_capability_with_every_rate_offered) {
  const auto found = video_capabilities_from_caps(capture_card_caps);
  // NTSC 59.94 is the highest rate over both structures; DMABuf is skipped.
  expect_video_capabilities(found, {{media_subtype::yuy2, 720, 480, 166833}});
  EXPECT_EQ(nearest_frame_rate(found[0].platform_format, 333667).numerator, 30000);
  EXPECT_EQ(nearest_frame_rate(found[0].platform_format, 333667).denominator, 1001);
}

TEST(caps_capabilities, sound_ranges_expand_to_the_fixed_rates_channels_and_formats) {
  const auto found = sound_capabilities_from_caps(pulse_source_caps);
  ASSERT_EQ(found.size(), 7u * 2u * 2u);
  const std::vector<int> rates{8000, 11025, 16000, 22050, 32000, 44100, 48000};
  std::size_t i = 0;
  for (int rate : rates)
    for (int channels : {1, 2})
      for (int bits : {16, 8}) {
        SCOPED_TRACE(describe(found[i]));
        EXPECT_EQ(found[i].format, format_type::wave_format_ex);
        EXPECT_EQ(found[i].subtype, media_subtype::pcm);
        EXPECT_EQ(found[i].format_size, wave_format_block_size);
        EXPECT_EQ(found[i].samples_per_sec, rate);
        EXPECT_EQ(found[i].channels, channels);
        EXPECT_EQ(found[i].bits_per_sample, bits);
        EXPECT_EQ(found[i].block_align, channels * bits / 8);
        EXPECT_EQ(found[i].platform_format, capture_filter_caps(found[i]));
        ++i;
      }
}

TEST(caps_capabilities, sound_lists_and_fixed_formats_give_only_what_they_allow) {
  struct row {
    const char* caps;
    std::vector<std::tuple<int, int, int>> expected;  // rate, channels, bits
  };
  const std::vector<row> rows{
      // A USB microphone opened directly: one fixed format.
      {"audio/x-raw, format=(string)S16LE, layout=(string)interleaved, rate=(int)48000, "
       "channels=(int)1",
       {{48000, 1, 16}}},
      // Rate and format lists; S24LE is not a capability, four channels are not either.
      {"audio/x-raw, format=(string){ S24LE, S16LE }, layout=(string)interleaved, "
       "rate=(int){ 44100, 48000, 96000 }, channels=(int){ 2, 4 }",
       {{44100, 2, 16}, {48000, 2, 16}}},
      // A rate range that starts above the low rates.
      {"audio/x-raw, format=(string)U8, layout=(string)interleaved, rate=(int)[ 22050, 44100 ], "
       "channels=(int)[ 1, 2 ]",
       {{22050, 1, 8}, {22050, 2, 8}, {32000, 1, 8}, {32000, 2, 8}, {44100, 1, 8}, {44100, 2, 8}}},
      {"audio/x-raw, format=(string)S16LE, layout=(string)non-interleaved, rate=(int)48000, "
       "channels=(int)2",
       {}},
      {"audio/x-alaw, rate=(int)8000, channels=(int)1", {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.caps);
    const auto found = sound_capabilities_from_caps(r.caps);
    ASSERT_EQ(found.size(), r.expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].samples_per_sec, std::get<0>(r.expected[i]));
      EXPECT_EQ(found[i].channels, std::get<1>(r.expected[i]));
      EXPECT_EQ(found[i].bits_per_sample, std::get<2>(r.expected[i]));
    }
  }
}

TEST(caps_capabilities, unreadable_or_foreign_caps_give_nothing) {
  for (const char* caps : {"", "not caps at all", "video/x-h264, width=(int)640, height=(int)480",
                           "audio/x-raw, format=(string)S16LE"})
    EXPECT_TRUE(video_capabilities_from_caps(caps).empty()) << caps;
  EXPECT_TRUE(sound_capabilities_from_caps("video/x-raw, format=(string)YUY2").empty());
}

// The caps filter of a chosen capability pins format and size and the rate
// on offer nearest to the requested interval.
TEST(capture_filter_caps, pins_the_nearest_rate_the_device_offers) {
  const auto webcam = video_capabilities_from_caps(uvc_webcam_caps);
  const media_type vga = webcam[2];  // YUY2 640x480, 30 down to 5 fps
  const auto sensor = video_capabilities_from_caps(stepwise_camera_caps);
  const media_type sensor_720p = sensor[9];  // YUY2 1280x720, 1 to 90 fps
  struct row {
    media_type type;
    std::int64_t interval;
    const char* rate;
  };
  const std::vector<row> rows{
      {vga, 333333, "30/1"},   {vga, 666666, "15/1"},  {vga, 400000, "24/1"},
      {vga, 1333333, "15/2"},  {vga, 0, "30/1"},       {vga, 20000000, "5/1"},
      {sensor_720p, 400000, "25/1"}, {sensor_720p, 50000, "90/1"},
      {sensor_720p, 333666, "30000/1001"}, {sensor_720p, 0, "90/1"},
  };
  for (const auto& r : rows) {
    media_type type = r.type;
    type.avg_time_per_frame = r.interval;
    SCOPED_TRACE(describe(type) + " interval " + std::to_string(r.interval));
    EXPECT_EQ(capture_filter_caps(type),
              std::string("video/x-raw, format=(string)YUY2, width=(int)") +
                  std::to_string(type.width) + ", height=(int)" + std::to_string(type.height) +
                  ", framerate=(fraction)" + r.rate);
  }
}

TEST(capture_filter_caps, names_each_layout_and_sound_format) {
  const auto sensor = video_capabilities_from_caps(stepwise_camera_caps);
  media_type bgr = sensor[12 + 2];    // BGR 320x240
  media_type i420 = sensor[24 + 5];   // I420 640x480
  media_type jpeg = sensor[36 + 9];   // JPEG 1280x720
  for (media_type* type : {&bgr, &i420, &jpeg}) type->avg_time_per_frame = 333333;
  EXPECT_EQ(capture_filter_caps(bgr),
            "video/x-raw, format=(string)BGR, width=(int)320, height=(int)240, "
            "framerate=(fraction)30/1");
  EXPECT_EQ(capture_filter_caps(i420),
            "video/x-raw, format=(string)I420, width=(int)640, height=(int)480, "
            "framerate=(fraction)30/1");
  EXPECT_EQ(capture_filter_caps(jpeg),
            "image/jpeg, width=(int)1280, height=(int)720, framerate=(fraction)30/1");
  // A type built without the device's caps still names its layout.
  EXPECT_EQ(capture_filter_caps(make_video_type(media_subtype::rgb24, 640, 480, 666666)),
            "video/x-raw, format=(string)BGR, width=(int)640, height=(int)480, "
            "framerate=(fraction)15/1");
  EXPECT_EQ(capture_filter_caps(make_pcm_type(2, 44100, 16)),
            "audio/x-raw, format=(string)S16LE, layout=(string)interleaved, rate=(int)44100, "
            "channels=(int)2");
  EXPECT_EQ(capture_filter_caps(make_pcm_type(1, 22050, 8)),
            "audio/x-raw, format=(string)U8, layout=(string)interleaved, rate=(int)22050, "
            "channels=(int)1");
  EXPECT_EQ(capture_filter_caps(make_pcm_type(2, 44100, 24)), "");
  EXPECT_EQ(capture_filter_caps(media_type{}), "");
}

}  // namespace
