// How a playback fails and ends: refused and silent servers, a stream that
// stalls or vanishes, stop() during a blocking read, a host that blocks.
#include <algorithm>
#include <cerrno>

#include "player_fixture.h"

extern "C" {
#include <libavutil/error.h>
}

namespace lrk::test {
namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point t) {
  return std::chrono::duration<double>(clock_type::now() - t).count();
}

TEST_F(player_fixture, refused_connection_fails_with_its_messages_until_stopped) {
  register_host();
  const std::string url = "rtmp://127.0.0.1:" + std::to_string(refused_port()) + "/live/none";
  ASSERT_EQ(player->play(url.c_str()), -1);
  {
    std::lock_guard<std::mutex> lock(record->mutex);
    ASSERT_EQ(record->log_formats.size(), 3u);
    EXPECT_EQ(record->log_formats[0], "is opening rtmp player...");
    EXPECT_EQ(record->log_formats[1], "is connecting to stream!");
    EXPECT_EQ(record->log_formats[2], "connect to stream failed!, ret = %d");
    EXPECT_LT(record->log_args[2], 0);
  }
  EXPECT_EQ(player->is_ended(), 1);
  EXPECT_EQ(player->play(url.c_str()), -1) << "refused until stop";
  EXPECT_EQ(record->logs.size(), 3u) << "a refused play changes nothing";

  EXPECT_EQ(player->stop(), 0);
  {
    std::lock_guard<std::mutex> lock(record->mutex);
    const std::vector<std::string> tail(record->events.begin() + 3, record->events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"log rtmp_player will stop!", "log rtmp_player data cache is clean.",
                                              "log rtmp_player is close!", "clean", "log status_callback is clean."}));
  }
  EXPECT_EQ(player->is_ended(), 1) << "ended stays set through stop until the next play";
  EXPECT_EQ(player->stop(), 0);
  EXPECT_EQ(record->cleans, 1) << "a second stop does nothing";
}

TEST_F(player_fixture, a_server_that_never_answers_times_out_in_about_five_seconds) {
  register_host();
  silent_listener silent;
  const auto start = clock_type::now();
  const std::string url = "rtmp://127.0.0.1:" + std::to_string(silent.port()) + "/live/none";
  EXPECT_EQ(player->play(url.c_str()), -1);
  const double took = seconds_since(start);
  EXPECT_GE(took, 4.5);
  EXPECT_LE(took, 7.0);
  std::lock_guard<std::mutex> lock(record->mutex);
  ASSERT_EQ(record->log_formats.size(), 3u);
  EXPECT_EQ(record->log_formats[2], "connect to stream timeout!");
  EXPECT_EQ(record->log_args[2], AVERROR(ETIMEDOUT));
}

TEST_F(player_fixture, a_stream_nobody_publishes_times_out_like_a_silent_server) {
  // The server accepts the play request, but FFmpeg's rtmp client waits for
  // the first media message before the connection counts as open.
  register_host();
  const auto start = clock_type::now();
  EXPECT_EQ(player->play(server.url("nobody").c_str()), -1);
  const double took = seconds_since(start);
  EXPECT_GE(took, 4.5);
  EXPECT_LE(took, 7.0);
  EXPECT_TRUE(record->has_log("connect to stream timeout!"));
  EXPECT_EQ(player->is_ended(), 1);
  EXPECT_EQ(player->stop(), 0);
  EXPECT_TRUE(record->has_log("rtmp_player is close!"));
}

TEST_F(player_fixture, a_stalled_stream_is_interrupted_after_six_to_seven_seconds) {
  register_host();
  stream_feeder& feeder = feed("room", streams::bars_with_tone());
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 5; }));

  feeder.process().pause();
  const auto stalled = clock_type::now();
  ASSERT_TRUE(wait_for([&] { return !record->statuses.empty(); }, 15s));
  const double took = seconds_since(stalled);
  EXPECT_GE(took, 5.5);
  EXPECT_LE(took, 8.5);
  EXPECT_TRUE(record->has_log("av_read_cb called, reading frame will interrupt!"));
  EXPECT_LT(record->event_index("log av_read_cb called"), record->event_index("status 2"));
  EXPECT_EQ(record->read([&] { return record->statuses; }), std::vector<int>{2});
  ASSERT_TRUE(wait_for([&] { return player->is_ended() == 1; }, 2s));
  EXPECT_EQ(player->stop(), 0);
  feeder.process().resume();
}

