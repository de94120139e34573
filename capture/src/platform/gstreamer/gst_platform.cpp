// The platform of a real machine: GStreamer's devices, then the built-in
// ones, all captured through the same pipeline code.
#include <chrono>

#include "castbay/live_av_capture.h"
#include "platform/capture_platform.h"
#include "platform/gstreamer/builtin_devices.h"
#include "platform/gstreamer/device_discovery.h"
#include "platform/gstreamer/gst_capture_graph.h"
#include "platform/gstreamer/gst_device_moniker.h"

namespace capture_platform {
namespace {

std::string narrow(const wchar_t* text) {
  // The built-in names are ASCII.
  std::string narrow_text;
  for (; *text; ++text) narrow_text.push_back(static_cast<char>(*text));
  return narrow_text;
}

class gst_platform final : public i_capture_platform {
 public:
  int enumerate(device_category category,
                std::vector<std::shared_ptr<i_device_moniker>>* devices) override {
    if (!devices) return e_fail;
    auto found = gstreamer::machine_devices(category, gstreamer::device_probe_timeout);
    found.push_back(category == device_category::video_input
                        ? std::make_shared<gstreamer::gst_device_moniker>(
                              narrow(castbay_test_camera_path), narrow(castbay_test_camera_name),
                              gstreamer::make_test_pattern_camera)
                        : std::make_shared<gstreamer::gst_device_moniker>(
                              narrow(castbay_test_microphone_path),
                              narrow(castbay_test_microphone_name),
                              gstreamer::make_test_tone_microphone));
    devices->insert(devices->end(), found.begin(), found.end());
    return found.empty() ? nothing_found : ok;
  }

  int create_graph(std::unique_ptr<i_capture_graph>* graph) override {
    if (!graph) return e_fail;
    *graph = gstreamer::make_capture_graph();
    return ok;
  }

  std::int64_t tick_count() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

std::shared_ptr<i_capture_platform> make_system_platform() { return std::make_shared<gst_platform>(); }

}  // namespace capture_platform
