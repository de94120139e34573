// The player's interface outside a playback: registration and ownership of
// the callback, counters, acknowledgements, mute, and repeated playbacks.
#include "player_fixture.h"

namespace lrk::test {
namespace {

TEST(player_lifetime, stop_and_free_of_an_idle_player_call_nothing_but_destroy_the_callback) {
  auto first = std::make_shared<host_record>();
  auto second = std::make_shared<host_record>();
  i_live_player* player = create_vidlark();
  ASSERT_NE(player, nullptr);
  auto* first_host = new recording_host(first);
  player->set_callback(first_host);
  player->set_callback(new recording_host(second));

  EXPECT_EQ(player->stop(), 0);
  EXPECT_EQ(player->is_ended(), 0);
  free_vidlark(player);
  delete player;

  EXPECT_TRUE(second->destroyed) << "free_vidlark destroys the registered callback";
  EXPECT_TRUE(second->events.empty());
  EXPECT_FALSE(first->destroyed) << "a replaced callback is not destroyed";
  EXPECT_TRUE(first->events.empty());
  delete first_host;
}

TEST(player_lifetime, free_without_a_callback_only_stops) {
  i_live_player* player = create_vidlark();
  free_vidlark(player);
  delete player;
}

TEST(player_lifetime, acknowledgements_counters_and_mute_work_before_any_playback) {
  i_live_player* player = create_vidlark();
  EXPECT_EQ(player->audio_buffer_done(0), -1);
  EXPECT_EQ(player->audio_buffer_done(0), -2) << "no lower bound";

  player_stats written{11, 22, 33, true};
  player->access_stats(&written);
  player_stats read{0, 0, 0, false};
  player->access_stats(&read);
  EXPECT_EQ(read.video_bytes, 11u);
  EXPECT_EQ(read.audio_bytes, 22u);
  EXPECT_EQ(read.video_frames, 33u);
  EXPECT_FALSE(read.write);

  EXPECT_TRUE(player->set_audio_muted(true));
  EXPECT_FALSE(player->set_audio_muted(false));
  free_vidlark(player);
  delete player;
}

TEST_F(player_fixture, play_without_an_address_fails_with_the_connection_messages) {
  register_host();
  EXPECT_EQ(player->play(nullptr), -1);
  EXPECT_TRUE(record->has_log("is connecting to stream!"));
  ASSERT_EQ(record->log_formats.size(), 3u);
  EXPECT_EQ(record->log_formats[2], "connect to stream failed!, ret = %d");
  EXPECT_EQ(player->is_ended(), 1);
}

TEST_F(player_fixture, play_resets_the_counters_and_a_running_player_refuses_play) {
  register_host();
  feed("room", streams::bars_with_tone());
  player_stats preset{500, 600, 700, true};
  player->access_stats(&preset);
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  EXPECT_LT(stats().video_frames, 700u);
  EXPECT_EQ(player->play(server.url("room").c_str()), -1);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 3; }));

  player_stats reset{0, 0, 0, true};
  player->access_stats(&reset);
  std::this_thread::sleep_for(1s);
  const player_stats since = stats();
  EXPECT_GT(since.video_frames, 10u);
  EXPECT_LT(since.video_frames, 60u) << "counted from the reset, about 25 a second";
  EXPECT_GT(since.audio_bytes, 0u);
}

TEST_F(player_fixture, repeated_playbacks_each_deliver_and_stop_cleanly) {
  register_host();
  feed("room", streams::bars_with_tone());
  for (int round = 1; round <= 3; ++round) {
    const uint64_t pictures = record->read([&] { return record->pictures; });
    ASSERT_EQ(player->play(server.url("room").c_str()), 0) << "round " << round;
    ASSERT_TRUE(wait_for([&] { return record->pictures >= pictures + 3; })) << "round " << round;
    EXPECT_EQ(player->stop(), 0);
    EXPECT_EQ(record->read([&] { return record->cleans; }), round);
    EXPECT_EQ(record->read([&] { return record->video_formats; }), round);
  }
  EXPECT_EQ(record->read([&] { return record->size_mismatches; }), 0u);
}

}  // namespace
}  // namespace lrk::test