TEST_F(player_fixture, a_vanished_server_ends_the_playback_with_one_status) {
  register_host();
  feed("room", streams::bars_with_tone());
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 5; }));
  server.stop();
  ASSERT_TRUE(wait_for([&] { return !record->statuses.empty(); }, 10s));
  ASSERT_TRUE(wait_for([&] { return player->is_ended() == 1; }, 2s));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(record->read([&] { return record->statuses; }), std::vector<int>{2});
  EXPECT_EQ(player->stop(), 0);
  EXPECT_EQ(player->is_ended(), 1);
}

TEST_F(player_fixture, stop_during_a_blocking_read_aborts_it_quickly) {
  register_host();
  stream_feeder& feeder = feed("room", streams::bars_with_tone());
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 5; }));
  feeder.process().pause();
  std::this_thread::sleep_for(1500ms);  // the poll thread now waits inside a read

  const auto start = clock_type::now();
  EXPECT_EQ(player->stop(), 0);
  EXPECT_LT(seconds_since(start), 1.5);
  EXPECT_EQ(record->read([&] { return record->statuses; }), std::vector<int>{2}) << "the aborted read is reported once";
  EXPECT_EQ(player->is_ended(), 0) << "a stop is not an end of the stream";
  EXPECT_FALSE(record->has_log("av_read_cb called, reading frame will interrupt!"));
  EXPECT_FALSE(record->has_log("waiting poll thread join timeout. terminate it!"));
  feeder.process().resume();
}

TEST_F(player_fixture, a_host_blocking_past_the_join_bound_is_left_behind_safely) {
  host_options options;
  options.block_video_frame = 5s;
  register_host(options);
  feed("room", streams::bars_with_tone());
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->blocking; }));

  const auto start = clock_type::now();
  EXPECT_EQ(player->stop(), 0);
  const double took = seconds_since(start);
  EXPECT_GE(took, 2.9);
  EXPECT_LE(took, 4.0) << "the poll thread is not held up by the blocked host";
  EXPECT_TRUE(record->has_log("waiting play thread join timeout. terminate it!"));
  EXPECT_TRUE(record->has_log("play thread terminate failed!"));
  EXPECT_FALSE(record->has_log("waiting poll thread join timeout. terminate it!"));
  EXPECT_TRUE(record->has_log("status_callback is clean."));

  size_t events_at_stop;
  {
    std::lock_guard<std::mutex> lock(record->mutex);
    events_at_stop = record->events.size();
  }
  // The host frees the player at once, while the play thread is still inside
  // its callback: the callback object must outlive that call.
  free_vidlark(player);
  delete player;
  player = create_vidlark();
  EXPECT_FALSE(record->read([&] { return record->destroyed; })) << "destroyed while still in use";
  ASSERT_TRUE(wait_for([&] { return record->destroyed; }, 5s));

  std::lock_guard<std::mutex> lock(record->mutex);
  EXPECT_EQ(record->calls_after_destruction, 0);
  const std::vector<std::string> after(record->events.begin() + events_at_stop, record->events.end());
  EXPECT_EQ(after, std::vector<std::string>{"unblocked"}) << "nothing reaches the host after stop()";
}

}  // namespace
}  // namespace lrk::test

namespace lrk::test {
namespace {

// The play thread of the first playback is still inside on_audio_frame when
// the second playback starts; when it returns it must not count its sound
// against the new playback's gate, or the new sound (and pictures) stop.
TEST_F(player_fixture, a_worker_left_behind_does_not_close_the_next_playbacks_sound_gate) {
  host_options options;
  options.block_audio_frame = 6s;
  register_host(options);
  feed("room", streams::bars_with_tone());
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->blocking; }));
  EXPECT_EQ(player->stop(), 0);
  EXPECT_TRUE(record->has_log("play thread terminate failed!"));

  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] {
    return std::find(record->events.begin(), record->events.end(), "unblocked") != record->events.end();
  }, 10s));
  std::this_thread::sleep_for(500ms);  // the old thread finishes its pass
  const auto [sound, pictures] =
      record->read([&] { return std::make_pair(record->sound_buffers, record->pictures); });
  std::this_thread::sleep_for(2s);
  EXPECT_GT(record->read([&] { return record->sound_buffers; }), sound + 40) << "sound goes on";
  EXPECT_GT(record->read([&] { return record->pictures; }), pictures + 25) << "and pictures with it";
}

}  // namespace
}  // namespace lrk::test
