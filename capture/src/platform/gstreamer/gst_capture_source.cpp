#include "platform/gstreamer/gst_capture_source.h"

#include <algorithm>

#include "platform/gstreamer/builtin_devices.h"
#include "platform/gstreamer/caps_capabilities.h"

namespace capture_platform::gstreamer {
namespace {

// The largest picture the test-pattern camera is asked for.
constexpr int max_test_pattern_side = 4096;

bool same_video_format(const media_type& a, const media_type& b) {
  return a.subtype == b.subtype && a.width == b.width && a.height == b.height;
}

bool same_sound_format(const media_type& a, const media_type& b) {
  return a.channels == b.channels && a.samples_per_sec == b.samples_per_sec &&
         a.bits_per_sample == b.bits_per_sample;
}

// The first raw capability the encoders take, else the first of all: what a
// camera delivers unless told otherwise.
int preferred_camera_capability(const std::vector<media_type>& capabilities) {
  for (std::size_t i = 0; i < capabilities.size(); ++i)
    if (capabilities[i].subtype == media_subtype::yuy2 ||
        capabilities[i].subtype == media_subtype::rgb24)
      return static_cast<int>(i);
  return 0;
}

// CD-rate stereo 16-bit when offered (what a room asks for unless told
// otherwise, and a sound server's usual native format), else the first.
int preferred_microphone_capability(const std::vector<media_type>& capabilities) {
  const media_type usual = make_pcm_type(2, 44100, 16);
  for (std::size_t i = 0; i < capabilities.size(); ++i)
    if (same_sound_format(capabilities[i], usual)) return static_cast<int>(i);
  return 0;
}

}  // namespace

gst_capture_source::gst_capture_source(source_description description)
    : description_(std::move(description)) {}

int gst_capture_source::capability_count(int* count) {
  if (!count) return e_fail;
  *count = static_cast<int>(description_.capabilities.size());
  return ok;
}

int gst_capture_source::capability(int index, media_type* type) {
  if (!type || index < 0 || index >= static_cast<int>(description_.capabilities.size()))
    return e_fail;
  *type = description_.capabilities[static_cast<std::size_t>(index)];
  return ok;
}

std::optional<media_type> gst_capture_source::accepted_format(const media_type& type) const {
  const auto& capabilities = description_.capabilities;
  if (description_.kind == source_kind::microphone) {
    if (type.format != format_type::wave_format_ex || type.subtype != media_subtype::pcm)
      return std::nullopt;
    const auto match = std::find_if(capabilities.begin(), capabilities.end(),
                                    [&](const media_type& c) { return same_sound_format(c, type); });
    if (match == capabilities.end()) return std::nullopt;
    return *match;
  }
  if (type.format != format_type::video_info) return std::nullopt;
  // The device's own description of the format wins; an equal format and
  // size is enough for a type built elsewhere.
  auto match = std::find_if(capabilities.begin(), capabilities.end(), [&](const media_type& c) {
    return same_video_format(c, type) && c.platform_format == type.platform_format;
  });
  if (match == capabilities.end())
    match = std::find_if(capabilities.begin(), capabilities.end(),
                         [&](const media_type& c) { return same_video_format(c, type); });
  media_type accepted = type;
  if (match != capabilities.end()) {
    accepted.platform_format = match->platform_format;
    accepted.bit_count = match->bit_count;
    return accepted;
  }
  const bool any_size = description_.test_pattern &&
                        (type.subtype == media_subtype::yuy2 || type.subtype == media_subtype::rgb24) &&
                        type.width > 0 && type.height > 0 && type.width <= max_test_pattern_side &&
                        type.height <= max_test_pattern_side;
  if (!any_size) return std::nullopt;
  accepted = make_video_type(type.subtype, type.width, type.height, type.avg_time_per_frame);
  accepted.platform_format = test_pattern_offer(type.subtype, type.width, type.height);
  return accepted;
}

int gst_capture_source::set_format(const media_type& type) {
  std::optional<media_type> accepted = accepted_format(type);
  if (!accepted) return e_fail;
  // The requested frame interval is kept: it picks the rate at connection.
  accepted->avg_time_per_frame = type.avg_time_per_frame;
  std::lock_guard lock(mutex_);
  chosen_ = std::move(accepted);
  return ok;
}

int gst_capture_source::current_format(media_type* type) {
  if (!type) return e_fail;
  std::lock_guard lock(mutex_);
  if (chosen_) {
    *type = *chosen_;
    return ok;
  }
  const auto& capabilities = description_.capabilities;
  const int index = description_.default_capability;
  if (index < 0 || index >= static_cast<int>(capabilities.size())) return e_fail;
  *type = capabilities[static_cast<std::size_t>(index)];
  return ok;
}

int gst_capture_source::suggest_buffer_size(int bytes) {
  if (description_.kind != source_kind::microphone || bytes <= 0) return e_fail;
  std::lock_guard lock(mutex_);
  suggested_bytes_ = bytes;
  return ok;
}

int gst_capture_source::sample_bytes() {
  std::lock_guard lock(mutex_);
  return description_.kind == source_kind::microphone ? suggested_bytes_ : 0;
}

std::vector<std::pair<std::string, std::string>> gst_capture_source::buffer_properties() {
  media_type format;
  const int bytes = sample_bytes();
  if (bytes <= 0 || current_format(&format) != ok || format.block_align <= 0) return {};
  switch (description_.buffer_control) {
    case buffer_size_control::samples_per_buffer:
      // Rounded up: the sink's re-chunking cuts any remainder into whole buffers.
      return {{"samplesperbuffer",
               std::to_string((bytes + format.block_align - 1) / format.block_align)}};
    case buffer_size_control::block_size:
      return {{"blocksize", std::to_string(bytes)}};
    case buffer_size_control::none:
      break;
  }
  return {};
}

std::shared_ptr<gst_capture_source> make_camera_source(element_spec element,
                                                       const std::string& caps) {
  source_description description;
  description.kind = source_kind::camera;
  description.element = std::move(element);
  description.capabilities = video_capabilities_from_caps(caps);
  description.default_capability = preferred_camera_capability(description.capabilities);
  return std::make_shared<gst_capture_source>(std::move(description));
}

std::shared_ptr<gst_capture_source> make_microphone_source(element_spec element,
                                                           const std::string& caps,
                                                           buffer_size_control control) {
  source_description description;
  description.kind = source_kind::microphone;
  description.element = std::move(element);
  description.capabilities = sound_capabilities_from_caps(caps);
  description.default_capability = preferred_microphone_capability(description.capabilities);
  description.buffer_control = control;
  return std::make_shared<gst_capture_source>(std::move(description));
}

}  // namespace capture_platform::gstreamer
