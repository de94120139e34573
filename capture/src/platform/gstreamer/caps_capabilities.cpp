#include "platform/gstreamer/caps_capabilities.h"

#include <gst/gst.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <set>
#include <tuple>
#include <utility>

#include "platform/gstreamer/gst_holders.h"
#include "platform/gstreamer/gst_runtime.h"

namespace capture_platform::gstreamer {
namespace {

constexpr const char* raw_video = "video/x-raw";
constexpr const char* jpeg_video = "image/jpeg";
constexpr const char* raw_sound = "audio/x-raw";

// Sizes a camera with a continuous or stepped size range is offered at.
constexpr std::array<std::pair<int, int>, 12> common_picture_sizes{{
    {160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 360}, {640, 480},
    {800, 600}, {960, 540}, {1024, 768}, {1280, 720}, {1280, 960}, {1920, 1080}}};
constexpr std::array<int, 7> common_sample_rates{8000, 11025, 16000, 22050, 32000, 44100, 48000};
constexpr std::array<int, 2> common_channel_counts{1, 2};
struct sample_format {
  const char* name;
  int bits;
};
constexpr std::array<sample_format, 2> pcm_formats{{{"S16LE", 16}, {"U8", 8}}};

gst_caps_ptr parse_caps(const std::string& text) {
  if (text.empty() || !ensure_gstreamer()) return nullptr;
  return gst_caps_ptr(gst_caps_from_string(text.c_str()));
}

std::string caps_text(const GstCaps* caps) { return take_string(gst_caps_to_string(caps)); }

// Whether `value` (an int, a stepped range or a list of either) allows n.
// A field that is absent allows anything.
bool int_allows(const GValue* value, int n) {
  if (!value) return true;
  if (G_VALUE_HOLDS_INT(value)) return g_value_get_int(value) == n;
  if (GST_VALUE_HOLDS_INT_RANGE(value)) {
    const int min = gst_value_get_int_range_min(value);
    const int max = gst_value_get_int_range_max(value);
    const int step = std::max(1, gst_value_get_int_range_step(value));
    return n >= min && n <= max && (n - min) % step == 0;
  }
  if (GST_VALUE_HOLDS_LIST(value) || GST_VALUE_HOLDS_ARRAY(value)) {
    const guint size = GST_VALUE_HOLDS_LIST(value) ? gst_value_list_get_size(value)
                                                   : gst_value_array_get_size(value);
    for (guint i = 0; i < size; ++i) {
      const GValue* item = GST_VALUE_HOLDS_LIST(value) ? gst_value_list_get_value(value, i)
                                                       : gst_value_array_get_value(value, i);
      if (int_allows(item, n)) return true;
    }
  }
  return false;
}

// The strings a string field or a list of strings names, in order.
std::vector<std::string> strings_of(const GValue* value) {
  std::vector<std::string> result;
  if (!value) return result;
  if (G_VALUE_HOLDS_STRING(value)) {
    result.emplace_back(g_value_get_string(value));
  } else if (GST_VALUE_HOLDS_LIST(value)) {
    for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
      const auto more = strings_of(gst_value_list_get_value(value, i));
      result.insert(result.end(), more.begin(), more.end());
    }
  }
  return result;
}

bool string_allows(const GValue* value, const char* text) {
  if (!value) return true;
  const auto names = strings_of(value);
  return std::find(names.begin(), names.end(), text) != names.end();
}

// One offered frame rate, or a range of them, with its bounds as fractions.
struct rate_option {
  frame_rate low;
  frame_rate high;
};

double to_double(frame_rate rate) {
  return rate.denominator > 0 ? static_cast<double>(rate.numerator) / rate.denominator : 0.0;
}

void collect_rates(const GValue* value, std::vector<rate_option>* options) {
  if (!value) return;
  if (GST_VALUE_HOLDS_FRACTION(value)) {
    const frame_rate rate{gst_value_get_fraction_numerator(value),
                          gst_value_get_fraction_denominator(value)};
    options->push_back({rate, rate});
  } else if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
    const GValue* min = gst_value_get_fraction_range_min(value);
    const GValue* max = gst_value_get_fraction_range_max(value);
    options->push_back(
        {{gst_value_get_fraction_numerator(min), gst_value_get_fraction_denominator(min)},
         {gst_value_get_fraction_numerator(max), gst_value_get_fraction_denominator(max)}});
  } else if (GST_VALUE_HOLDS_LIST(value)) {
    for (guint i = 0; i < gst_value_list_get_size(value); ++i)
      collect_rates(gst_value_list_get_value(value, i), options);
  }
}

std::vector<rate_option> offered_rates(const GstCaps* caps) {
  std::vector<rate_option> options;
  for (guint i = 0; i < gst_caps_get_size(caps); ++i)
    collect_rates(gst_structure_get_value(gst_caps_get_structure(caps, i), "framerate"), &options);
  return options;
}

