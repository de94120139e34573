// One output format of a capture device, as the device logic sees it: what
// kind of format block describes it, what it carries, and the few numbers
// the format choice reads. Plain values, so capability lists can be built
// and compared without any capture platform.
#pragma once

#include <cstdint>
#include <string>

namespace capture_platform {

// The kind of format block that describes a type.
enum class format_type {
  none,            // no format block
  video_info,      // a full video-info block (size, bit count, frame interval)
  video_info2,     // the extended video-info block, which the sink refuses
  wave_format_ex,  // a PCM-style wave-format block
  other,
};

// What the samples carry.
enum class media_subtype {
  none,
  rgb24,  // B, G, R bytes, bottom row first, rows of width x 3 bytes
  yuy2,   // packed 4:2:2, top row first, rows of width x 2 bytes
  mjpg,   // one JPEG picture per sample
  pcm,    // interleaved integer samples
  other,  // raw or compressed layouts the encoders do not take
};

// Sizes of the format blocks the platform reports for the types it knows;
// the format choice refuses types whose block is shorter than these.
inline constexpr int video_info_block_size = 88;
inline constexpr int wave_format_block_size = 18;

struct media_type {
  format_type format = format_type::none;
  media_subtype subtype = media_subtype::none;
  int format_size = 0;  // bytes of the format block

  // Video (format video_info or video_info2).
  int width = 0;
  int height = 0;
  int bit_count = 0;
  std::int64_t avg_time_per_frame = 0;  // frame interval in 100 ns units; 0 unknown

  // Sound (format wave_format_ex).
  int channels = 0;
  int samples_per_sec = 0;
  int bits_per_sample = 0;
  int block_align = 0;  // bytes of one sample frame over all channels

  // The platform's own description of this type, which it needs to apply
  // the type again (opaque to the device logic).
  std::string platform_format;
};

// A video type as the device logic builds it for the capability lists of
// tests and built-in devices: a full video-info block.
media_type make_video_type(media_subtype subtype, int width, int height,
                           std::int64_t avg_time_per_frame);
// A PCM type with a full wave-format block.
media_type make_pcm_type(int channels, int samples_per_sec, int bits_per_sample);

// For log lines: "YUY2 640x480" or "PCM 2 ch 44100 Hz 16 bit".
std::string describe(const media_type& type);

}  // namespace capture_platform
