// Playing real streams published to a loopback nginx by the ffmpeg CLI:
// what the host receives, in what order, and what it looks and sounds like.
#include <cstdio>
#include <cstdlib>

#include "player_fixture.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace lrk::test {
namespace {

// SMPTE bars, top band, left to right: grey, yellow, cyan, green, magenta, red, blue.
const rgb smpte_top_bars[7] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                               {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};

// Checks the bars at a quarter of the height, read through the bottom-up layout.
void expect_smpte_bars(const std::vector<unsigned char>& picture, int width, int height) {
  ASSERT_EQ(picture.size(), static_cast<size_t>(width) * height * 3);
  for (int bar = 0; bar < 7; ++bar) {
    const int x = (2 * bar + 1) * width / 14;
    const rgb got = pixel_at(picture, width, height, x, height / 4);
    EXPECT_TRUE(near(got, smpte_top_bars[bar], 40))
        << "bar " << bar << " at x=" << x << " is " << to_string(got);
  }
  // The bottom band (dark blue at the left) is not the grey bar: the rows
  // really are stored bottom first.
  const rgb bottom_left = pixel_at(picture, width, height, width / 14, height - 2);
  EXPECT_FALSE(near(bottom_left, smpte_top_bars[0], 60)) << to_string(bottom_left);
}

TEST_F(player_fixture, plays_h264_with_aac_upright_bottom_first_with_its_tone) {
  register_host();
  feed("room", streams::bars_with_tone(320, 240, 25));
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 25 && record->samples.size() >= 44100 * 2; }))
      << "pictures " << record->pictures << ", samples " << record->samples.size();

  std::lock_guard<std::mutex> lock(record->mutex);
  EXPECT_EQ(record->video_formats, 1);
  EXPECT_EQ(record->audio_formats, 1);
  EXPECT_EQ(record->events[0], "log is opening rtmp player...");
  EXPECT_EQ(record->events[1], "log is connecting to stream!");
  EXPECT_EQ(record->events[2], "log stream connected!");
  EXPECT_EQ(record->events[3], "log rtmp reciever start!");
  EXPECT_EQ(record->size_mismatches, 0u);
  expect_smpte_bars(record->latest_picture, 320, 240);
  EXPECT_EQ(record->channels, 2);
  EXPECT_EQ(record->sample_rate, 44100);
  EXPECT_NEAR(tone_frequency(record->samples, 2, 44100), 1000.0, 15.0);
  EXPECT_TRUE(record->statuses.empty());
}

TEST_F(player_fixture, formats_come_before_their_first_frames_and_again_on_a_new_playback) {
  register_host();
  feed("room", streams::bars_with_tone());
  const std::string url = server.url("room");
  ASSERT_EQ(player->play(url.c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 5 && record->sound_buffers >= 5; }));
  EXPECT_LT(record->event_index("video_format 320x240x24"), record->event_index("first_video_frame"));
  EXPECT_LT(record->event_index("audio_format 2 44100 16"), record->event_index("first_audio_frame"));
  const int video_stream_found = record->event_index("log video stream find at index:");
  const int audio_stream_found = record->event_index("log audio stream find index:");
  EXPECT_GE(video_stream_found, 0);
  EXPECT_GE(audio_stream_found, 0);

  const player_stats first = stats();
  EXPECT_GT(first.video_bytes, 0u);
  EXPECT_GT(first.audio_bytes, 0u);
  EXPECT_GE(first.video_frames, record->read([&] { return record->pictures; }));

  EXPECT_EQ(player->stop(), 0);
  EXPECT_EQ(player->is_ended(), 0);
  {
    std::lock_guard<std::mutex> lock(record->mutex);
    const std::vector<std::string> tail(record->events.end() - 4, record->events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"log rtmp_player data cache is clean.",
                                              "log rtmp_player is close!", "clean",
                                              "log status_callback is clean."}));
    EXPECT_EQ(record->cleans, 1);
  }
  EXPECT_TRUE(record->has_log("rtmp_player will stop!"));
  EXPECT_FALSE(record->has_log("waiting poll thread join timeout. terminate it!"));
  EXPECT_FALSE(record->has_log("waiting play thread join timeout. terminate it!"));
  EXPECT_LE(record->statuses.size(), 1u) << "at most the read that stop() aborted";
  // After stop the counters still hold the playback's figures.
  EXPECT_GE(stats().video_frames, first.video_frames);

  // A second playback on the same player announces again and counts afresh.
  const uint64_t pictures_before = record->read([&] { return record->pictures; });
  ASSERT_EQ(player->play(nullptr), 0) << "a null address replays the previous one";
  EXPECT_LT(stats().video_frames, first.video_frames) << "the second playback counts from zero";
  ASSERT_TRUE(wait_for([&] { return record->video_formats == 2 && record->audio_formats == 2 &&
                                    record->pictures > pictures_before + 5; }));
  EXPECT_EQ(record->size_mismatches, 0u);
}

