// A capture manager over the scripted platform, with a camera and a
// microphone of known formats, for tests of the device logic and of the
// manager's sequences.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio_capture.h"
#include "live_capture_manager.h"
#include "platform/scripted/scripted_platform.h"
#include "recording_callback.h"
#include "video_capture.h"

namespace capture_test {

inline const std::wstring camera_path = L"fake:camera/0";
inline const std::wstring second_camera_path = L"fake:camera/1";
inline const std::wstring microphone_path = L"fake:microphone/0";

struct fake_devices {
  fake_devices();
  ~fake_devices();

  video_capture& camera() { return manager.video_device(); }
  audio_capture& microphone() { return manager.audio_device(); }
  // The running graph of the camera or the microphone.
  capture_platform::scripted::graph_probe running(capture_platform::device_category category);

  std::shared_ptr<capture_platform::scripted::scripted_platform> platform;
  recording_callback host;
  live_capture_manager manager;
};

// Formats the fake camera lists: 320x240 and 640x480 YUY2, 640x480 RGB24.
std::vector<capture_platform::media_type> camera_formats();
// Formats the fake microphone lists: 2 ch 44100 Hz 16 bit first, then mono,
// 48 kHz and 8 bit.
std::vector<capture_platform::media_type> microphone_formats();

// The formats (not texts) logged at level 0, from the first `from` on.
std::vector<std::string> state_formats(const recording_callback& host, std::size_t from = 0);

}  // namespace capture_test
