// The machine's own cameras (V4L2) and microphones (PulseAudio sources,
// which PipeWire's pulse server serves too, monitors included), found by
// GStreamer's device providers.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/capture_platform.h"

namespace capture_platform::gstreamer {

// Bounds each probe of a device provider.
inline constexpr std::chrono::milliseconds device_probe_timeout{2000};

// The devices of a category, paths "v4l2:/dev/videoN" and "pulse:<source
// name>". A provider that has not answered within `bound` (a sound server
// that hangs) contributes nothing, and is not asked again until that probe
// has returned.
std::vector<std::shared_ptr<i_device_moniker>> machine_devices(device_category category,
                                                               std::chrono::milliseconds bound);

// The sound server our microphones use: PULSE_SERVER when set, else the
// user's or the system's socket when one exists. Empty when there is none
// (or PULSE_SERVER names a local socket that does not exist): then no
// sound server is contacted, so none can be started on our behalf.
std::string pulse_server_address();

}  // namespace capture_platform::gstreamer
