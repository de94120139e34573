#include "synthetic_media.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

#include "codec/av_holders.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
}

namespace capture_test {
namespace {

// FFmpeg's own chatter (encoder statistics) would bury the test output.
const bool quiet_ffmpeg = [] {
  av_log_set_level(AV_LOG_ERROR);
  return true;
}();

}  // namespace

std::vector<std::uint8_t> make_picture(AVPixelFormat format, int width, int height,
                                       int frame_index, bool noise) {
  // Upright BGR24 first.
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3);
  std::mt19937 random(static_cast<unsigned>(frame_index) * 7919u + 1u);
  std::uniform_int_distribution<int> grain(-60, 60);
  const int block_x = (frame_index * 4) % std::max(1, width - 8);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rgb c = quadrant_colours[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)];
      if (std::abs(y - height / 2) < 4 && x >= block_x && x < block_x + 8) c = {0, 0, 0};
      if (noise) {
        const int n = grain(random);
        c = {std::clamp(c.r + n, 0, 255), std::clamp(c.g + n, 0, 255), std::clamp(c.b + n, 0, 255)};
      }
      std::uint8_t* p = &bgr[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<std::uint8_t>(c.b);
      p[1] = static_cast<std::uint8_t>(c.g);
      p[2] = static_cast<std::uint8_t>(c.r);
    }
  }

  if (format == AV_PIX_FMT_BGR24) {
    // The capture host's RGB24 comes bottom row first.
    std::vector<std::uint8_t> bottom_up(bgr.size());
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
      std::copy_n(&bgr[y * row], row, &bottom_up[(height - 1 - y) * row]);
    return bottom_up;
  }

  std::vector<std::uint8_t> out(av_image_get_buffer_size(format, width, height, 1));
  uint8_t* dst[4] = {};
  int dst_lines[4] = {};
  av_image_fill_arrays(dst, dst_lines, out.data(), format, width, height, 1);
  const uint8_t* src[4] = {bgr.data()};
  const int src_lines[4] = {width * 3};
  lrk::sws_context_ptr sws(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, format,
                                          SWS_POINT, nullptr, nullptr, nullptr));
  sws_scale(sws.get(), src, src_lines, 0, height, dst, dst_lines);
  return out;
}

rgb colour_at(const AVFrame& frame, int x, int y) {
  long sum[3] = {};
  int n = 0;
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      const int px = std::clamp(x + dx, 0, frame.width - 1);
      const int row = frame.height - 1 - std::clamp(y + dy, 0, frame.height - 1);
      const std::uint8_t* p = frame.data[0] + static_cast<std::ptrdiff_t>(row) * frame.linesize[0] + px * 3;
      sum[0] += p[2];
      sum[1] += p[1];
      sum[2] += p[0];
      ++n;
    }
  }
  return {static_cast<int>(sum[0] / n), static_cast<int>(sum[1] / n), static_cast<int>(sum[2] / n)};
}

bool close_to(const rgb& seen, const rgb& expected, int tolerance) {
  return std::abs(seen.r - expected.r) <= tolerance && std::abs(seen.g - expected.g) <= tolerance &&
         std::abs(seen.b - expected.b) <= tolerance;
}

std::vector<std::uint8_t> make_tone(AVSampleFormat format, int channels, int sample_rate,
                                    double frequency, std::int64_t first, int count) {
  const int bytes = av_get_bytes_per_sample(format);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(count) * channels * bytes);
  for (int i = 0; i < count; ++i) {
    const double v =
        0.5 * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(first + i) / sample_rate);
    for (int c = 0; c < channels; ++c) {
      const std::size_t at = (static_cast<std::size_t>(i) * channels + c) * bytes;
      if (format == AV_SAMPLE_FMT_S16) {
        const auto s = static_cast<std::int16_t>(std::lround(v * 32767.0));
        out[at] = static_cast<std::uint8_t>(s & 0xff);
        out[at + 1] = static_cast<std::uint8_t>((s >> 8) & 0xff);
      } else {
        out[at] = static_cast<std::uint8_t>(std::lround(128.0 + v * 127.0));
      }
    }
  }
  return out;
}

double tone_frequency(const std::vector<std::int16_t>& samples, int channels, int sample_rate) {
  // A crossing counts only after the signal went clearly negative, so the
  // near-silence of an encoder's start adds none.
  constexpr int armed_below = -2000;
  const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
  std::size_t first = 0;
  std::size_t last = 0;
  int crossings = 0;
  bool armed = false;
  for (std::size_t i = 0; i < frames; ++i) {
    const int s = samples[i * channels];
    if (s < armed_below) {
      armed = true;
    } else if (armed && s >= 0) {
      armed = false;
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return static_cast<double>(crossings - 1) * sample_rate / static_cast<double>(last - first);
}

}  // namespace capture_test
