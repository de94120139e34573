// A bound capture device as GStreamer will drive it: which source element
// makes its samples, the capabilities it offers, the format chosen for the
// next connection and the buffer size asked for. The graph reads what it
// needs from here when it builds the pipeline.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/capture_platform.h"

namespace capture_platform::gstreamer {

// A GStreamer element by factory name, with properties given as text.
struct element_spec {
  std::string factory;
  std::vector<std::pair<std::string, std::string>> properties;
};

enum class source_kind { camera, microphone };

// How a microphone's element is told the size of its buffers.
enum class buffer_size_control {
  none,               // only the sink's re-chunking makes whole buffers
  samples_per_buffer, // audiotestsrc: samples per channel in each buffer
  block_size,         // audio sources based on GstAudioBaseSrc: bytes per buffer
};

struct source_description {
  source_kind kind = source_kind::camera;
  element_spec element;
  std::vector<media_type> capabilities;
  // The capability delivered when no format is set.
  int default_capability = 0;
  buffer_size_control buffer_control = buffer_size_control::none;
  // The test-pattern camera: takes YUY2 and RGB24 at any size and rate, and
  // paints its moving mark into every frame.
  bool test_pattern = false;
};

class gst_capture_source final : public i_capture_source {
 public:
  explicit gst_capture_source(source_description description);

  int capability_count(int* count) override;
  int capability(int index, media_type* type) override;
  int set_format(const media_type& type) override;
  int current_format(media_type* type) override;
  bool has_output() override { return true; }
  int suggest_buffer_size(int bytes) override;

  // For the graph, when it makes and connects the pipeline.
  source_kind kind() const { return description_.kind; }
  bool test_pattern() const { return description_.test_pattern; }
  const element_spec& element() const { return description_.element; }
  // Properties that make the element's buffers the size asked for, in the
  // current format (none when no size was asked for).
  std::vector<std::pair<std::string, std::string>> buffer_properties();
  // Bytes of every sample given to the sink; 0 when samples keep the size
  // the element gives them.
  int sample_bytes();

 private:
  std::optional<media_type> accepted_format(const media_type& type) const;

  const source_description description_;
  // Guarded by mutex_: the device's host thread sets them, the graph reads
  // them when it connects (possibly on another thread).
  std::mutex mutex_;
  std::optional<media_type> chosen_;
  int suggested_bytes_ = 0;
};

// A camera or microphone of the machine, from the caps its device reports.
std::shared_ptr<gst_capture_source> make_camera_source(element_spec element,
                                                       const std::string& caps);
std::shared_ptr<gst_capture_source> make_microphone_source(element_spec element,
                                                           const std::string& caps,
                                                           buffer_size_control control);

}  // namespace capture_platform::gstreamer
