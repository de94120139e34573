// What a pipeline's threads share with its graph: the sink, the gate in
// front of it, how samples are cut and painted on their way, and the
// failure report. The pipeline's callbacks each hold a reference, so this
// (and the sink) lives as long as the pipeline may still call it.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/capture_platform.h"
#include "platform/gstreamer/delivery_gate.h"
#include "platform/gstreamer/gst_capture_source.h"
#include "platform/gstreamer/gst_holders.h"

namespace capture_platform::gstreamer {

class pipeline_delivery : public std::enable_shared_from_this<pipeline_delivery> {
 public:
  // Set up before the pipeline runs (the graph's steps), never after.
  void set_sink(std::shared_ptr<i_sample_sink> sink) { sink_ = std::move(sink); }
  i_sample_sink* sink() const { return sink_.get(); }
  // `sample_bytes`: the size of every sound sample handed on (0: as the
  // source cuts them).
  void configure(source_kind kind, int sample_bytes);

  // Hook this delivery into the pipeline. Each holds a reference to it.
  void attach_sink(GstElement* appsink);
  void attach_bus(GstBus* bus);
  // The test-pattern camera's mark, painted into each frame leaving `pad`.
  void attach_painter(GstPad* pad);

  // The first error the pipeline posted while it was being started.
  bool startup_failed(std::string* reason);
  // From here on an error is the device's failure, reported to the sink.
  // False when an error came first.
  bool arm();
  // Calls to the sink end here; returns once none is in progress.
  void close() { gate_.close(); }

 private:
  static GstFlowReturn on_new_sample(GstAppSink* appsink, gpointer self);
  static GstBusSyncReply on_bus_message(GstBus* bus, GstMessage* message, gpointer self);
  static GstPadProbeReturn on_frame_leaving(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  // A new owning reference for a GLib callback's data, and its release.
  gpointer callback_reference();
  static void release_callback_reference(gpointer reference);

  void deliver(GstSample* sample);
  void deliver_sound(GstBuffer* buffer);
  void paint(GstPadProbeInfo* info);
  void on_error(const std::string& reason);

  std::shared_ptr<i_sample_sink> sink_;
  source_kind kind_ = source_kind::camera;
  int sample_bytes_ = 0;

  delivery_gate gate_;

  // Streaming thread only.
  gst_adapter_ptr adapter_{gst_adapter_new()};
  gst_caps_ptr delivered_caps_;
  GstVideoInfo delivered_info_{};
  media_subtype delivered_layout_ = media_subtype::other;
  // Streaming thread of the source only.
  GstVideoInfo painted_info_{};
  bool painted_info_valid_ = false;
  std::int64_t frames_painted_ = 0;

  // Guarded by startup_mutex_: errors before arm() are the start's own.
  std::mutex startup_mutex_;
  bool armed_ = false;
  std::string startup_error_;
  // Set once, by whichever thread reports the failure.
  std::atomic<bool> failure_reported_{false};
};

}  // namespace capture_platform::gstreamer
