// Owning holders for GStreamer and GLib objects: one deleter per kind, so
// that no unref call appears in the logic and every early return releases.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/base/gstadapter.h>
#include <gst/gst.h>

#include <memory>
#include <string>

namespace capture_platform::gstreamer {

struct gst_object_deleter {
  void operator()(void* object) const { gst_object_unref(object); }
};
struct g_object_deleter {
  void operator()(void* object) const { g_object_unref(object); }
};
struct gst_caps_deleter {
  void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
struct gst_sample_deleter {
  void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
struct gst_buffer_deleter {
  void operator()(GstBuffer* buffer) const { gst_buffer_unref(buffer); }
};
struct gst_buffer_list_deleter {
  void operator()(GstBufferList* list) const { gst_buffer_list_unref(list); }
};
struct gst_message_deleter {
  void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct g_free_deleter {
  void operator()(void* memory) const { g_free(memory); }
};
struct g_error_deleter {
  void operator()(GError* error) const { g_error_free(error); }
};
// A list of devices from a device provider, with one reference per device.
struct gst_device_list_deleter {
  void operator()(GList* list) const { g_list_free_full(list, gst_object_unref); }
};

// GstObject and its descendants (elements, pads, buses, providers, devices).
template <typename T>
using gst_object_ptr = std::unique_ptr<T, gst_object_deleter>;
using gst_element_ptr = gst_object_ptr<GstElement>;
using gst_pad_ptr = gst_object_ptr<GstPad>;
using gst_bus_ptr = gst_object_ptr<GstBus>;
// Plain GObjects that are not GstObjects (GstAdapter).
using gst_adapter_ptr = std::unique_ptr<GstAdapter, g_object_deleter>;
using gst_caps_ptr = std::unique_ptr<GstCaps, gst_caps_deleter>;
using gst_sample_ptr = std::unique_ptr<GstSample, gst_sample_deleter>;
using gst_buffer_ptr = std::unique_ptr<GstBuffer, gst_buffer_deleter>;
using gst_buffer_list_ptr = std::unique_ptr<GstBufferList, gst_buffer_list_deleter>;
using gst_message_ptr = std::unique_ptr<GstMessage, gst_message_deleter>;
using g_string_ptr = std::unique_ptr<gchar, g_free_deleter>;
using g_error_ptr = std::unique_ptr<GError, g_error_deleter>;
using gst_device_list_ptr = std::unique_ptr<GList, gst_device_list_deleter>;

// Takes ownership of a newly made object, sinking its floating reference
// (elements come floating; a bin that gets the object adds its own).
template <typename T>
gst_object_ptr<T> adopt_floating(T* object) {
  if (object) gst_object_ref_sink(object);
  return gst_object_ptr<T>(object);
}

// A second owning reference to an object someone else holds.
template <typename T>
gst_object_ptr<T> add_reference(T* object) {
  if (object) gst_object_ref(object);
  return gst_object_ptr<T>(object);
}

// The text of a string GLib allocated, freed here; empty for null.
inline std::string take_string(gchar* text) {
  g_string_ptr owned(text);
  return owned ? std::string(owned.get()) : std::string();
}

}  // namespace capture_platform::gstreamer
