#include "platform/gstreamer/gst_runtime.h"

#include <gst/gst.h>

#include <mutex>

#include "platform/gstreamer/gst_holders.h"

namespace capture_platform::gstreamer {

bool ensure_gstreamer() {
  static std::once_flag once;
  static bool initialised = false;
  std::call_once(once, [] {
    GError* raw_error = nullptr;
    initialised = gst_init_check(nullptr, nullptr, &raw_error);
    g_error_ptr error(raw_error);
  });
  return initialised;
}

}  // namespace capture_platform::gstreamer
