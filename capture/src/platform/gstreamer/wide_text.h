// GStreamer names devices in UTF-8; the capture interface speaks wide strings.
#pragma once

#include <string>

namespace capture_platform::gstreamer {

// Decodes UTF-8; a malformed byte becomes U+FFFD.
std::wstring wide_from_utf8(const std::string& text);

}  // namespace capture_platform::gstreamer
