// The GStreamer path of a real microphone against a real sound server: a
// private PulseAudio daemon whose null sink plays a known tone, captured
// from the sink's monitor source as the device monitor finds it. Also what
// happens when that server vanishes or stops answering.
#include <gtest/gtest.h>

#include <future>
#include <ostream>
#include <thread>

#include "castbay/live_av_capture.h"
#include "graph_steps.h"
#include "pulse_server.h"
#include "sound_checks.h"

namespace {

using namespace capture_platform;
using namespace capture_gst_test;
using namespace std::chrono_literals;

// Not the built-in microphone's 1 kHz, so the tone can only be the server's.
constexpr int played_tone = 440;

class pulse_source : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<lrk::test::pulse_server>("lrk_test_sink", "Lrk Test Sink");
    server_->use_in_this_process();
    server_->play_tone(played_tone);
    platform_ = make_system_platform();
  }

  std::wstring monitor_path() const {
    const std::string path = "pulse:" + server_->monitor_source_name();
    return std::wstring(path.begin(), path.end());
  }

  std::shared_ptr<i_capture_source> bind_monitor() {
    return bind_device(*platform_, device_category::audio_input, monitor_path());
  }

  // The monitor captured in 16-bit stereo at 44.1 kHz, in 4096-byte buffers.
  built_graph start_monitor(std::shared_ptr<recording_sink> sink) {
    auto source = bind_monitor();
    EXPECT_TRUE(source);
    if (!source) return {};
    EXPECT_EQ(source->set_format(make_pcm_type(2, 44100, 16)), ok);
    EXPECT_EQ(source->suggest_buffer_size(4096), ok);
    return build_graph(*platform_, source, sink);
  }

  std::unique_ptr<lrk::test::pulse_server> server_;
  std::shared_ptr<i_capture_platform> platform_;
};

TEST_F(pulse_source, the_monitor_is_listed_with_its_friendly_name_before_the_builtin_microphone) {
  std::vector<std::shared_ptr<i_device_moniker>> devices;
  ASSERT_EQ(platform_->enumerate(device_category::audio_input, &devices), ok);
  ASSERT_EQ(devices.size(), 2u);  // the null sink's monitor, then the built-in microphone
  std::wstring path, name;
  ASSERT_EQ(devices[0]->display_name(&path), ok);
  ASSERT_EQ(devices[0]->friendly_name(&name), ok);
  EXPECT_EQ(path, monitor_path());
  const std::string friendly = server_->monitor_friendly_name();
  EXPECT_EQ(name, std::wstring(friendly.begin(), friendly.end()));
  ASSERT_EQ(devices[1]->display_name(&path), ok);
  EXPECT_EQ(path, castbay_test_microphone_path);
}

TEST_F(pulse_source, offers_the_fixed_pcm_list_and_defaults_to_cd_stereo) {
  auto source = bind_monitor();
  ASSERT_TRUE(source);
  int count = 0;
  ASSERT_EQ(source->capability_count(&count), ok);
  EXPECT_EQ(count, 7 * 2 * 2);
  media_type current;
  ASSERT_EQ(source->current_format(&current), ok);
  EXPECT_EQ(describe(current), "PCM 2 ch 44100 Hz 16 bit");
  EXPECT_LT(source->set_format(make_pcm_type(2, 96000, 16)), 0);
}

struct pulse_row {
  const char* name;
  int channels;
  int rate;
  int bits;
  int bytes;
};

void PrintTo(const pulse_row& row, std::ostream* out) { *out << row.name; }

class pulse_formats : public pulse_source, public ::testing::WithParamInterface<pulse_row> {};

TEST_P(pulse_formats, samples_are_whole_buffers_carrying_the_played_tone) {
  const pulse_row row = GetParam();
  auto source = bind_monitor();
  ASSERT_TRUE(source);
  ASSERT_EQ(source->set_format(make_pcm_type(row.channels, row.rate, row.bits)), ok);
  ASSERT_EQ(source->suggest_buffer_size(row.bytes), ok);
  const capture_run run = capture_for(source, 1200ms, 1000);
  ASSERT_EQ(run.failed_step, "");
  const auto samples = run.sink->samples();
  ASSERT_GE(samples.size(), 10u);
  std::vector<std::uint8_t> pcm;
  // The first buffers may still be the silence before the tone reached the monitor.
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(samples[i].size, row.bytes) << "sample " << i;
    if (i >= samples.size() / 2) pcm.insert(pcm.end(), samples[i].bytes.begin(), samples[i].bytes.end());
  }
  for (int channel = 0; channel < row.channels; ++channel) {
    const auto tone = channel_samples(pcm, row.channels, row.bits, channel);
    EXPECT_NEAR(tone_frequency(tone, row.rate), played_tone, played_tone * 0.02);
    EXPECT_GT(rms_level(tone), 0.05);
  }
  EXPECT_EQ(run.sink->late_calls(), 0);
  std::printf("[ measured ] pulse %s: %zu buffers in 1.2 s, stop took %lld ms\n", row.name,
              samples.size(), static_cast<long long>(run.stop_time.count()));
}

