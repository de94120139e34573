#include "device_enumeration.h"

#include <memory>
#include <vector>

int enum_devices(capture_platform::i_capture_platform& platform,
                 capture_platform::device_category category,
                 const std::function<visit(capture_platform::i_device_moniker&)>& visitor) {
  std::vector<std::shared_ptr<capture_platform::i_device_moniker>> devices;
  const int listed = platform.enumerate(category, &devices);
  if (listed != capture_platform::ok) return listed;
  for (const auto& moniker : devices) {
    if (!moniker) continue;
    switch (visitor(*moniker)) {
      case visit::stop: return 0;
      case visit::go_on: break;
      case visit::abort: return -1;
    }
  }
  return 0;
}

std::wstring path_up_to_nul(const std::wstring& name) { return name.substr(0, name.find(L'\0')); }
