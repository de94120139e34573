#include "platform/gstreamer/gst_device_moniker.h"

#include <utility>

#include "platform/gstreamer/wide_text.h"

namespace capture_platform::gstreamer {

gst_device_moniker::gst_device_moniker(const std::string& path, const std::string& friendly,
                                       source_maker maker)
    : path_(wide_from_utf8(path)), friendly_(wide_from_utf8(friendly)), maker_(std::move(maker)) {}

int gst_device_moniker::display_name(std::wstring* name) {
  if (!name) return e_fail;
  *name = path_;
  return ok;
}

int gst_device_moniker::friendly_name(std::wstring* name) {
  if (!name) return e_fail;
  *name = friendly_;
  return ok;
}

int gst_device_moniker::bind(std::shared_ptr<i_capture_source>* source) {
  if (!source) return e_fail;
  std::shared_ptr<gst_capture_source> made = maker_ ? maker_() : nullptr;
  if (!made) return e_fail;
  *source = std::move(made);
  return ok;
}

}  // namespace capture_platform::gstreamer