INSTANTIATE_TEST_SUITE_P(
    formats, pulse_formats,
    ::testing::Values(pulse_row{"stereo_16_aac_frames", 2, 44100, 16, 4096},
                      pulse_row{"mono_u8_22050_1152", 1, 22050, 8, 1152}),
    [](const ::testing::TestParamInfo<pulse_row>& info) { return info.param.name; });

TEST_F(pulse_source, a_server_that_vanishes_is_reported_once_and_delivers_nothing_more) {
  auto sink = std::make_shared<recording_sink>(0);
  built_graph built = start_monitor(sink);
  ASSERT_EQ(built.failed_step, "");
  ASSERT_TRUE(sink->wait_for_samples(5, 3s));
  const auto killed = std::chrono::steady_clock::now();
  server_->kill();
  ASSERT_TRUE(sink->wait_for_failure(5s));
  const auto reported = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(sink->failure_count(), 1);
  const auto stopping = std::chrono::steady_clock::now();
  built.graph->stop();
  const auto stopped = std::chrono::steady_clock::now();
  sink->stop_returned();
  EXPECT_EQ(sink->late_calls(), 0);
  EXPECT_LT(stopped - stopping, 2s);
  std::printf("[ measured ] failure reported %lld ms after the kill (%s); stop took %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(reported - killed).count()),
              sink->failure_reason().c_str(),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(stopped - stopping).count()));
}

// A server that stops answering in mid-run (SIGSTOP): stop closes the
// graph's gate at once, so nothing reaches the sink after the call, but the
// pipeline's own change to NULL may wait for the server. Measured here.
TEST_F(pulse_source, stop_while_the_server_hangs) {
  auto sink = std::make_shared<recording_sink>(0);
  built_graph built = start_monitor(sink);
  ASSERT_EQ(built.failed_step, "");
  ASSERT_TRUE(sink->wait_for_samples(5, 3s));
  server_->pause();
  std::this_thread::sleep_for(200ms);
  const int before_stop = sink->sample_count();
  const auto stopping = std::chrono::steady_clock::now();
  auto stopped = std::async(std::launch::async, [&] { built.graph->stop(); });
  const bool returned_while_hung = stopped.wait_for(2s) == std::future_status::ready;
  const auto hung_for = std::chrono::steady_clock::now() - stopping;
  server_->resume();
  ASSERT_EQ(stopped.wait_for(5s), std::future_status::ready) << "stop did not return after resume";
  const auto total = std::chrono::steady_clock::now() - stopping;
  sink->stop_returned();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(sink->late_calls(), 0);
  std::printf("[ measured ] stop with the server stopped: %s after %lld ms; %lld ms in all; "
              "%d samples before, %d after\n",
              returned_while_hung ? "returned" : "still blocked",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(hung_for).count()),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(total).count()),
              before_stop, sink->sample_count());
}

// Listing and starting are bounded even when the server hangs: the hung
// server's devices are simply missing, and a start gives up.
TEST_F(pulse_source, listing_and_starting_are_bounded_while_the_server_hangs) {
  auto source = bind_monitor();
  ASSERT_TRUE(source);
  server_->pause();
  auto listing_started = std::chrono::steady_clock::now();
  std::vector<std::shared_ptr<i_device_moniker>> devices;
  EXPECT_EQ(platform_->enumerate(device_category::audio_input, &devices), ok);
  const auto listing_took = std::chrono::steady_clock::now() - listing_started;
  ASSERT_EQ(devices.size(), 1u);
  std::wstring path;
  ASSERT_EQ(devices[0]->display_name(&path), ok);
  EXPECT_EQ(path, castbay_test_microphone_path);
  EXPECT_LT(listing_took, 3s);

  auto sink = std::make_shared<recording_sink>(0);
  const auto starting = std::chrono::steady_clock::now();
  built_graph built = build_graph(*platform_, source, sink);
  const auto start_took = std::chrono::steady_clock::now() - starting;
  EXPECT_EQ(built.failed_step, "run");
  EXPECT_LT(start_took, 4s);
  server_->resume();
  auto stopped = std::async(std::launch::async, [&] { built.graph->stop(); });
  EXPECT_EQ(stopped.wait_for(5s), std::future_status::ready);
  std::printf("[ measured ] listing with the server stopped took %lld ms, a start %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(listing_took).count()),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(start_took).count()));
}

}  // namespace
