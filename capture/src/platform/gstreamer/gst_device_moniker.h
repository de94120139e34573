// One listed device: its path and name, and how to make its source.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/capture_platform.h"
#include "platform/gstreamer/gst_capture_source.h"

namespace capture_platform::gstreamer {

class gst_device_moniker final : public i_device_moniker {
 public:
  using source_maker = std::function<std::shared_ptr<gst_capture_source>()>;
  // `path` and `friendly` in UTF-8.
  gst_device_moniker(const std::string& path, const std::string& friendly, source_maker maker);

  int display_name(std::wstring* name) override;
  int friendly_name(std::wstring* name) override;
  int bind(std::shared_ptr<i_capture_source>* source) override;

 private:
  const std::wstring path_;
  const std::wstring friendly_;
  const source_maker maker_;
};

}  // namespace capture_platform::gstreamer
