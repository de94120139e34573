#include "fake_devices.h"

#include <stdexcept>

namespace capture_test {

using namespace capture_platform;

std::vector<media_type> camera_formats() {
  return {make_video_type(media_subtype::yuy2, 320, 240, 333333),
          make_video_type(media_subtype::yuy2, 640, 480, 333333),
          make_video_type(media_subtype::rgb24, 640, 480, 333333)};
}

std::vector<media_type> microphone_formats() {
  return {make_pcm_type(2, 44100, 16), make_pcm_type(1, 44100, 16), make_pcm_type(2, 48000, 16),
          make_pcm_type(2, 44100, 8)};
}

fake_devices::fake_devices()
    : platform(std::make_shared<scripted::scripted_platform>()), manager(platform) {
  platform->add_device(device_category::video_input, {camera_path, L"Fake Camera", camera_formats()});
  platform->add_device(device_category::video_input,
                       {second_camera_path, L"Second Fake Camera", camera_formats()});
  platform->add_device(device_category::audio_input,
                       {microphone_path, L"Fake Microphone", microphone_formats()});
  manager.set_callback(&host);
}

fake_devices::~fake_devices() {
  manager.unhost_room();
  platform->release_stops();
}

scripted::graph_probe fake_devices::running(device_category category) {
  std::optional<scripted::graph_probe> graph = platform->running_graph(category);
  if (!graph) throw std::runtime_error("no running graph");
  return *graph;
}

std::vector<std::string> state_formats(const recording_callback& host, std::size_t from) {
  std::vector<std::string> all = host.formats(0);
  if (from >= all.size()) return {};
  return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
}

}  // namespace capture_test
