// The built-in devices, listed after the machine's own on every machine so
// that a room can be hosted with no hardware: a test-pattern camera
// (GStreamer's SMPTE bars with our moving mark) and a test-tone microphone
// (a steady 1 kHz sine), both live sources paced by the clock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gstreamer/gst_capture_source.h"

namespace capture_platform::gstreamer {

// Nominal frame interval of the camera: 30 frames per second.
inline constexpr std::int64_t test_pattern_frame_interval = 333333;
// Frequency of the microphone's tone.
inline constexpr int test_tone_frequency = 1000;

std::shared_ptr<gst_capture_source> make_test_pattern_camera();
std::shared_ptr<gst_capture_source> make_test_tone_microphone();

// Their capabilities, in the order they are listed: the camera's first is
// 320x240 RGB24, the microphone's first 44100 Hz, 2 channels, 16 bits.
std::vector<media_type> test_pattern_camera_capabilities();
std::vector<media_type> test_tone_microphone_capabilities();

// The caps the camera offers for one picture size and layout (any rate).
std::string test_pattern_offer(media_subtype layout, int width, int height);

}  // namespace capture_platform::gstreamer
