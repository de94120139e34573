// Builds a graph through its steps in the order the capture devices take
// them, for tests that need a connected or running graph.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/capture_platform.h"
#include "recording_sink.h"

namespace capture_gst_test {

struct built_graph {
  std::unique_ptr<capture_platform::i_capture_graph> graph;
  // The first step that failed ("" when all succeeded) and its result.
  std::string failed_step;
  int result = 0;
};

// create_builder to connect; run too when `run` is set.
built_graph build_graph(capture_platform::i_capture_platform& platform,
                        std::shared_ptr<capture_platform::i_capture_source> source,
                        std::shared_ptr<capture_platform::i_sample_sink> sink, bool run = true);

// A source captured for a while into a recording sink, then stopped.
struct capture_run {
  std::shared_ptr<recording_sink> sink;
  std::string failed_step;  // "" when the graph ran
  std::chrono::milliseconds stop_time{0};
};
capture_run capture_for(std::shared_ptr<capture_platform::i_capture_source> source,
                        std::chrono::milliseconds duration, int kept = 64);

// Frames per second over the samples' arrival times (first to last).
double arrival_rate(const std::vector<received_sample>& samples);

// The first device of a category whose path (display name) is `path`.
std::shared_ptr<capture_platform::i_device_moniker> find_device(
    capture_platform::i_capture_platform& platform, capture_platform::device_category category,
    const std::wstring& path);

// Binds the device at `path`; null when it is not listed or will not bind.
std::shared_ptr<capture_platform::i_capture_source> bind_device(
    capture_platform::i_capture_platform& platform, capture_platform::device_category category,
    const std::wstring& path);

}  // namespace capture_gst_test
