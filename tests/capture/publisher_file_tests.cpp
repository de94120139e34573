// The publisher without a server: what open_device reports for each kind of
// address and failed step, local files that players open, the counters, and
// writes refused while nothing is open.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "live_capture_manager.h"
#include "media_readback.h"
#include "publish_feed.h"
#include "readback_checks.h"
#include "recording_callback.h"
#include "stream_feeder.h"
#include "synthetic_media.h"
#include "temp_dir.h"

using namespace capture_test;

namespace {

constexpr const char* msg_alloc = "output context alloc success for rtmp publisher url:%s";
constexpr const char* msg_avio_ok = "avio_open success!";
constexpr const char* msg_avio_failed = "avio_open failed!";
constexpr const char* msg_video = "video stream setted!";
constexpr const char* msg_audio = "audio stream setted!";
constexpr const char* msg_header = "stream head writed!";

struct publisher_fixture {
  live_capture_manager manager;
  recording_callback host;
  lrk::test::temp_dir dir;

  publisher_fixture() { manager.set_callback(&host); }
  rtmp_publisher& publisher() { return manager.publisher(); }
};

// ---- open_device: results and messages ----

struct open_case {
  std::string name;
  std::string address;  // "{dir}" stands for the test's directory, "{refused}" for a closed port
  media_plan plan;
  int result;
  std::vector<std::string> messages;
};

void PrintTo(const open_case& c, std::ostream* out) { *out << c.name; }

media_plan plan_with(std::function<void(media_plan&)> change) {
  media_plan plan;
  change(plan);
  return plan;
}

class open_device_reports : public testing::TestWithParam<open_case> {};

TEST_P(open_device_reports, its_steps_and_the_or_of_failed_steps) {
  const open_case& c = GetParam();
  publisher_fixture f;
  std::string address = c.address;
  if (auto at = address.find("{dir}"); at != std::string::npos)
    address.replace(at, 5, f.dir.path().string());
  if (auto at = address.find("{refused}"); at != std::string::npos)
    address.replace(at, 9, std::to_string(lrk::test::refused_port()));

  configure(f.publisher(), c.plan);
  EXPECT_EQ(f.publisher().open_device(address.c_str()), c.result);

  std::vector<std::string> seen = f.host.formats(0);
  EXPECT_EQ(seen, c.messages);
  const std::vector<log_line> lines = f.host.lines();
  if (!lines.empty()) {
    EXPECT_EQ(lines.front().text, "output context alloc success for rtmp publisher url:" + address);
  }

  EXPECT_EQ(f.publisher().close(), 0);
  EXPECT_EQ(f.publisher().close(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    addresses_and_steps, open_device_reports,
    testing::Values(
        open_case{"flv_file_both_streams", "{dir}/room.flv", {}, 0,
                  {msg_alloc, msg_avio_ok, msg_video, msg_audio, msg_header}},
        open_case{"mp4_file_video_only", "{dir}/room.mp4",
                  plan_with([](media_plan& p) { p.audio = false; }), 0,
                  {msg_alloc, msg_avio_ok, msg_video, msg_header}},
        open_case{"audio_only", "{dir}/room.flv",
                  plan_with([](media_plan& p) { p.video = false; }), 0,
                  {msg_alloc, msg_avio_ok, msg_audio, msg_header}},
        open_case{"unknown_extension", "{dir}/room.nosuchcontainer", {}, -1, {}},
        open_case{"rtmp_only_after_the_first_character", "xrtmp://127.0.0.1/live/room", {}, -1, {}},
        open_case{"rtmp_server_refuses", "rtmp://127.0.0.1:{refused}/live/room", {}, -2,
                  {msg_alloc, msg_avio_failed}},
        open_case{"directory_missing", "{dir}/missing/room.flv", {}, -2,
                  {msg_alloc, msg_avio_failed}},
        open_case{"container_refuses_the_streams", "{dir}/room.wav", {}, -4,
                  {msg_alloc, msg_avio_ok, msg_video, msg_audio, msg_header}},
        // A failed step is OR-ed in and the steps after it still run.
        open_case{"video_encoder_fails", "{dir}/room.flv",
                  plan_with([](media_plan& p) { p.width = 0; p.height = 0; }), -2,
                  {msg_alloc, msg_avio_ok, msg_header}},
        open_case{"audio_encoder_fails", "{dir}/room.flv",
                  plan_with([](media_plan& p) { p.sample_rate = 0; }), -1,
                  {msg_alloc, msg_avio_ok, msg_video, msg_header}},
        open_case{"both_encoders_and_header_fail", "{dir}/room.wav",
                  plan_with([](media_plan& p) { p.width = 0; p.sample_rate = 0; }), -1,
                  {msg_alloc, msg_avio_ok, msg_header}}),
    [](const testing::TestParamInfo<open_case>& info) { return info.param.name; });

// ---- local files ----

struct file_case {
  std::string extension;
  std::string demuxer;
};

class local_file : public testing::TestWithParam<file_case> {};

TEST_P(local_file, holds_every_frame_upright_with_its_capture_time_and_the_tone) {
  publisher_fixture f;
  const std::string path = f.dir.file("room." + GetParam().extension);
  media_plan plan;
  configure(f.publisher(), plan);
  ASSERT_EQ(f.publisher().open_device(path.c_str()), 0);

  media_feeder feeder(f.publisher(), plan);
  // A capture clock that stands still or steps back now and then.
  feeder.set_time_of([](int frame, std::int64_t planned) {
    return frame % 7 == 3 ? planned - 40 : frame % 5 == 2 ? planned - 33 : planned;
  });
  constexpr int frames = 45;
  for (const write_call& call : feeder.feed(frames)) ASSERT_EQ(call.result, 0);
  EXPECT_EQ(f.publisher().close(), 0);
  EXPECT_TRUE(f.host.statuses().empty());

  const media_readback file = read_media(path);
  expect_streams_as_planned(file, plan);
  EXPECT_EQ(file.format_name, GetParam().demuxer);
  ASSERT_EQ(file.stream_count, 2);

  // Every frame, including those the encoder still held at close, stamped
  // with its capture time or just past the frame before it.
  const auto video = file.of(AVMEDIA_TYPE_VIDEO);
  ASSERT_EQ(video.size(), static_cast<std::size_t>(frames));
  std::vector<std::int64_t> expected;
  for (std::int64_t t : feeder.video_times())
    expected.push_back(expected.empty() || t > expected.back() ? t : expected.back() + 1);
  std::vector<std::int64_t> pts = times_ms(video, true);
  std::sort(pts.begin(), pts.end());
  const std::int64_t shift = pts.front() - expected.front();  // a container may start at 0
  for (std::size_t i = 0; i < pts.size(); ++i) EXPECT_EQ(pts[i] - shift, expected[i]) << i;
  expect_strictly_increasing(times_ms(video, false), "video dts");

  const auto audio = file.of(AVMEDIA_TYPE_AUDIO);
  expect_strictly_increasing(times_ms(audio, false), "audio dts");
  // Whole frames only: all the audio handed over, plus the encoder's priming.
  std::int64_t audio_duration = 0;
  for (const read_packet* p : audio) audio_duration += p->packet->duration;
  EXPECT_NEAR(av_rescale_q(audio_duration, audio.front()->time_base, AVRational{1, plan.sample_rate}),
              feeder.audio_samples(), 2048);

  const auto pictures = decode_pictures(file);
  ASSERT_GT(pictures.size(), 30u);
  expect_upright(*pictures.back());
  EXPECT_NEAR(tone_frequency(decode_sound(file), plan.channels, plan.sample_rate), 1000.0, 10.0);

  // A player of its own opens it too.
  const std::string probe = "ffprobe -v error -count_packets -select_streams v -show_entries "
                            "stream=nb_read_packets -of csv=p=0 '" + path + "'";
  FILE* pipe = popen(probe.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[64] = {};
  const bool read = fgets(line, sizeof line, pipe) != nullptr;
  EXPECT_EQ(pclose(pipe), 0);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::stoi(line), frames);
}

INSTANTIATE_TEST_SUITE_P(containers, local_file,
                         testing::Values(file_case{"flv", "flv"},
                                         file_case{"mp4", "mov,mp4,m4a,3gp,3g2,mj2"}),
                         [](const testing::TestParamInfo<file_case>& info) {
                           return info.param.extension;
                         });

// ---- counters, log lines, refused writes ----

TEST(publisher_counters, count_what_was_written_and_reset_through_access_stats) {
  publisher_fixture f;
  const std::string path = f.dir.file("room.flv");
  media_plan plan;
  configure(f.publisher(), plan);
  ASSERT_EQ(f.publisher().open_device(path.c_str()), 0);
  media_feeder feeder(f.publisher(), plan);
  for (const write_call& call : feeder.feed(40)) ASSERT_EQ(call.result, 0);
  f.publisher().close();

  const media_readback file = read_media(path);
  std::uint64_t video_bytes = 0;
  std::uint64_t audio_bytes = 0;
  for (const read_packet* p : file.of(AVMEDIA_TYPE_VIDEO)) video_bytes += p->packet->size;
  for (const read_packet* p : file.of(AVMEDIA_TYPE_AUDIO)) audio_bytes += p->packet->size;

  capture_stats stats{};
  f.manager.access_stats(&stats);
  EXPECT_EQ(stats.video_frames, 40u);
  EXPECT_EQ(stats.audio_bytes, audio_bytes);
  // The container turns the encoder's start codes into 4-byte length fields:
  // a 3-byte start code grows by one byte.
  EXPECT_GE(video_bytes, stats.video_bytes);
  EXPECT_LE(video_bytes, stats.video_bytes + 2 * 40);
  EXPECT_GT(stats.video_bytes, 40u * 20);

  // One level-3 line per packet written.
  std::size_t video_lines = 0;
  std::size_t audio_lines = 0;
  for (const std::string& format : f.host.formats(3)) {
    video_lines += format == "==========video frame pts:%lld";
    audio_lines += format == "***audio frame pts:%lld";
  }
  EXPECT_EQ(video_lines, 40u);
  EXPECT_EQ(audio_lines, file.of(AVMEDIA_TYPE_AUDIO).size());

  // Written values replace the counters; the byte counters restart at every
  // open, the packet count does not.
  capture_stats reset{0, 0, 7, true};
  f.manager.access_stats(&reset);
  capture_stats after{1, 1, 1, false};
  f.manager.access_stats(&after);
  EXPECT_EQ(after.video_bytes, 0u);
  EXPECT_EQ(after.audio_bytes, 0u);
  EXPECT_EQ(after.video_frames, 7u);
  capture_stats dirty{123, 456, 7, true};
  f.manager.access_stats(&dirty);
  ASSERT_EQ(f.publisher().open_device(f.dir.file("again.flv").c_str()), 0);
  f.manager.access_stats(&after);
  EXPECT_EQ(after.video_bytes, 0u);
  EXPECT_EQ(after.audio_bytes, 0u);
  EXPECT_EQ(after.video_frames, 7u);
  f.publisher().close();
}

TEST(publisher_writes, are_refused_while_nothing_is_open) {
  publisher_fixture f;
  media_plan plan;
  plan.audio = false;
  configure(f.publisher(), plan);
  const auto frame = make_picture(plan.pix_fmt, plan.width, plan.height, 0);
  sample_bytes_ptr bytes(new std::uint8_t[frame.size()]);
  std::copy(frame.begin(), frame.end(), bytes.get());
  int leftover = 5;

  EXPECT_EQ(f.publisher().write_video(bytes, static_cast<int>(frame.size()), 0), -1);
  ASSERT_EQ(f.publisher().open_device(f.dir.file("room.flv").c_str()), 0);
  // No audio stream was set up.
  EXPECT_EQ(f.publisher().write_audio(bytes, 4096, 0, &leftover), -1);
  EXPECT_EQ(leftover, 5);
  EXPECT_EQ(f.publisher().write_video(bytes, static_cast<int>(frame.size()), 0), 0);
  EXPECT_EQ(f.publisher().close(), 0);
  EXPECT_EQ(f.publisher().write_video(bytes, static_cast<int>(frame.size()), 33), -1);
  EXPECT_EQ(f.publisher().close(), 0);
  EXPECT_EQ(f.publisher().audio_frame_size(), 0);
  EXPECT_TRUE(f.host.statuses().empty());
}

}  // namespace
