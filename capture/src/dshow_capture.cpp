#include "dshow_capture.h"

#include "bounded_call.h"
#include "capture_results.h"
#include "device_enumeration.h"
#include "sample_grab_filter.h"

#include <utility>

using namespace capture_platform;

dshow_capture::dshow_capture(std::shared_ptr<i_capture_platform> platform,
                             device_category category)
    : platform_(std::move(platform)), category_(category) {}

dshow_capture::~dshow_capture() { release_graph(); }

int dshow_capture::find_device_filter(const std::wstring& name,
                                      std::shared_ptr<i_capture_source>* filter) {
  const std::wstring wanted = path_up_to_nul(name);
  std::shared_ptr<i_capture_source> found;
  const int walked = enum_devices(*platform_, category_, [&](i_device_moniker& moniker) {
    std::wstring path;
    if (moniker.display_name(&path) < 0) return visit::abort;
    if (!wanted.empty() && path != wanted) return visit::go_on;
    // A device that matches but cannot be bound ends the search.
    return moniker.bind(&found) < 0 ? visit::abort : visit::stop;
  });
  if (walked >= 0) *filter = std::move(found);
  return walked;
}

void dshow_capture::release_graph() {
  if (!stopped_) {
    stop_capture();
    return;
  }
  if (sink_filter_) sink_filter_->close();
  if (graph_ || source_filter_ || sink_filter_) close_device();
}

int dshow_capture::open_device(std::wstring name) {
  // A graph left by an open that failed part-way, or was never started,
  // must not keep the device busy.
  release_graph();

  std::unique_ptr<i_capture_graph> graph;
  if (platform_->create_graph(&graph) < 0 || !graph) return device_result::graph_failed;
  graph_ = std::move(graph);
  if (graph_->create_builder() < 0) return device_result::builder_failed;
  capture_builder_ = true;
  if (graph_->bind_builder() < 0) return device_result::builder_bind_failed;

  std::shared_ptr<i_capture_source> source;
  if (find_device_filter(name, &source) < 0) return device_result::lookup_failed;
  source_filter_ = std::move(source);
  // Also fails when no device was found: there is no source to add.
  if (graph_->add_source(source_filter_) < 0) return device_result::source_add_failed;

  const int control = graph_->query_media_control();
  if (control < 0) return device_result::media_control_failed;
  // A query that answers without giving a control leaves the device unable to run.
  media_control_ = control == ok;
  if (graph_->find_stream_config() < 0) return device_result::stream_config_failed;
  stream_config_ = true;

  int created = ok;
  sink_filter_ = std::make_unique<sample_grab_filter>(this, *graph_, &created);
  if (created < 0) return device_result::sink_create_failed;
  if (graph_->add_sink() < 0) return device_result::sink_add_failed;
  return device_result::ok;
}

void dshow_capture::close_device() {
  graph_.reset();
  capture_builder_ = false;
  media_control_ = false;
  source_filter_.reset();
  stream_config_ = false;
  sink_filter_.reset();
}

std::vector<media_type> dshow_capture::listed_formats() const {
  std::vector<media_type> formats;
  int count = 0;
  if (!source_filter_ || !stream_config_ || source_filter_->capability_count(&count) < 0)
    return formats;
  for (int i = 0; i < count; ++i) {
    media_type type;
    if (source_filter_->capability(i, &type) >= 0) formats.push_back(std::move(type));
  }
  return formats;
}

int dshow_capture::connect_pins() {
  if (!graph_ || !source_filter_ || !source_filter_->has_output() || !sink_filter_) return e_fail;
  return graph_->connect();
}

int dshow_capture::start_capture() {
  {
    std::lock_guard lock(device_lock_);
    stopped_ = false;
  }
  if (connect_pins() < 0) return device_result::connect_failed;
  if (!media_control_) return device_result::no_media_control;
  if (graph_->run() < 0) return device_result::run_failed;
  // A sample that arrived while the graph started has set the clock already.
  std::int64_t unset = 0;
  start_tick_.compare_exchange_strong(unset, platform_->tick_count());
  return device_result::ok;
}

void dshow_capture::stop_graph() {
  std::shared_ptr<i_capture_graph> graph = graph_;
  run_bounded([graph] { graph->stop(); }, stop_wait);
}

int dshow_capture::stop_capture() {
  if (stopped_.exchange(true)) return 0;
  // The pin lets go of the device first: whatever the graph does from now
  // on, and however long its stop takes, no sample reaches this device.
  if (sink_filter_) sink_filter_->close();
  if (media_control_ && graph_) stop_graph();
  // The graph and the sink go after the lock is released: a graph whose stop
  // did not finish may still be inside its streaming thread, which must
  // never wait for a lock this thread holds.
  std::shared_ptr<i_capture_graph> graph = std::move(graph_);
  std::unique_ptr<sample_grab_filter> sink = std::move(sink_filter_);
  {
    std::lock_guard lock(device_lock_);
    close_device();
    data_list_.clear();
  }
  start_tick_ = 0;
  return 0;
}

capture_data dshow_capture::get_capture_data() {
  std::lock_guard lock(device_lock_);
  if (data_list_.empty()) return {};
  capture_data front = std::move(data_list_.front());
  data_list_.pop_front();
  return front;
}

void dshow_capture::push_data(sample_bytes_ptr bytes, int size, std::int64_t start_time,
                              std::int64_t end_time) {
  std::lock_guard lock(device_lock_);
  if (stopped_) return;
  data_list_.emplace_back(std::move(bytes), size, start_time, end_time);
  // The oldest goes first, so the stream stays current when the poll thread falls behind.
  if (data_list_.size() > max_queued_records) data_list_.pop_front();
}

std::int64_t dshow_capture::elapsed_ms() {
  const std::int64_t now = platform_->tick_count();
  std::int64_t start = 0;
  if (start_tick_.compare_exchange_strong(start, now)) start = now;
  return now - start;
}

void dshow_capture::report_failure(const std::string& reason) {
  std::lock_guard lock(failure_lock_);
  if (!failure_) failure_ = reason;
}

std::optional<std::string> dshow_capture::take_failure() {
  std::lock_guard lock(failure_lock_);
  return std::exchange(failure_, std::nullopt);
}
