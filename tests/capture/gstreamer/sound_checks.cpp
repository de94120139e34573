#include "sound_checks.h"

#include <cmath>

namespace capture_gst_test {

std::vector<double> channel_samples(const std::vector<std::uint8_t>& pcm, int channels,
                                    int bits_per_sample, int channel) {
  std::vector<double> samples;
  const int bytes = bits_per_sample / 8;
  const std::size_t frame = static_cast<std::size_t>(channels * bytes);
  for (std::size_t at = static_cast<std::size_t>(channel * bytes); at + bytes <= pcm.size(); at += frame) {
    if (bits_per_sample == 16)
      samples.push_back(static_cast<std::int16_t>(pcm[at] | (pcm[at + 1] << 8)) / 32768.0);
    else
      samples.push_back((pcm[at] - 128) / 128.0);
  }
  return samples;
}

double tone_frequency(const std::vector<double>& samples, int sample_rate) {
  int first = -1, last = -1, crossings = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    if ((samples[i - 1] < 0.0) != (samples[i] < 0.0)) {
      if (first < 0) first = static_cast<int>(i);
      last = static_cast<int>(i);
      ++crossings;
    }
  }
  if (crossings < 3) return 0.0;
  // Two crossings per period, between the first crossing and the last.
  return (crossings - 1) / 2.0 * sample_rate / (last - first);
}

double rms_level(const std::vector<double>& samples) {
  double sum = 0.0;
  for (double s : samples) sum += s * s;
  return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

}  // namespace capture_gst_test
