#include "platform/gstreamer/builtin_devices.h"

#include <array>
#include <utility>

#include "platform/gstreamer/caps_capabilities.h"

namespace capture_platform::gstreamer {
namespace {

// The camera honours any frame rate asked for within these bounds.
constexpr const char* test_pattern_rates = "[ 1/1, 240/1 ]";

struct picture_format {
  media_subtype layout;
  int width;
  int height;
};
// RGB24 first at the smallest size, YUY2 first at the others, so that the
// format choice, which keeps the earlier of two equal sizes, can reach both.
constexpr std::array<picture_format, 6> test_pattern_formats{{
    {media_subtype::rgb24, 320, 240},
    {media_subtype::yuy2, 320, 240},
    {media_subtype::yuy2, 640, 480},
    {media_subtype::rgb24, 640, 480},
    {media_subtype::yuy2, 1280, 720},
    {media_subtype::rgb24, 1280, 720},
}};

constexpr std::array<int, 2> test_tone_rates{44100, 48000};
constexpr std::array<int, 2> test_tone_channels{2, 1};
constexpr std::array<int, 2> test_tone_bits{16, 8};

}  // namespace

std::string test_pattern_offer(media_subtype layout, int width, int height) {
  const char* format = layout == media_subtype::rgb24 ? "BGR" : "YUY2";
  return std::string("video/x-raw, format=(string)") + format + ", width=(int)" +
         std::to_string(width) + ", height=(int)" + std::to_string(height) +
         ", framerate=(fraction)" + test_pattern_rates;
}

std::vector<media_type> test_pattern_camera_capabilities() {
  std::vector<media_type> capabilities;
  for (const auto& format : test_pattern_formats) {
    media_type type =
        make_video_type(format.layout, format.width, format.height, test_pattern_frame_interval);
    type.platform_format = test_pattern_offer(format.layout, format.width, format.height);
    capabilities.push_back(std::move(type));
  }
  return capabilities;
}

std::vector<media_type> test_tone_microphone_capabilities() {
  std::vector<media_type> capabilities;
  for (int rate : test_tone_rates)
    for (int channels : test_tone_channels)
      for (int bits : test_tone_bits) {
        media_type type = make_pcm_type(channels, rate, bits);
        type.platform_format = capture_filter_caps(type);
        capabilities.push_back(std::move(type));
      }
  return capabilities;
}

std::shared_ptr<gst_capture_source> make_test_pattern_camera() {
  source_description description;
  description.kind = source_kind::camera;
  description.element = {"videotestsrc", {{"is-live", "true"}, {"pattern", "smpte"}}};
  description.capabilities = test_pattern_camera_capabilities();
  description.test_pattern = true;
  return std::make_shared<gst_capture_source>(std::move(description));
}

std::shared_ptr<gst_capture_source> make_test_tone_microphone() {
  source_description description;
  description.kind = source_kind::microphone;
  description.element = {"audiotestsrc",
                         {{"is-live", "true"},
                          {"wave", "sine"},
                          {"freq", std::to_string(test_tone_frequency)}}};
  description.capabilities = test_tone_microphone_capabilities();
  description.buffer_control = buffer_size_control::samples_per_buffer;
  return std::make_shared<gst_capture_source>(std::move(description));
}

}  // namespace capture_platform::gstreamer
