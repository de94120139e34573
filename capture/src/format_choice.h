// The format rules of the camera and the microphone as pure functions of a
// capability list, so that they are tested with tables and no device.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/media_type.h"

namespace format_choice {

// An uncompressed camera format the encoder takes: a full video-info block
// carrying YUY2 or RGB24.
bool is_acceptable_video(const capture_platform::media_type& type);
// The format closest to the requested size: the width nearest to `width`
// wins; among widths within 1 % of the current choice, the aspect ratio
// nearest to width/height; ties keep the earlier one. Only acceptable
// formats take part. The index into `formats`, or none.
std::optional<std::size_t> choose_video_format(
    const std::vector<capture_platform::media_type>& formats, int width, int height);

// Frames per second of a frame interval in 100 ns units, truncated; an
// interval of 0 counts as 5 fps.
int fps_of_interval(std::int64_t interval);
// The frame interval in 100 ns units for `fps` (> 0), truncated.
std::int64_t interval_of_fps(int fps);
// The encoder's bit rate for a picture of width x height at `quality` bits
// per pixel, in single precision as the device computes it, saturated to
// the int range.
int video_bit_rate(int width, int height, float quality);

// A PCM format with a full wave-format block.
bool is_acceptable_audio(const capture_platform::media_type& type);
// The first acceptable format with exactly these channels, rate and bits.
std::optional<std::size_t> choose_audio_format(
    const std::vector<capture_platform::media_type>& formats, int channels, int sample_rate,
    int bits_per_sample);

}  // namespace format_choice
