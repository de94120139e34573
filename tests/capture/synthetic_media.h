// Synthetic captured media for the capture tests: pictures with a known
// colour in each quadrant, PCM tones, and the measurements that check what
// comes back after encoding and decoding.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libavutil/samplefmt.h>
}

namespace capture_test {

struct rgb {
  int r, g, b;
};

// Colours of the test picture's quadrants: top-left, top-right, bottom-left,
// bottom-right, as seen upright.
inline constexpr rgb quadrant_colours[4] = {
    {200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {220, 220, 220}};

// A width x height picture laid out as the capture host delivers it: BGR24
// bottom row first, YUYV422 and YUV420P top row first, rows packed. A small
// block moves along the middle row with frame_index; `noise` adds grain
// that differs in every frame (a costly picture to encode).
std::vector<std::uint8_t> make_picture(AVPixelFormat format, int width, int height,
                                       int frame_index, bool noise = false);

// Mean colour of a 5 x 5 block centred at (x, y), y counted from the top,
// in a decoded picture (packed BGR24, bottom row first).
rgb colour_at(const AVFrame& bgr_bottom_up, int x, int y);
// True when every channel lies within `tolerance` of the expected colour.
bool close_to(const rgb& seen, const rgb& expected, int tolerance);

// `count` sample frames of a sine of `frequency` Hz in interleaved S16 or U8,
// starting at sample `first` (so consecutive buffers join seamlessly).
std::vector<std::uint8_t> make_tone(AVSampleFormat format, int channels, int sample_rate,
                                    double frequency, std::int64_t first, int count);

// Frequency of the tone in channel 0 of interleaved S16 samples, from its
// rising zero crossings.
double tone_frequency(const std::vector<std::int16_t>& samples, int channels, int sample_rate);

}  // namespace capture_test
