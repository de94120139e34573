// A capture platform for tests, in which every step can be scripted to fail
// (or a stop to block) and the test itself plays the streaming thread. Its
// devices are plain lists of formats; its clock moves only when told.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture_platform.h"

namespace capture_platform::scripted {

// The platform steps a script can make fail.
enum class step {
  enumerate,
  display_name,
  friendly_name,
  bind,
  create_graph,
  create_builder,
  bind_builder,
  add_source,
  query_media_control,
  find_stream_config,
  create_sink,
  add_sink,
  connect,
  run,
  capability_count,
  capability,
  set_format,
  current_format,
  suggest_buffer_size,
};

struct scripted_device {
  std::wstring path;
  std::wstring name;
  std::vector<media_type> formats;
  // Delivered while no format is set; the first listed format when empty.
  std::optional<media_type> default_format;
  bool has_output = true;
};

struct script;

// What the test sees of one graph the platform made.
class graph_probe {
 public:
  explicit graph_probe(std::shared_ptr<script> s, std::size_t index)
      : script_(std::move(s)), index_(index) {}
  // As the streaming thread: one sample of these bytes to the sink. False
  // when the graph does not run (or is gone, or has no sink).
  bool deliver(const std::vector<std::uint8_t>& bytes) const;
  // As the platform: the running device failed.
  void fail_device(const std::string& reason) const;

  std::wstring device_path() const;  // the source's, empty without one
  bool running() const;
  bool connected() const;
  bool destroyed() const;
  int stop_calls() const;
  int suggested_buffer_size() const;     // 0 when none suggested
  std::optional<media_type> connected_type() const;

 private:
  std::shared_ptr<script> script_;
  std::size_t index_;
};

class scripted_platform : public i_capture_platform {
 public:
  scripted_platform();
  ~scripted_platform() override;

  void add_device(device_category category, scripted_device device);
  // Every later call of `s` returns `code` (for the device with path
  // `device` only, when given: the device's own steps, and connect and run
  // of a graph holding it). A positive code for query_media_control is
  // an answer without a control.
  void fail(step s, int code, const std::wstring& device = {});
  void clear_failures();
  // From now on every graph's stop blocks until release_stops().
  void hold_stops();
  void release_stops();
  // Called inside every run(), before it returns, with the graph's probe:
  // samples that arrive while the graph starts.
  void on_run(std::function<void(const graph_probe&)> hook);

  void set_tick(std::int64_t ms);
  void advance(std::int64_t ms);

  // Graphs in the order they were made.
  std::size_t graph_count() const;
  graph_probe graph(std::size_t index) const;
  // The newest running graph whose source is of `category`.
  std::optional<graph_probe> running_graph(device_category category) const;
  std::size_t live_graph_count() const;
  // Device paths bound, in order.
  std::vector<std::wstring> bound_paths() const;

  int enumerate(device_category category,
                std::vector<std::shared_ptr<i_device_moniker>>* devices) override;
  int create_graph(std::unique_ptr<i_capture_graph>* graph) override;
  std::int64_t tick_count() override;

 private:
  std::shared_ptr<script> script_;
};

}  // namespace capture_platform::scripted
