// Playing real streams published to a loopback nginx by the ffmpeg CLI:
// what the host receives, in what order, and what it looks and sounds like.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "player_fixture.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace lrk::test {
namespace {

// Copies an FLV file, zeroing the AudioSpecificConfig of its AAC sequence
// header (audio object type 0, which no decoder takes).
bool break_aac_configuration(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bool broken = false;
  for (size_t at = 13; at + 11 < b.size();) {  // FLV header and the first tag size
    const size_t size = (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
    const size_t data = at + 11;
    if (data + size > b.size()) break;
    if (b[at] == 8 && size >= 4 && (b[data] >> 4) == 10 && b[data + 1] == 0) {
      b[data + 2] = 0;
      b[data + 3] = 0;
      broken = true;
    }
    at = data + size + 4;
  }
  std::ofstream(to, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  return broken;
}

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
  // The poll thread may find its streams before play() logs its last line.
  const auto start = std::find(record->events.begin(), record->events.end(), "log rtmp reciever start!");
  ASSERT_NE(start, record->events.end());
  EXPECT_EQ(std::count(record->events.begin(), record->events.end(), "log rtmp reciever start!"), 1);
  for (auto e = record->events.begin() + 3; e != start; ++e)
    EXPECT_TRUE(e->rfind("log video stream find at index:", 0) == 0 ||
                e->rfind("log audio stream find index:", 0) == 0 || e->rfind("video_format", 0) == 0 ||
                e->rfind("audio_format", 0) == 0)
        << "before the start message: " << *e;
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
  const size_t events_after_stop = record->read([&] { return record->events.size(); });
  EXPECT_EQ(player->stop(), 0);
  EXPECT_EQ(record->read([&] { return record->events.size(); }), events_after_stop)
      << "a second stop logs and calls nothing";
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
  if (c.width && !c.channels) {
    // Without sound, pictures follow their own timestamps: 25 a second.
    const double rate = picture_rate(3s);
    EXPECT_GE(rate, 20.0);
    EXPECT_LE(rate, 30.0);
  }
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
  // 25 pictures a second by their own clock, not one per 20 ms pass.
  const double rate = picture_rate(3s);
  EXPECT_GE(rate, 20.0);
  EXPECT_LE(rate, 30.0);
  EXPECT_EQ(record->read([&] { return record->sound_buffers; }), 0u);

  // Mute stays in force for the next playback.
  EXPECT_EQ(player->stop(), 0);
  ASSERT_EQ(player->play(nullptr), 0);
  const uint64_t pictures = record->read([&] { return record->pictures; });
  ASSERT_TRUE(wait_for([&] { return record->pictures >= pictures + 20; }));
  EXPECT_EQ(record->read([&] { return record->sound_buffers; }), 0u);
}

TEST_F(player_fixture, nothing_is_delivered_before_a_packet_one_second_in_on_every_playback) {
  register_host();
  for (const char* name : {"first", "second"}) {
    SCOPED_TRACE(name);
    // The stream starts as the player connects (which waits for the
    // publisher) and runs at half of real time. Probing reads about 20
    // pictures, a fifth of a second of this 100 fps stream, so the player
    // decodes pictures well before the first packet 1 s in.
    feed(name, {"-readrate", "0.5", "-f", "lavfi", "-i", "smptebars=size=160x120:rate=100", "-readrate",
                "0.5", "-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=44100", "-c:v", "libx264",
                "-preset", "veryfast", "-tune", "zerolatency", "-g", "100", "-pix_fmt", "yuv420p", "-c:a",
                "aac", "-ac", "2"},
         0ms);
    const uint64_t pictures = record->read([&] { return record->pictures; });
    const size_t formats_before = record->read([&] { return record->events.size(); });
    ASSERT_EQ(player->play(server.url(name).c_str()), 0);
    ASSERT_TRUE(wait_for([&] { return record->pictures > pictures; }));
    const auto [decoded, delivered] = record->read([&] {
      std::chrono::steady_clock::time_point format{};
      for (size_t i = formats_before; i < record->events.size(); ++i)
        if (record->events[i].rfind("video_format", 0) == 0) {
          format = record->event_times[i];
          break;
        }
      return std::make_pair(format, record->picture_times[pictures]);
    });
    ASSERT_NE(decoded.time_since_epoch().count(), 0);
    // Decoded at once, delivered only once a packet 1 s in was read; a
    // second playback that kept the first one's last pts would not wait.
    EXPECT_GE(std::chrono::duration<double>(delivered - decoded).count(), 0.5);
    EXPECT_EQ(player->stop(), 0);
  }
}

TEST_F(player_fixture, a_host_that_never_acknowledges_fills_the_picture_cache_to_201) {
  host_options options;
  options.acknowledge_sound = false;
  register_host(options);
  // 50 pictures a second, so that the cached ones can all leave (one per
  // pass) before the stalled read is given up after 7 s.
  stream_feeder& feeder = feed("room", streams::bars_with_tone(160, 120, 50));
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->sound_buffers >= 10; }));
  const auto decoded = [&] { return stats().video_frames; };
  const uint64_t shown = record->read([&] { return record->pictures; });
  for (int i = 0; i < 100 && decoded() < shown + 260; ++i) std::this_thread::sleep_for(100ms);
  ASSERT_GE(decoded(), shown + 260) << "pictures keep being decoded into the cache";
  feeder.process().pause();
  std::this_thread::sleep_for(500ms);  // what was on its way is decoded (and dropped)
  const uint64_t before_mute = record->read([&] { return record->pictures; });
  const uint64_t counted = decoded();

  // Muted, pictures follow their own clock: exactly the cached ones leave.
  player->set_audio_muted(true);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= before_mute + 201; }, 6s))
      << record->read([&] { return record->pictures; }) - before_mute << " pictures were cached";
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(record->read([&] { return record->pictures; }), before_mute + 201);
  EXPECT_GT(counted, before_mute + 201) << "video_frames counts the dropped pictures";
  EXPECT_EQ(decoded(), counted);
  feeder.process().resume();
}

