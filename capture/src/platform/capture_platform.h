// The capture platform layer: the few operations the capture devices need
// from the system to find a device, put it into a graph with our sink, pick
// its format and run it. The device logic (lookup rule, life cycle, codes,
// queue, clock, format choice) is written against these interfaces only;
// GStreamer, the built-in virtual devices and the scripted test platform
// implement them side by side.
//
// Results are ints in the manner of the system's platform calls: 0 success,
// a positive value a qualified success (1: "nothing there"), negative a
// failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/media_type.h"

namespace capture_platform {

inline constexpr int ok = 0;
inline constexpr int nothing_found = 1;  // an empty category
// The generic failure; the video device returns it when no format suits.
inline constexpr int e_fail = static_cast<int>(0x80004005u);

enum class device_category { video_input, audio_input };

// One captured sample, valid only during i_sample_sink::receive.
class i_media_sample {
 public:
  virtual ~i_media_sample() = default;
  // Bytes the sample gives the host.
  virtual int actual_data_length() const = 0;
  // Writes exactly actual_data_length() bytes, in the host's layout: YUY2
  // top row first and RGB24 bottom row first, both in packed rows; sound as
  // interleaved PCM. This is the sample's only copy.
  virtual void copy_to(std::uint8_t* destination) const = 0;
};

// Our sink's input, called by the platform. Implemented by the device's pin.
class i_sample_sink {
 public:
  virtual ~i_sample_sink() = default;
  // While connecting: whether the sink takes samples of this type.
  virtual bool check_media_type(const media_type& type) = 0;
  // On the platform's streaming thread, once per sample; must return
  // quickly. The graph's stop returns only when no call is in progress.
  virtual void receive(const i_media_sample& sample) = 0;
  // On any platform thread: the running device failed (unplugged, sound
  // server gone) and delivers no more samples.
  virtual void device_failed(const std::string& reason) = 0;
};

// A bound device: its capture output and the format control of that output.
class i_capture_source {
 public:
  virtual ~i_capture_source() = default;
  // Number of formats the capture output offers.
  virtual int capability_count(int* count) = 0;
  // The format at `index` (0 <= index < count).
  virtual int capability(int index, media_type* type) = 0;
  // Makes `type` the format the device delivers from its next run.
  virtual int set_format(const media_type& type) = 0;
  // The format the device delivers now: the one set, else its own default.
  virtual int current_format(media_type* type) = 0;
  // Whether the device has an output to connect (a capture pin).
  virtual bool has_output() = 0;
  // Asks for samples of exactly `bytes` bytes (sound: whole encoder frames).
  // Takes effect at the next connection. Negative when the device cannot.
  virtual int suggest_buffer_size(int bytes) = 0;
};

// One entry of a device category.
class i_device_moniker {
 public:
  virtual ~i_device_moniker() = default;
  // The device path: unique, stable, what the host passes to open a device.
  virtual int display_name(std::wstring* name) = 0;
  // The name to show a user.
  virtual int friendly_name(std::wstring* name) = 0;
  // Opens the device for capture.
  virtual int bind(std::shared_ptr<i_capture_source>* source) = 0;
};

// One device's graph: its source, our sink between them, and the run/stop
// control. The steps are separate so that each can fail on its own.
class i_capture_graph {
 public:
  virtual ~i_capture_graph() = default;
  virtual int create_builder() = 0;
  virtual int bind_builder() = 0;
  // Fails for a null source.
  virtual int add_source(std::shared_ptr<i_capture_source> source) = 0;
  virtual int query_media_control() = 0;
  // The format control of the source's capture output.
  virtual int find_stream_config() = 0;
  // Makes the graph's sink endpoint, which hands samples to `sink`. The
  // graph keeps `sink` alive for as long as it may still call it.
  virtual int create_sink(std::shared_ptr<i_sample_sink> sink) = 0;
  virtual int add_sink() = 0;
  // Connects the source's output to the sink in the source's current
  // format, asking the sink to accept it first. Fails when either end is
  // missing, the sink refuses the type, or they are already connected.
  virtual int connect() = 0;
  // Starts delivery. The sink may receive samples before this returns.
  virtual int run() = 0;
  // Ends delivery; returns once no receive is in progress. It may take as
  // long as the device needs (the caller bounds the wait).
  virtual void stop() = 0;
};

class i_capture_platform {
 public:
  virtual ~i_capture_platform() = default;
  // Appends the devices of a category, in the platform's order. 0 listed;
  // nothing_found when the category holds none; negative when the devices
  // cannot be enumerated.
  virtual int enumerate(device_category category,
                        std::vector<std::shared_ptr<i_device_moniker>>* devices) = 0;
  // A new, empty graph.
  virtual int create_graph(std::unique_ptr<i_capture_graph>* graph) = 0;
  // The capture clock in milliseconds: monotonic, the same for every device.
  virtual std::int64_t tick_count() = 0;
};

// The platform of a real machine: its cameras and microphones, followed by
// the built-in test-pattern camera and test-tone microphone.
std::shared_ptr<i_capture_platform> make_system_platform();

}  // namespace capture_platform
