#include "format_choice.h"

#include <cmath>
#include <cstdlib>
#include <limits>

using capture_platform::format_type;
using capture_platform::media_subtype;
using capture_platform::media_type;

namespace format_choice {

bool is_acceptable_video(const media_type& type) {
  return type.format == format_type::video_info &&
         type.format_size >= capture_platform::video_info_block_size &&
         (type.subtype == media_subtype::rgb24 || type.subtype == media_subtype::yuy2);
}

namespace {
float aspect(int width, int height) {
  return static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
}
}  // namespace

std::optional<std::size_t> choose_video_format(const std::vector<media_type>& formats, int width,
                                               int height) {
  std::optional<std::size_t> choice;
  const float wanted_aspect = aspect(width, height);
  for (std::size_t i = 0; i < formats.size(); ++i) {
    const media_type& candidate = formats[i];
    if (!is_acceptable_video(candidate)) continue;
    if (!choice) {
      choice = i;
      continue;
    }
    const media_type& current = formats[*choice];
    if (std::abs(candidate.width - width) < std::abs(current.width - width)) {
      choice = i;
    } else if (std::fabs(1.0 - static_cast<double>(candidate.width) / current.width) < 0.01 &&
               std::fabs(aspect(current.width, current.height) - wanted_aspect) >
                   std::fabs(aspect(candidate.width, candidate.height) - wanted_aspect)) {
      choice = i;
    }
  }
  return choice;
}

int fps_of_interval(std::int64_t interval) {
  if (interval == 0) interval = 2000000;
  return static_cast<int>(1.0 / (static_cast<double>(interval) * 0.0000001));
}

std::int64_t interval_of_fps(int fps) {
  return static_cast<std::int64_t>(1.0 / (fps * 0.0000001));
}

int video_bit_rate(int width, int height, float quality) {
  const float rate = (static_cast<float>(width) * quality) * static_cast<float>(height);
  if (!(rate > 0.0f)) return 0;
  if (rate >= static_cast<float>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  return static_cast<int>(rate);
}

bool is_acceptable_audio(const media_type& type) {
  return type.format == format_type::wave_format_ex && type.subtype == media_subtype::pcm &&
         type.format_size >= capture_platform::wave_format_block_size;
}

std::optional<std::size_t> choose_audio_format(const std::vector<media_type>& formats,
                                               int channels, int sample_rate,
                                               int bits_per_sample) {
  for (std::size_t i = 0; i < formats.size(); ++i) {
    const media_type& f = formats[i];
    if (is_acceptable_audio(f) && f.channels == channels && f.samples_per_sec == sample_rate &&
        f.bits_per_sample == bits_per_sample)
      return i;
  }
  return std::nullopt;
}

}  // namespace format_choice