// Resident memory of this process, in bytes.
uint64_t resident_bytes() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  uint64_t kb = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmRSS: %lu kB", &kb) == 1) break;
  std::fclose(f);
  return kb * 1024;
}

TEST_F(player_fixture, cached_pictures_stop_at_a_gibibyte_however_large_they_are) {
  host_options options;
  options.acknowledge_sound = false;  // pictures wait for sound that never comes
  register_host(options);
  // 3840x2160: 201 cached pictures would be 5 GB; the byte bound holds 43.
  feed("huge", {"-re", "-readrate", "3", "-f", "lavfi", "-i", "color=c=0x406080:size=3840x2160:rate=25",
                "-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=44100", "-c:v", "libx264",
                "-preset", "ultrafast", "-tune", "zerolatency", "-g", "25", "-pix_fmt", "yuv420p",
                "-c:a", "aac", "-ac", "2"});
  ASSERT_EQ(player->play(server.url("huge").c_str()), 0);
  for (int i = 0; i < 300 && stats().video_frames < 100; ++i) std::this_thread::sleep_for(100ms);
  ASSERT_GE(stats().video_frames, 100u);
  const uint64_t picture = 3840ull * 2160 * 3;
  EXPECT_LT(resident_bytes(), (1ull << 30) + 25 * picture)
      << "decoded " << stats().video_frames << ", shown " << record->read([&] { return record->pictures; });
  EXPECT_EQ(player->stop(), 0);
}

// An FLV stream whose AAC configuration no decoder accepts: the audio
// decoder never opens, so pictures must not wait for its sound.
TEST_F(player_fixture, an_audio_stream_whose_decoder_never_opens_leaves_pictures_on_their_clock) {
  const std::string made = dir.file("made.flv");
  const std::string broken = dir.file("broken.flv");
  const std::string make = "ffmpeg -v error -nostdin -f lavfi -i smptebars=size=320x240:rate=25 -f lavfi -i "
                           "sine=frequency=1000:sample_rate=44100 -t 30 -c:v libx264 -preset veryfast -g 25 "
                           "-pix_fmt yuv420p -c:a aac -ac 2 -y " + made;
  ASSERT_EQ(std::system(make.c_str()), 0) << make;
  ASSERT_TRUE(break_aac_configuration(made, broken));
  register_host();
  feed("noaudio", {"-re", "-i", broken, "-c", "copy"});
  ASSERT_EQ(player->play(server.url("noaudio").c_str()), 0);
  ASSERT_TRUE(wait_for([&] { return record->pictures >= 10; }));
  const double rate = picture_rate(3s);
  EXPECT_GE(rate, 20.0);
  EXPECT_LE(rate, 30.0);
  EXPECT_TRUE(record->has_log("audio avcodec_open2 failed on stream:1") ||
              record->has_log("audio avcodec_open2 failed on stream:0"));
  EXPECT_EQ(record->read([&] { return record->sound_buffers; }), 0u);
  EXPECT_EQ(record->read([&] { return record->audio_formats; }), 0);
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
