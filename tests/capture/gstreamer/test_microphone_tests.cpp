// The test-tone microphone through the real pipeline: every buffer exactly
// the size asked for (whole encoder frames), carrying the steady 1 kHz tone
// in the chosen format; and a source that ignores the size asked for,
// whose buffers the sink's re-chunking makes whole.
#include <gtest/gtest.h>

#include <ostream>

#include "graph_steps.h"
#include "platform/gstreamer/builtin_devices.h"
#include "platform/gstreamer/gst_capture_source.h"
#include "sound_checks.h"

namespace {

using namespace capture_platform;
using namespace capture_platform::gstreamer;
using namespace capture_gst_test;
using namespace std::chrono_literals;

struct microphone_row {
  const char* name;
  int channels;
  int rate;
  int bits;
  int bytes;  // the buffer size asked for
  bool sizes_ignored;  // a source that is told nothing of the size
};

void PrintTo(const microphone_row& row, std::ostream* out) { *out << row.name; }

std::shared_ptr<gst_capture_source> microphone_for(const microphone_row& row) {
  if (!row.sizes_ignored) return make_test_tone_microphone();
  // audiotestsrc without samplesperbuffer makes 1024-sample buffers.
  return make_microphone_source(
      {"audiotestsrc", {{"is-live", "true"}, {"wave", "sine"}, {"freq", "1000"}}},
      "audio/x-raw, format=(string){ S16LE, U8 }, layout=(string)interleaved, "
      "rate=(int)[ 1, 2147483647 ], channels=(int)[ 1, 2 ]",
      buffer_size_control::none);
}

class test_microphone : public ::testing::TestWithParam<microphone_row> {};

TEST_P(test_microphone, delivers_buffers_of_exactly_the_size_asked_for_with_the_tone) {
  const microphone_row row = GetParam();
  auto microphone = microphone_for(row);
  ASSERT_EQ(microphone->set_format(make_pcm_type(row.channels, row.rate, row.bits)), ok);
  ASSERT_EQ(microphone->suggest_buffer_size(row.bytes), ok);
  const capture_run run = capture_for(microphone, 1000ms, 1000);
  ASSERT_EQ(run.failed_step, "");
  const auto samples = run.sink->samples();
  const double expected_buffers = 1.0 * row.rate * row.channels * row.bits / 8 / row.bytes;
  ASSERT_GE(samples.size(), static_cast<std::size_t>(expected_buffers * 0.7));
  std::vector<std::uint8_t> pcm;
  for (const auto& sample : samples) {
    ASSERT_EQ(sample.size, row.bytes);
    pcm.insert(pcm.end(), sample.bytes.begin(), sample.bytes.end());
  }
  EXPECT_NEAR(arrival_rate(samples), expected_buffers, expected_buffers * 0.2);
  for (int channel = 0; channel < row.channels; ++channel) {
    const auto tone = channel_samples(pcm, row.channels, row.bits, channel);
    EXPECT_NEAR(tone_frequency(tone, row.rate), 1000.0, 5.0) << "channel " << channel;
    // audiotestsrc's default volume is 0.8: a sine's RMS is 0.8 / sqrt(2).
    EXPECT_NEAR(rms_level(tone), 0.566, 0.03) << "channel " << channel;
  }
  EXPECT_EQ(run.sink->late_calls(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    formats_and_sizes, test_microphone,
    ::testing::Values(
        // A room's defaults: 1024-sample AAC frames of 16-bit stereo.
        microphone_row{"stereo_16_aac_frames", 2, 44100, 16, 4096, false},
        // 1152-sample frames (MP3-sized) of 16-bit mono at 48 kHz.
        microphone_row{"mono_16_1152", 1, 48000, 16, 2304, false},
        microphone_row{"mono_u8_1152", 1, 48000, 8, 1152, false},
        microphone_row{"stereo_u8_1024", 2, 44100, 8, 2048, false},
        // Buffers of 4096 bytes cut into 4608-byte ones.
        microphone_row{"rechunked_stereo_16", 2, 44100, 16, 4608, true},
        // A size that no whole number of sample frames makes.
        microphone_row{"rechunked_odd_size", 2, 44100, 16, 4098, true}),
    [](const ::testing::TestParamInfo<microphone_row>& info) { return info.param.name; });

TEST(test_microphone, without_a_size_asked_for_delivers_what_the_source_makes) {
  const capture_run run = capture_for(make_test_tone_microphone(), 500ms);
  ASSERT_EQ(run.failed_step, "");
  const auto samples = run.sink->samples();
  ASSERT_GE(samples.size(), 5u);
  // audiotestsrc's own 1024 samples of 16-bit stereo.
  for (const auto& sample : samples) EXPECT_EQ(sample.size, 4096);
}

}  // namespace
