#include "platform/gstreamer/device_discovery.h"

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/gstreamer/gst_device_moniker.h"
#include "platform/gstreamer/gst_holders.h"
#include "platform/gstreamer/gst_runtime.h"

namespace capture_platform::gstreamer {
namespace {

// What a provider reported of one device.
struct found_device {
  std::string name;  // the provider's own name: a V4L2 node or a PulseAudio source
  std::string friendly;
  std::string caps;
};

// One provider of one category: which devices it gives and how ours are named.
struct provider_role {
  const char* provider;
  const char* device_class;
  const char* wanted_caps;
  const char* name_property;
  const char* path_prefix;
};
constexpr provider_role camera_role{"v4l2deviceprovider", "Video/Source", "video/x-raw; image/jpeg",
                                    "device-path", "v4l2:"};
constexpr provider_role microphone_role{"pulsedeviceprovider", "Audio/Source", "audio/x-raw",
                                        "internal-name", "pulse:"};

// Whether a probe of each role has not yet returned (one that hangs).
std::atomic<bool> camera_probe_running{false};
std::atomic<bool> microphone_probe_running{false};

std::string string_property(GObject* object, const char* name) {
  if (!g_object_class_find_property(G_OBJECT_GET_CLASS(object), name)) return {};
  gchar* value = nullptr;
  g_object_get(object, name, &value, nullptr);
  return take_string(value);
}

// Runs on a thread of its own: a provider may block for as long as its
// server does.
std::vector<found_device> probe(const provider_role& role, const std::string& server) {
  std::vector<found_device> found;
  gst_object_ptr<GstDeviceProvider> provider(gst_device_provider_factory_get_by_name(role.provider));
  if (!provider) return found;
  // Named outright, so that the sound library never looks for (or starts)
  // a server of its own choosing.
  if (!server.empty()) g_object_set(provider.get(), "server", server.c_str(), nullptr);
  // Started and stopped rather than probed: the pulse provider's probe
  // never releases its connection.
  if (!gst_device_provider_start(provider.get())) return found;
  gst_device_list_ptr devices(gst_device_provider_get_devices(provider.get()));
  gst_device_provider_stop(provider.get());
  gst_caps_ptr wanted(gst_caps_from_string(role.wanted_caps));
  for (GList* item = devices.get(); item; item = item->next) {
    GstDevice* device = GST_DEVICE(item->data);
    if (!gst_device_has_classes(device, role.device_class)) continue;
    gst_caps_ptr caps(gst_device_get_caps(device));
    if (!caps || !gst_caps_can_intersect(caps.get(), wanted.get())) continue;
    found_device entry{string_property(G_OBJECT(device), role.name_property),
                       take_string(gst_device_get_display_name(device)),
                       take_string(gst_caps_to_string(caps.get()))};
    if (!entry.name.empty()) found.push_back(std::move(entry));
  }
  return found;
}

struct probe_outcome {
  std::mutex mutex;
  std::condition_variable finished_changed;
  bool finished = false;
  std::vector<found_device> devices;
};

// The probe, bounded: nothing when it did not return in time (it then
// finishes on its own, and no other probe of the role starts meanwhile).
std::vector<found_device> bounded_probe(const provider_role& role, std::atomic<bool>& running,
                                        const std::string& server,
                                        std::chrono::milliseconds bound) {
  if (running.exchange(true)) return {};
  auto outcome = std::make_shared<probe_outcome>();
  std::thread([&role, &running, server, outcome] {
    std::vector<found_device> devices = probe(role, server);
    {
      std::lock_guard lock(outcome->mutex);
      outcome->devices = std::move(devices);
      outcome->finished = true;
    }
    outcome->finished_changed.notify_all();
    running = false;
  }).detach();
  std::unique_lock lock(outcome->mutex);
  if (!outcome->finished_changed.wait_for(lock, bound, [&] { return outcome->finished; })) return {};
  return std::move(outcome->devices);
}

bool is_socket(const std::string& path) {
  struct stat status {};
  return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::string pulse_server_address() {
  if (std::string server = environment("PULSE_SERVER"); !server.empty()) {
    // One local socket that is not there: nothing to ask (and GStreamer's
    // probe of a server it cannot reach leaks its connection).
    const std::string path = server.rfind("unix:", 0) == 0 ? server.substr(5) : server;
    const bool one_local_socket = path.rfind('/', 0) == 0 && path.find(' ') == std::string::npos;
    return one_local_socket && !is_socket(path) ? std::string() : server;
  }
  std::vector<std::string> sockets;
  if (std::string runtime = environment("PULSE_RUNTIME_PATH"); !runtime.empty())
    sockets.push_back(runtime + "/native");
  if (std::string runtime = environment("XDG_RUNTIME_DIR"); !runtime.empty())
    sockets.push_back(runtime + "/pulse/native");
  sockets.emplace_back("/run/pulse/native");
  for (const auto& socket : sockets)
    if (is_socket(socket)) return "unix:" + socket;
  return {};
}

std::vector<std::shared_ptr<i_device_moniker>> machine_devices(device_category category,
                                                               std::chrono::milliseconds bound) {
  std::vector<std::shared_ptr<i_device_moniker>> monikers;
  if (!ensure_gstreamer()) return monikers;
  if (category == device_category::video_input) {
    for (auto& device : bounded_probe(camera_role, camera_probe_running, {}, bound)) {
      element_spec element{"v4l2src", {{"device", device.name}}};
      monikers.push_back(std::make_shared<gst_device_moniker>(
          camera_role.path_prefix + device.name, device.friendly,
          [element, caps = device.caps] { return make_camera_source(element, caps); }));
    }
    return monikers;
  }
  const std::string server = pulse_server_address();
  if (server.empty()) return monikers;
  for (auto& device : bounded_probe(microphone_role, microphone_probe_running, server, bound)) {
    element_spec element{"pulsesrc",
                         {{"device", device.name}, {"server", server}, {"client-name", "castbay"}}};
    monikers.push_back(std::make_shared<gst_device_moniker>(
        microphone_role.path_prefix + device.name, device.friendly, [element, caps = device.caps] {
          return make_microphone_source(element, caps, buffer_size_control::block_size);
        }));
  }
  return monikers;
}

}  // namespace capture_platform::gstreamer
