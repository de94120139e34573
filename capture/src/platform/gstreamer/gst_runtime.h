// GStreamer is initialised once per process, on the first use of a device,
// so that making a capture platform (which every manager does) costs nothing.
#pragma once

namespace capture_platform::gstreamer {

// Initialises GStreamer on the first call (from any thread); false when it
// cannot be initialised, then and on every later call.
bool ensure_gstreamer();

}  // namespace capture_platform::gstreamer