// A rate as a small fraction: whole rates exactly, NTSC-style rates over
// 1001, anything else to a thousandth.
frame_rate fraction_of(double rate) {
  const double whole = std::round(rate);
  if (std::fabs(rate - whole) < 0.005) return {static_cast<int>(whole), 1};
  const double ntsc = std::round(rate * 1001.0);
  if (std::fabs(ntsc / 1001.0 - rate) < 1e-4) return {static_cast<int>(ntsc), 1001};
  const int thousandths = static_cast<int>(std::round(rate * 1000.0));
  const int divisor = std::gcd(thousandths, 1000);
  return {thousandths / divisor, 1000 / divisor};
}

std::int64_t interval_of(frame_rate rate) {
  if (rate.numerator <= 0 || rate.denominator <= 0) return 0;
  return 10000000LL * rate.denominator / rate.numerator;
}

frame_rate highest(const std::vector<rate_option>& options) {
  frame_rate best;
  for (const auto& option : options)
    if (to_double(option.high) > to_double(best)) best = option.high;
  return best;
}

bool has_system_memory(const GstCaps* caps, guint index) {
  const GstCapsFeatures* features = gst_caps_get_features(caps, index);
  return !features || gst_caps_features_is_any(features) ||
         gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY);
}

media_subtype video_subtype(const std::string& media, const std::string& format) {
  if (media == jpeg_video) return media_subtype::mjpg;
  if (format == "YUY2") return media_subtype::yuy2;
  if (format == "BGR") return media_subtype::rgb24;
  return media_subtype::other;
}

std::vector<std::pair<int, int>> picture_sizes(const GstStructure* structure) {
  const GValue* width = gst_structure_get_value(structure, "width");
  const GValue* height = gst_structure_get_value(structure, "height");
  if (!width || !height) return {};
  if (G_VALUE_HOLDS_INT(width) && G_VALUE_HOLDS_INT(height))
    return {{g_value_get_int(width), g_value_get_int(height)}};
  std::vector<std::pair<int, int>> sizes;
  for (const auto& [w, h] : common_picture_sizes)
    if (int_allows(width, w) && int_allows(height, h)) sizes.emplace_back(w, h);
  return sizes;
}

// The caps of one capability: its format and size, with the frame rates
// offered for them (possibly by several structures of the device's caps).
struct video_entry {
  std::string media;
  std::string format;
  int width;
  int height;
  gst_caps_ptr offered;
};

void add_video_structure(const std::string& media, const std::string& format, int width,
                         int height, const GValue* framerate, std::vector<video_entry>* entries) {
  auto entry = std::find_if(entries->begin(), entries->end(), [&](const video_entry& e) {
    return e.media == media && e.format == format && e.width == width && e.height == height;
  });
  if (entry == entries->end()) {
    entries->push_back({media, format, width, height, gst_caps_ptr(gst_caps_new_empty())});
    entry = entries->end() - 1;
  }
  GstStructure* structure = gst_structure_new_empty(media.c_str());
  if (!format.empty()) gst_structure_set(structure, "format", G_TYPE_STRING, format.c_str(), nullptr);
  gst_structure_set(structure, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
  if (framerate) gst_structure_set_value(structure, "framerate", framerate);
  gst_caps_append_structure(entry->offered.get(), structure);
}

std::string pcm_format_name(int bits) {
  for (const auto& format : pcm_formats)
    if (format.bits == bits) return format.name;
  return {};
}

// Written out rather than made by GStreamer: the built-in microphone lists
// its capabilities without initialising it.
std::string sound_filter_caps(const media_type& type) {
  const std::string format = pcm_format_name(type.bits_per_sample);
  if (format.empty() || type.channels <= 0 || type.samples_per_sec <= 0) return {};
  return std::string(raw_sound) + ", format=(string)" + format +
         ", layout=(string)interleaved, rate=(int)" + std::to_string(type.samples_per_sec) +
         ", channels=(int)" + std::to_string(type.channels);
}

std::string video_filter_caps(const media_type& type) {
  if (type.width <= 0 || type.height <= 0) return {};
  std::string media = raw_video;
  std::string format;
  if (gst_caps_ptr offered = parse_caps(type.platform_format);
      offered && gst_caps_get_size(offered.get()) > 0) {
    const GstStructure* first = gst_caps_get_structure(offered.get(), 0);
    media = gst_structure_get_name(first);
    if (const gchar* name = gst_structure_get_string(first, "format")) format = name;
  } else if (type.subtype == media_subtype::yuy2) {
    format = "YUY2";
  } else if (type.subtype == media_subtype::rgb24) {
    format = "BGR";
  } else if (type.subtype == media_subtype::mjpg) {
    media = jpeg_video;
  } else {
    return {};
  }
  if (media == raw_video && format.empty()) return {};
  if (!ensure_gstreamer()) return {};
  GstStructure* structure = gst_structure_new_empty(media.c_str());
  if (!format.empty()) gst_structure_set(structure, "format", G_TYPE_STRING, format.c_str(), nullptr);
  gst_structure_set(structure, "width", G_TYPE_INT, type.width, "height", G_TYPE_INT, type.height,
                    nullptr);
  const frame_rate rate = nearest_frame_rate(type.platform_format, type.avg_time_per_frame);
  if (rate.numerator > 0)
    gst_structure_set(structure, "framerate", GST_TYPE_FRACTION, rate.numerator, rate.denominator,
                      nullptr);
  gst_caps_ptr caps(gst_caps_new_full(structure, nullptr));
  return caps_text(caps.get());
}

}  // namespace

