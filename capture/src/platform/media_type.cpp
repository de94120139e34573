#include "platform/media_type.h"

namespace capture_platform {

media_type make_video_type(media_subtype subtype, int width, int height,
                           std::int64_t avg_time_per_frame) {
  media_type type;
  type.format = format_type::video_info;
  type.subtype = subtype;
  type.format_size = video_info_block_size;
  type.width = width;
  type.height = height;
  type.bit_count = subtype == media_subtype::rgb24 ? 24 : subtype == media_subtype::yuy2 ? 16 : 0;
  type.avg_time_per_frame = avg_time_per_frame;
  return type;
}

media_type make_pcm_type(int channels, int samples_per_sec, int bits_per_sample) {
  media_type type;
  type.format = format_type::wave_format_ex;
  type.subtype = media_subtype::pcm;
  type.format_size = wave_format_block_size;
  type.channels = channels;
  type.samples_per_sec = samples_per_sec;
  type.bits_per_sample = bits_per_sample;
  type.block_align = channels * (bits_per_sample / 8);
  return type;
}

namespace {
const char* subtype_name(media_subtype subtype) {
  switch (subtype) {
    case media_subtype::rgb24: return "RGB24";
    case media_subtype::yuy2: return "YUY2";
    case media_subtype::mjpg: return "MJPG";
    case media_subtype::pcm: return "PCM";
    case media_subtype::other: return "other";
    case media_subtype::none: break;
  }
  return "none";
}
}  // namespace

std::string describe(const media_type& type) {
  std::string text = subtype_name(type.subtype);
  if (type.format == format_type::wave_format_ex)
    return text + " " + std::to_string(type.channels) + " ch " +
           std::to_string(type.samples_per_sec) + " Hz " + std::to_string(type.bits_per_sample) +
           " bit";
  if (type.format == format_type::video_info || type.format == format_type::video_info2)
    return text + " " + std::to_string(type.width) + "x" + std::to_string(type.height);
  return text;
}

}  // namespace capture_platform
