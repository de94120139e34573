// A device's graph as a GStreamer pipeline: source, a caps filter pinning
// the chosen format, and an appsink whose callback is the sink's receive.
#pragma once

#include <memory>

#include "platform/capture_platform.h"

namespace capture_platform::gstreamer {

// Bounds the wait of run() for the pipeline to play.
inline constexpr int run_timeout_ms = 3000;

// A new, empty graph. It takes only sources bound by this platform.
std::unique_ptr<i_capture_graph> make_capture_graph();

}  // namespace capture_platform::gstreamer