struct stream_case {
  const char* name;
  std::vector<std::string> args;
  int width, height;        // 0: no video expected
  int channels, rate;       // 0: no sound expected
};

void PrintTo(const stream_case& c, std::ostream* os) { *os << c.name; }

class player_stream_kinds : public player_fixture, public ::testing::WithParamInterface<stream_case> {};

TEST_P(player_stream_kinds, delivers_what_the_stream_holds) {
  const stream_case& c = GetParam();
  register_host();
  feed("kind", c.args);
  ASSERT_EQ(player->play(server.url("kind").c_str()), 0);
  ASSERT_TRUE(wait_for([&] {
    return (c.width == 0 || record->pictures >= 20) && (c.channels == 0 || record->samples.size() >= size_t(c.rate) * c.channels);
  })) << "pictures " << record->pictures << ", samples " << record->samples.size();
  // Let a little more arrive: a stream without video or sound must stay so.
  std::this_thread::sleep_for(500ms);

  std::lock_guard<std::mutex> lock(record->mutex);
  EXPECT_EQ(record->size_mismatches, 0u);
  if (c.width) {
    EXPECT_EQ(record->video_formats, 1);
    EXPECT_EQ(record->width, c.width);
    EXPECT_EQ(record->height, c.height);
    expect_smpte_bars(record->latest_picture, c.width, c.height);
  } else {
    EXPECT_EQ(record->video_formats, 0);
    EXPECT_EQ(record->pictures, 0u);
  }
  if (c.channels) {
    EXPECT_EQ(record->audio_formats, 1);
    EXPECT_EQ(record->channels, c.channels);
    EXPECT_EQ(record->sample_rate, c.rate);
    EXPECT_NEAR(tone_frequency(record->samples, c.channels, c.rate), 1000.0, 15.0);
  } else {
    EXPECT_EQ(record->audio_formats, 0);
    EXPECT_EQ(record->sound_buffers, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    streams, player_stream_kinds,
    ::testing::Values(stream_case{"h264_with_mp3", streams::bars_with_mp3_tone(), 320, 240, 2, 44100},
                      stream_case{"video_only_paced_by_its_clock", streams::bars_only(), 320, 240, 0, 0},
                      stream_case{"h264_422", streams::bars_only(320, 240, 25, "yuv422p"), 320, 240, 0, 0},
                      stream_case{"h264_444_odd_size", streams::bars_only(321, 241, 25, "yuv444p"), 321, 241, 0, 0},
                      stream_case{"audio_only_mono", streams::tone_only(44100, 1), 0, 0, 1, 44100},
                      stream_case{"audio_only_22050", streams::tone_only(22050, 2), 0, 0, 2, 22050}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(player_fixture, non_h264_video_is_reported_and_skipped_while_its_sound_plays) {
  register_host();
  feed("flv1", streams::bars_flv1_with_tone());
  ASSERT_EQ(player->play(server.url("flv1").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->samples.size() >= 44100 * 2; }));
  const std::string message = "video stream is not h264 stream, codec = " + std::to_string(AV_CODEC_ID_FLV1);
  EXPECT_GT(record->count_log(message), 10) << "repeated for every packet read";
  EXPECT_EQ(record->read([&] { return record->pictures; }), 0u);
  EXPECT_EQ(record->read([&] { return record->video_formats; }), 0);
  EXPECT_EQ(stats().video_bytes, 0u) << "packets of a stream without a stream object count nowhere";
  EXPECT_NEAR(record->read([&] { return tone_frequency(record->samples, 2, 44100); }), 1000.0, 15.0);
}

TEST_F(player_fixture, a_change_of_picture_size_is_announced_before_its_first_picture) {
  // Two raw H.264 segments of different sizes, played back to back.
  const std::string joined = dir.file("joined.h264");
  for (const char* size : {"320x240", "480x360"}) {
    const std::string part = dir.file(std::string(size) + ".h264");
    const std::string make = "ffmpeg -v error -nostdin -f lavfi -i smptebars=size=" + std::string(size) +
                             ":rate=25 -t 3 -c:v libx264 -preset veryfast -g 25 -bf 0 -pix_fmt yuv420p -f h264 -y " + part +
                             " && cat " + part + " >> " + joined;
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
  }
  register_host();
  feed("resize", {"-re", "-f", "h264", "-framerate", "25", "-i", joined, "-c", "copy"});
  ASSERT_EQ(player->play(server.url("resize").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->width == 480 && record->pictures >= 10; }, 20s));
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 60; }, 10s));

  EXPECT_LT(record->event_index("video_format 320x240"), record->event_index("video_format 480x360"));
  std::lock_guard<std::mutex> lock(record->mutex);
  EXPECT_EQ(record->video_formats, 2);
  EXPECT_EQ(record->size_mismatches, 0u) << "every picture matches the format announced before it";
  expect_smpte_bars(record->latest_picture, 480, 360);
}

