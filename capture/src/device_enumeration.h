// The walk over one device category, shared by the device lookup and the
// manager's device list.
#pragma once

#include <functional>

#include "platform/capture_platform.h"

// What a visitor answers for each device.
enum class visit { stop = 0, go_on = 1, abort = 2 };

// Calls `visitor` for each device of `category` in the platform's order.
// Returns the enumeration's own result when it is not 0 (1: an empty
// category; negative: no enumeration), -1 when a visitor aborted, else 0.
int enum_devices(capture_platform::i_capture_platform& platform,
                 capture_platform::device_category category,
                 const std::function<visit(capture_platform::i_device_moniker&)>& visitor);

// A device path as the host may hand it back: up to its first NUL.
std::wstring path_up_to_nul(const std::wstring& name);
