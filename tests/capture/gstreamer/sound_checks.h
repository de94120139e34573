// Reading interleaved PCM as the host gets it, and measuring a tone in it.
#pragma once

#include <cstdint>
#include <vector>

namespace capture_gst_test {

// One channel's samples, centred on zero and scaled to [-1, 1]; 16-bit
// samples are signed little-endian, 8-bit ones unsigned.
std::vector<double> channel_samples(const std::vector<std::uint8_t>& pcm, int channels,
                                    int bits_per_sample, int channel);

// The frequency of a steady tone, from its zero crossings.
double tone_frequency(const std::vector<double>& samples, int sample_rate);

// The root mean square level.
double rms_level(const std::vector<double>& samples);

}  // namespace capture_gst_test
