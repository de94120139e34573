#include "platform/gstreamer/pipeline_delivery.h"

#include <vector>

#include "platform/gstreamer/gst_media_sample.h"
#include "platform/gstreamer/moving_mark.h"

namespace capture_platform::gstreamer {
namespace {

// The host layouts that are copied row by row; anything else goes as bytes.
media_subtype packed_layout(const GstVideoInfo& info) {
  switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_YUY2: return media_subtype::yuy2;
    case GST_VIDEO_FORMAT_BGR: return media_subtype::rgb24;
    default: return media_subtype::other;
  }
}

std::string describe_error(GstMessage* message) {
  GError* raw_error = nullptr;
  gchar* raw_debug = nullptr;
  gst_message_parse_error(message, &raw_error, &raw_debug);
  g_error_ptr error(raw_error);
  g_string_ptr debug(raw_debug);
  std::string reason = GST_MESSAGE_SRC_NAME(message) ? GST_MESSAGE_SRC_NAME(message) : "pipeline";
  reason += ": ";
  reason += error && error->message ? error->message : "unknown error";
  return reason;
}

}  // namespace

void pipeline_delivery::configure(source_kind kind, int sample_bytes) {
  kind_ = kind;
  sample_bytes_ = kind == source_kind::microphone ? sample_bytes : 0;
}

gpointer pipeline_delivery::callback_reference() {
  return new std::shared_ptr<pipeline_delivery>(shared_from_this());
}

void pipeline_delivery::release_callback_reference(gpointer reference) {
  delete static_cast<std::shared_ptr<pipeline_delivery>*>(reference);
}

namespace {
pipeline_delivery& from_reference(gpointer reference) {
  return **static_cast<std::shared_ptr<pipeline_delivery>*>(reference);
}
}  // namespace

void pipeline_delivery::attach_sink(GstElement* appsink) {
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = &pipeline_delivery::on_new_sample;
  gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, callback_reference(),
                             &pipeline_delivery::release_callback_reference);
}

void pipeline_delivery::attach_bus(GstBus* bus) {
  gst_bus_set_sync_handler(bus, &pipeline_delivery::on_bus_message, callback_reference(),
                           &pipeline_delivery::release_callback_reference);
}

void pipeline_delivery::attach_painter(GstPad* pad) {
  gst_pad_add_probe(pad,
                    static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                 GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                    &pipeline_delivery::on_frame_leaving, callback_reference(),
                    &pipeline_delivery::release_callback_reference);
}

GstFlowReturn pipeline_delivery::on_new_sample(GstAppSink* appsink, gpointer self) {
  gst_sample_ptr sample(gst_app_sink_pull_sample(appsink));
  if (sample) from_reference(self).deliver(sample.get());
  return GST_FLOW_OK;
}

void pipeline_delivery::deliver(GstSample* sample) {
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (!buffer || !sink_) return;
  gate_pass pass(gate_);
  if (!pass) return;
  if (kind_ == source_kind::microphone) {
    deliver_sound(buffer);
    return;
  }
  GstCaps* caps = gst_sample_get_caps(sample);
  if (caps && (!delivered_caps_ || !gst_caps_is_equal(caps, delivered_caps_.get()))) {
    delivered_caps_.reset(gst_caps_ref(caps));
    delivered_layout_ = gst_video_info_from_caps(&delivered_info_, caps)
                            ? packed_layout(delivered_info_)
                            : media_subtype::other;
  }
  if (delivered_layout_ == media_subtype::other) {
    sink_->receive(buffer_bytes_sample({buffer}));
  } else {
    sink_->receive(video_frame_sample(buffer, delivered_info_, delivered_layout_));
  }
}

void pipeline_delivery::deliver_sound(GstBuffer* buffer) {
  if (sample_bytes_ <= 0) {
    sink_->receive(buffer_bytes_sample({buffer}));
    return;
  }
  // Sources that ignore the buffer size asked for are cut here, so that
  // every sample is whole: the rest waits for the next buffer.
  gst_adapter_push(adapter_.get(), gst_buffer_ref(buffer));
  while (gst_adapter_available(adapter_.get()) >= static_cast<gsize>(sample_bytes_)) {
    gst_buffer_list_ptr pieces(
        gst_adapter_take_buffer_list(adapter_.get(), static_cast<gsize>(sample_bytes_)));
    if (!pieces) return;
    std::vector<GstBuffer*> buffers;
    for (guint i = 0; i < gst_buffer_list_length(pieces.get()); ++i)
      buffers.push_back(gst_buffer_list_get(pieces.get(), i));
    sink_->receive(buffer_bytes_sample(std::move(buffers)));
  }
}

GstPadProbeReturn pipeline_delivery::on_frame_leaving(GstPad*, GstPadProbeInfo* info, gpointer self) {
  from_reference(self).paint(info);
  return GST_PAD_PROBE_OK;
}

void pipeline_delivery::paint(GstPadProbeInfo* info) {
  if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
      GstCaps* caps = nullptr;
      gst_event_parse_caps(event, &caps);
      painted_info_valid_ = caps && gst_video_info_from_caps(&painted_info_, caps);
    }
    return;
  }
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  if (!buffer || !painted_info_valid_) return;
  const media_subtype layout = packed_layout(painted_info_);
  if (layout == media_subtype::other) return;
  // The source's own buffer is normally writable; a shared one is copied.
  buffer = gst_buffer_make_writable(buffer);
  GST_PAD_PROBE_INFO_DATA(info) = buffer;
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &painted_info_, buffer, GST_MAP_WRITE)) return;
  paint_moving_mark(static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                    GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), GST_VIDEO_FRAME_WIDTH(&frame),
                    GST_VIDEO_FRAME_HEIGHT(&frame), layout, frames_painted_++);
  gst_video_frame_unmap(&frame);
}

GstBusSyncReply pipeline_delivery::on_bus_message(GstBus*, GstMessage* message, gpointer self) {
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
      from_reference(self).on_error(describe_error(message));
      break;
    case GST_MESSAGE_EOS:
      // A live device never ends by itself: its stream stopped.
      from_reference(self).on_error("the device ended its stream");
      break;
    default:
      break;
  }
  // Nothing reads the bus: everything is handled here, on the posting
  // thread, and a handler that drops a message releases it.
  gst_message_ptr dropped(message);
  return GST_BUS_DROP;
}

void pipeline_delivery::on_error(const std::string& reason) {
  {
    std::lock_guard lock(startup_mutex_);
    if (!armed_) {
      if (startup_error_.empty()) startup_error_ = reason;
      return;
    }
  }
  if (failure_reported_.exchange(true)) return;
  gate_pass pass(gate_);
  if (!pass || !sink_) return;  // stopped meanwhile: the sink hears nothing more
  gate_.refuse_further();
  sink_->device_failed(reason);
}

bool pipeline_delivery::startup_failed(std::string* reason) {
  std::lock_guard lock(startup_mutex_);
  if (startup_error_.empty()) return false;
  if (reason) *reason = startup_error_;
  return true;
}

bool pipeline_delivery::arm() {
  std::lock_guard lock(startup_mutex_);
  if (!startup_error_.empty()) return false;
  armed_ = true;
  return true;
}

}  // namespace capture_platform::gstreamer
