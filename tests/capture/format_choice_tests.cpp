// The camera's and the microphone's format rules as tables of capability
// lists: closest size, aspect among equal widths, exact sound match, and the
// numbers the devices derive (frame rates, intervals, bit rates).
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

#include "format_choice.h"

using namespace capture_platform;
using namespace format_choice;

namespace {

constexpr std::int64_t at_30 = 333333;

media_type yuy2(int w, int h) { return make_video_type(media_subtype::yuy2, w, h, at_30); }
media_type rgb24(int w, int h) { return make_video_type(media_subtype::rgb24, w, h, at_30); }
media_type mjpg(int w, int h) { return make_video_type(media_subtype::mjpg, w, h, at_30); }
media_type info2(int w, int h) {
  media_type t = yuy2(w, h);
  t.format = format_type::video_info2;
  return t;
}
media_type short_block(int w, int h) {
  media_type t = yuy2(w, h);
  t.format_size = 87;
  return t;
}

struct video_case {
  const char* name;
  std::vector<media_type> formats;
  int width, height;
  std::optional<std::size_t> expected;
};

class video_choice : public ::testing::TestWithParam<video_case> {};

TEST_P(video_choice, picks_the_closest_acceptable_format) {
  const video_case& c = GetParam();
  EXPECT_EQ(choose_video_format(c.formats, c.width, c.height), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    formats, video_choice,
    ::testing::Values(
        video_case{"vga_listed_small_first", {yuy2(320, 240), yuy2(640, 480), yuy2(1280, 720)}, 640, 480, 1},
        video_case{"vga_listed_large_first", {yuy2(1280, 720), yuy2(320, 240), yuy2(640, 480)}, 640, 480, 2},
        video_case{"vga_listed_middle_first", {yuy2(640, 480), yuy2(1280, 720), yuy2(320, 240)}, 640, 480, 0},
        video_case{"aspect_wins_among_equal_widths", {yuy2(640, 480), yuy2(640, 360)}, 640, 360, 1},
        video_case{"aspect_wins_listed_reversed", {yuy2(640, 360), yuy2(640, 480)}, 640, 360, 0},
        video_case{"same_size_keeps_the_first_rgb", {rgb24(640, 480), yuy2(640, 480)}, 640, 480, 0},
        video_case{"same_size_keeps_the_first_yuy2", {yuy2(640, 480), rgb24(640, 480)}, 640, 480, 0},
        video_case{"a_wider_one_within_1pct_replaces_by_aspect", {yuy2(640, 480), yuy2(645, 363)}, 640, 360, 1},
        video_case{"beyond_1pct_aspect_does_not_count", {yuy2(640, 480), yuy2(650, 366)}, 640, 360, 0},
        video_case{"compressed_and_info2_never_chosen", {mjpg(640, 480), info2(640, 480), yuy2(320, 240)}, 640, 480, 2},
        video_case{"a_short_block_is_not_a_format", {short_block(640, 480), yuy2(1280, 720)}, 640, 480, 1},
        video_case{"only_compressed_gives_none", {mjpg(640, 480), mjpg(1280, 720)}, 640, 480, std::nullopt},
        video_case{"empty_list_gives_none", {}, 640, 480, std::nullopt},
        video_case{"nearest_width_when_none_matches", {yuy2(320, 240), yuy2(1280, 720)}, 800, 600, 0},
        video_case{"a_zero_height_request_does_not_crash", {yuy2(320, 240), yuy2(640, 480)}, 640, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(video_numbers, frame_rate_of_an_interval_truncates) {
  struct {
    std::int64_t interval;
    int fps;
  } rows[] = {{0, 5}, {333333, 30}, {333334, 29}, {666666, 15}, {500000, 20}, {400000, 25}};
  for (const auto& r : rows) EXPECT_EQ(fps_of_interval(r.interval), r.fps) << r.interval;
}

TEST(video_numbers, interval_of_a_frame_rate_truncates) {
  struct {
    int fps;
    std::int64_t interval;
  } rows[] = {{15, 666666}, {20, 500000}, {25, 400000}, {30, 333333}};
  for (const auto& r : rows) EXPECT_EQ(interval_of_fps(r.fps), r.interval) << r.fps;
}

TEST(video_numbers, bit_rate_is_pixels_times_quality_and_saturates) {
  EXPECT_EQ(video_bit_rate(320, 240, 0.8f), 61440);
  EXPECT_EQ(video_bit_rate(640, 480, 0.8f), 245760);
  EXPECT_EQ(video_bit_rate(640, 480, 0.25f), 76800);
  EXPECT_EQ(video_bit_rate(7680, 4320, 10.0f), 331776000);
  EXPECT_EQ(video_bit_rate(60000, 60000, 10.0f), std::numeric_limits<int>::max());
  EXPECT_EQ(video_bit_rate(640, 480, std::numeric_limits<float>::quiet_NaN()), 0);
}

struct audio_case {
  const char* name;
  std::vector<media_type> formats;
  int channels, rate, bits;
  std::optional<std::size_t> expected;
};

class audio_choice : public ::testing::TestWithParam<audio_case> {};

TEST_P(audio_choice, takes_only_an_exact_match) {
  const audio_case& c = GetParam();
  EXPECT_EQ(choose_audio_format(c.formats, c.channels, c.rate, c.bits), c.expected);
}

media_type pcm(int ch, int rate, int bits) { return make_pcm_type(ch, rate, bits); }
media_type not_pcm(int ch, int rate, int bits) {
  media_type t = pcm(ch, rate, bits);
  t.subtype = media_subtype::other;
  return t;
}
media_type short_wave(int ch, int rate, int bits) {
  media_type t = pcm(ch, rate, bits);
  t.format_size = 17;
  return t;
}

INSTANTIATE_TEST_SUITE_P(
    formats, audio_choice,
    ::testing::Values(
        audio_case{"exact_among_three", {pcm(1, 44100, 16), pcm(2, 44100, 16), pcm(2, 48000, 16)}, 2, 44100, 16, 1},
        audio_case{"exact_among_three_reordered", {pcm(2, 48000, 16), pcm(1, 44100, 16), pcm(2, 44100, 16)}, 2, 44100, 16, 2},
        audio_case{"no_nearest_fallback", {pcm(2, 48000, 16), pcm(1, 44100, 16)}, 2, 44100, 16, std::nullopt},
        audio_case{"duplicates_take_the_first", {pcm(2, 44100, 16), pcm(2, 44100, 16)}, 2, 44100, 16, 0},
        audio_case{"eight_bit", {pcm(2, 44100, 16), pcm(2, 44100, 8)}, 2, 44100, 8, 1},
        audio_case{"non_pcm_and_short_blocks_never", {not_pcm(2, 44100, 16), short_wave(2, 44100, 16)}, 2, 44100, 16, std::nullopt},
        audio_case{"video_is_not_sound", {yuy2(320, 240)}, 0, 0, 0, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