TEST_F(player_fixture, muted_playback_delivers_no_sound_and_pictures_keep_their_pace) {
  register_host();
  EXPECT_TRUE(player->set_audio_muted(true));
  feed("room", streams::bars_with_tone());
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 10; }));
  const uint64_t at_start = record->read([&] { return record->pictures; });
  std::this_thread::sleep_for(2s);
  const uint64_t in_two_seconds = record->read([&] { return record->pictures; }) - at_start;
  EXPECT_EQ(record->read([&] { return record->sound_buffers; }), 0u);
  // 25 pictures a second by their own clock (allowing for catching up on
  // the backlog and for a loaded machine).
  EXPECT_GE(in_two_seconds, 35u);
  EXPECT_LE(in_two_seconds, 101u);
}

TEST_F(player_fixture, a_host_that_never_acknowledges_sound_gets_ten_buffers_and_pictures_stop) {
  host_options options;
  options.acknowledge_sound = false;
  register_host(options);
  feed("room", streams::bars_with_tone());
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->sound_buffers >= 10; }));
  std::this_thread::sleep_for(2s);
  const uint64_t pictures = record->read([&] { return record->pictures; });
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(record->read([&] { return record->sound_buffers; }), 10u);
  EXPECT_EQ(record->read([&] { return record->pictures; }), pictures) << "no picture runs ahead of the sound";
  EXPECT_GT(stats().video_frames, pictures + 30) << "decoding goes on into the cache";
}

TEST_F(player_fixture, plays_silently_without_a_callback) {
  feed("room", streams::bars_with_tone());
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  std::this_thread::sleep_for(3s);
  EXPECT_GT(stats().video_frames, 10u);
  EXPECT_EQ(player->stop(), 0);
}

}  // namespace
}  // namespace lrk::test
