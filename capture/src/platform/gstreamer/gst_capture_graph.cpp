#include "platform/gstreamer/gst_capture_graph.h"

#include <chrono>
#include <string>
#include <thread>

#include "platform/gstreamer/async_state_change.h"
#include "platform/gstreamer/caps_capabilities.h"
#include "platform/gstreamer/gst_capture_source.h"
#include "platform/gstreamer/gst_holders.h"
#include "platform/gstreamer/gst_runtime.h"
#include "platform/gstreamer/pipeline_delivery.h"

namespace capture_platform::gstreamer {
namespace {

// The appsink keeps at most this many samples, dropping the oldest, for
// the rare moment a callback has not yet taken the previous one.
constexpr const char* appsink_queue_length = "4";

// Sets properties given as text; false for a property the element lacks.
bool set_properties(GstElement* element,
                    const std::vector<std::pair<std::string, std::string>>& properties) {
  for (const auto& [name, value] : properties) {
    if (!g_object_class_find_property(G_OBJECT_GET_CLASS(element), name.c_str())) return false;
    gst_util_set_object_arg(G_OBJECT(element), name.c_str(), value.c_str());
  }
  return true;
}

gst_element_ptr make_element(const std::string& factory, const char* name) {
  return adopt_floating(gst_element_factory_make(factory.c_str(), name));
}

class gst_capture_graph final : public i_capture_graph {
 public:
  ~gst_capture_graph() override { stop(); }

  int create_builder() override {
    if (pipeline_) return ok;
    if (!ensure_gstreamer()) return e_fail;
    pipeline_ = adopt_floating(gst_pipeline_new(nullptr));
    if (!pipeline_) return e_fail;
    delivery_ = std::make_shared<pipeline_delivery>();
    return ok;
  }

  int bind_builder() override {
    if (!pipeline_) return e_fail;
    if (bus_) return ok;
    bus_.reset(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.get())));
    if (!bus_) return e_fail;
    delivery_->attach_bus(bus_.get());
    return ok;
  }

  int add_source(std::shared_ptr<i_capture_source> source) override {
    auto ours = std::dynamic_pointer_cast<gst_capture_source>(source);
    if (!ours || !pipeline_ || source_element_) return e_fail;
    gst_element_ptr element = make_element(ours->element().factory, "source");
    if (!element || !set_properties(element.get(), ours->element().properties)) return e_fail;
    if (!gst_bin_add(GST_BIN(pipeline_.get()), element.get())) return e_fail;
    source_ = std::move(ours);
    source_element_ = std::move(element);
    return ok;
  }

  int query_media_control() override { return pipeline_ && bus_ ? ok : e_fail; }

  int find_stream_config() override {
    if (!source_element_) return e_fail;
    gst_pad_ptr pad(gst_element_get_static_pad(source_element_.get(), "src"));
    return pad ? ok : e_fail;
  }

  int create_sink(std::shared_ptr<i_sample_sink> sink) override {
    if (!sink || !delivery_ || appsink_) return e_fail;
    gst_element_ptr appsink = make_element("appsink", "sink");
    if (!appsink || !set_properties(appsink.get(), {{"sync", "false"},
                                                    {"max-buffers", appsink_queue_length},
                                                    {"drop", "true"},
                                                    {"emit-signals", "false"},
                                                    {"enable-last-sample", "false"}}))
      return e_fail;
    delivery_->set_sink(std::move(sink));
    delivery_->attach_sink(appsink.get());
    appsink_ = std::move(appsink);
    return ok;
  }

  int add_sink() override {
    if (!pipeline_ || !appsink_ || sink_added_) return e_fail;
    if (!gst_bin_add(GST_BIN(pipeline_.get()), appsink_.get())) return e_fail;
    sink_added_ = true;
    return ok;
  }

  int connect() override {
    if (connected_ || !source_element_ || !sink_added_) return e_fail;
    media_type type;
    if (source_->current_format(&type) != ok) return e_fail;
    if (!delivery_->sink()->check_media_type(type)) return e_fail;
    const std::string filter_caps = capture_filter_caps(type);
    gst_caps_ptr caps(filter_caps.empty() ? nullptr : gst_caps_from_string(filter_caps.c_str()));
    if (!caps) return e_fail;
    if (!set_properties(source_element_.get(), source_->buffer_properties())) return e_fail;
    gst_element_ptr filter = make_element("capsfilter", "format");
    if (!filter) return e_fail;
    g_object_set(filter.get(), "caps", caps.get(), nullptr);
    if (!gst_bin_add(GST_BIN(pipeline_.get()), filter.get())) return e_fail;
    if (!gst_element_link_many(source_element_.get(), filter.get(), appsink_.get(), nullptr)) {
      gst_bin_remove(GST_BIN(pipeline_.get()), filter.get());
      return e_fail;
    }
    delivery_->configure(source_->kind(), source_->sample_bytes());
    if (source_->test_pattern()) {
      gst_pad_ptr pad(gst_element_get_static_pad(source_element_.get(), "src"));
      if (pad) delivery_->attach_painter(pad.get());
    }
    filter_ = std::move(filter);
    connected_ = true;
    return ok;
  }

  int run() override {
    if (!connected_ || stopped_) return e_fail;
    if (!state_change_.start(pipeline_.get(), GST_STATE_PLAYING)) return e_fail;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(run_timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
      if (delivery_->startup_failed(nullptr)) return e_fail;
      GstStateChangeReturn result = GST_STATE_CHANGE_SUCCESS;
      const bool returned = state_change_.finished(&result);
      if (returned && result == GST_STATE_CHANGE_FAILURE) return e_fail;
      GstState current = GST_STATE_NULL;
      // Waits a little for an asynchronous change to complete.
      gst_element_get_state(pipeline_.get(), &current, nullptr, 20 * GST_MSECOND);
      if (returned && current == GST_STATE_PLAYING) return delivery_->arm() ? ok : e_fail;
      if (!returned) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return e_fail;
  }

  void stop() override {
    if (delivery_) delivery_->close();
    stopped_ = true;
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    // The change to NULL waited for any earlier change still in progress.
    state_change_.join();
  }

 private:
  // Used by the thread that drives the graph: the host's, or the one a stop
  // was left to; never by two at once.
  gst_element_ptr pipeline_;
  gst_bus_ptr bus_;
  std::shared_ptr<gst_capture_source> source_;
  gst_element_ptr source_element_;
  gst_element_ptr filter_;
  gst_element_ptr appsink_;
  bool sink_added_ = false;
  bool connected_ = false;
  bool stopped_ = false;
  // Shared with the pipeline's callbacks.
  std::shared_ptr<pipeline_delivery> delivery_;
  async_state_change state_change_;
};

}  // namespace

std::unique_ptr<i_capture_graph> make_capture_graph() {
  return std::make_unique<gst_capture_graph>();
}

}  // namespace capture_platform::gstreamer
