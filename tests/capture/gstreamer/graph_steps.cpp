#include "graph_steps.h"

#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace capture_gst_test {

using namespace capture_platform;

built_graph build_graph(i_capture_platform& platform, std::shared_ptr<i_capture_source> source,
                        std::shared_ptr<i_sample_sink> sink, bool run) {
  built_graph built;
  if ((built.result = platform.create_graph(&built.graph)) != ok || !built.graph) {
    built.failed_step = "create_graph";
    return built;
  }
  i_capture_graph& graph = *built.graph;
  const std::vector<std::pair<const char*, std::function<int()>>> steps{
      {"create_builder", [&] { return graph.create_builder(); }},
      {"bind_builder", [&] { return graph.bind_builder(); }},
      {"add_source", [&] { return graph.add_source(source); }},
      {"query_media_control", [&] { return graph.query_media_control(); }},
      {"find_stream_config", [&] { return graph.find_stream_config(); }},
      {"create_sink", [&] { return graph.create_sink(sink); }},
      {"add_sink", [&] { return graph.add_sink(); }},
      {"connect", [&] { return graph.connect(); }},
      {"run", [&] { return run ? graph.run() : ok; }},
  };
  for (const auto& [name, step] : steps) {
    built.result = step();
    if (built.result < 0) {
      built.failed_step = name;
      return built;
    }
  }
  return built;
}

capture_run capture_for(std::shared_ptr<i_capture_source> source, std::chrono::milliseconds duration,
                        int kept) {
  capture_run run;
  run.sink = std::make_shared<recording_sink>(kept);
  auto platform = make_system_platform();
  built_graph built = build_graph(*platform, std::move(source), run.sink);
  run.failed_step = built.failed_step;
  if (built.failed_step.empty()) std::this_thread::sleep_for(duration);
  const auto stopping = std::chrono::steady_clock::now();
  if (built.graph) built.graph->stop();
  run.stop_time = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - stopping);
  run.sink->stop_returned();
  return run;
}

double arrival_rate(const std::vector<received_sample>& samples) {
  if (samples.size() < 2) return 0.0;
  const std::chrono::duration<double> span = samples.back().arrival - samples.front().arrival;
  return span.count() > 0.0 ? (samples.size() - 1) / span.count() : 0.0;
}

std::shared_ptr<i_device_moniker> find_device(i_capture_platform& platform,
                                              device_category category, const std::wstring& path) {
  std::vector<std::shared_ptr<i_device_moniker>> devices;
  if (platform.enumerate(category, &devices) != ok) return nullptr;
  for (const auto& device : devices) {
    std::wstring name;
    if (device->display_name(&name) == ok && name == path) return device;
  }
  return nullptr;
}

std::shared_ptr<i_capture_source> bind_device(i_capture_platform& platform,
                                              device_category category, const std::wstring& path) {
  auto device = find_device(platform, category, path);
  std::shared_ptr<i_capture_source> source;
  if (!device || device->bind(&source) != ok) return nullptr;
  return source;
}

}  // namespace capture_gst_test