std::vector<media_type> video_capabilities_from_caps(const std::string& text) {
  std::vector<media_type> capabilities;
  gst_caps_ptr caps = parse_caps(text);
  if (!caps) return capabilities;
  std::vector<video_entry> entries;
  for (guint i = 0; i < gst_caps_get_size(caps.get()); ++i) {
    if (!has_system_memory(caps.get(), i)) continue;
    const GstStructure* structure = gst_caps_get_structure(caps.get(), i);
    const std::string media = gst_structure_get_name(structure);
    std::vector<std::string> formats;
    if (media == raw_video)
      formats = strings_of(gst_structure_get_value(structure, "format"));
    else if (media == jpeg_video)
      formats = {std::string()};
    const GValue* framerate = gst_structure_get_value(structure, "framerate");
    for (const auto& format : formats)
      for (const auto& [width, height] : picture_sizes(structure))
        add_video_structure(media, format, width, height, framerate, &entries);
  }
  for (const auto& entry : entries) {
    media_type type = make_video_type(video_subtype(entry.media, entry.format), entry.width,
                                      entry.height, interval_of(highest(offered_rates(entry.offered.get()))));
    type.platform_format = caps_text(entry.offered.get());
    capabilities.push_back(std::move(type));
  }
  return capabilities;
}

std::vector<media_type> sound_capabilities_from_caps(const std::string& text) {
  std::vector<media_type> capabilities;
  gst_caps_ptr caps = parse_caps(text);
  if (!caps) return capabilities;
  std::set<std::tuple<int, int, int>> allowed;  // rate, channels, bits
  for (guint i = 0; i < gst_caps_get_size(caps.get()); ++i) {
    if (!has_system_memory(caps.get(), i)) continue;
    const GstStructure* structure = gst_caps_get_structure(caps.get(), i);
    if (!gst_structure_has_name(structure, raw_sound)) continue;
    if (!string_allows(gst_structure_get_value(structure, "layout"), "interleaved")) continue;
    const GValue* format = gst_structure_get_value(structure, "format");
    const GValue* rate = gst_structure_get_value(structure, "rate");
    const GValue* channels = gst_structure_get_value(structure, "channels");
    if (!format) continue;
    for (int r : common_sample_rates)
      for (int c : common_channel_counts)
        for (const auto& pcm : pcm_formats)
          if (string_allows(format, pcm.name) && int_allows(rate, r) && int_allows(channels, c))
            allowed.emplace(r, c, pcm.bits);
  }
  for (int r : common_sample_rates)
    for (int c : common_channel_counts)
      for (const auto& pcm : pcm_formats)
        if (allowed.count({r, c, pcm.bits})) {
          media_type type = make_pcm_type(c, r, pcm.bits);
          type.platform_format = sound_filter_caps(type);
          capabilities.push_back(std::move(type));
        }
  return capabilities;
}

std::string capture_filter_caps(const media_type& type) {
  if (type.format == format_type::wave_format_ex) return sound_filter_caps(type);
  if (type.format == format_type::video_info || type.format == format_type::video_info2)
    return video_filter_caps(type);
  return {};
}

frame_rate nearest_frame_rate(const std::string& offered_text, std::int64_t avg_time_per_frame) {
  std::vector<rate_option> options;
  if (gst_caps_ptr offered = parse_caps(offered_text)) options = offered_rates(offered.get());
  if (avg_time_per_frame <= 0) return highest(options);
  const double wanted = 10000000.0 / static_cast<double>(avg_time_per_frame);
  if (options.empty()) return fraction_of(wanted);
  frame_rate best;
  double best_distance = -1.0;
  for (const auto& option : options) {
    const double low = to_double(option.low);
    const double high = to_double(option.high);
    const frame_rate candidate = wanted <= low    ? option.low
                                 : wanted >= high ? option.high
                                                  : fraction_of(wanted);
    const double distance = std::fabs(to_double(candidate) - wanted);
    if (best_distance < 0.0 || distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

}  // namespace capture_platform::gstreamer
