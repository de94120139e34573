// The play thread's decisions as pure logic: the presentation clock, the
// sound gate, muted trimming, the sound lead of pictures and the cache bounds.
#include <gtest/gtest.h>

#include <vector>

#include "delivery_pacer.h"
#include "frame_cache.h"
#include "frame_clock.h"

namespace {

using std::chrono::milliseconds;
using clock_time = frame_clock::time_point;

lrk::av_frame_ptr frame_with_pts(int64_t pts) {
  lrk::av_frame_ptr f = lrk::make_frame();
  f->pts = pts;
  return f;
}

struct recording_sink : delivery_sink {
  std::vector<int64_t> sounds;
  std::vector<int64_t> pictures;
  void deliver_sound(const AVFrame& f) override { sounds.push_back(f.pts); }
  void deliver_picture(const AVFrame& f) override { pictures.push_back(f.pts); }
};

// ---------------------------------------------------------------- frame_clock

struct clock_step {
  int64_t at_ms;    // wall time of the pass, from the first pass
  int64_t pts_ms;   // pts of the picture offered
  bool due;
};

struct clock_case {
  const char* name;
  std::vector<clock_step> steps;
};

void PrintTo(const clock_case& c, std::ostream* os) { *os << c.name; }

class frame_clock_test : public ::testing::TestWithParam<clock_case> {};

TEST_P(frame_clock_test, lets_pictures_out_by_their_timestamps) {
  frame_clock clock;
  const clock_time origin{};
  for (const clock_step& s : GetParam().steps) {
    EXPECT_EQ(clock.due(s.pts_ms, origin + milliseconds(s.at_ms)), s.due)
        << "at " << s.at_ms << " ms, pts " << s.pts_ms;
  }
}

INSTANTIATE_TEST_SUITE_P(
    cases, frame_clock_test,
    ::testing::Values(
        clock_case{"first_picture_is_due_at_once", {{0, 5000, true}}},
        // 25 fps: each picture 40 ms after the last one let through.
        clock_case{"steady_25fps",
                   {{0, 0, true}, {20, 40, false}, {40, 40, true}, {60, 80, false}, {80, 80, true}}},
        // A pass 30 ms late carries the lag: the next picture may leave 30 ms early.
        clock_case{"late_pass_lets_next_out_early",
                   {{0, 0, true}, {70, 40, true}, {75, 80, false}, {80, 80, true}}},
        // Lag is capped at 40 ms however late a pass is.
        clock_case{"lag_capped_at_40ms",
                   {{0, 0, true}, {500, 40, true}, {519, 120, false}, {540, 120, true}}},
        clock_case{"non_increasing_pts_due_at_once",
                   {{0, 1000, true}, {1, 1000, true}, {2, 900, true}}},
        // A picture that is not due changes nothing.
        clock_case{"undue_picture_changes_nothing",
                   {{0, 0, true}, {10, 40, false}, {10, 40, false}, {40, 40, true}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- frame_cache

TEST(frame_cache_test, keeps_at_most_201_pictures_and_401_sound_frames_dropping_the_newest) {
  frame_cache cache;
  int kept_pictures = 0, kept_sounds = 0;
  for (int i = 0; i < 300; ++i) kept_pictures += cache.add_picture(frame_with_pts(i));
  for (int i = 0; i < 500; ++i) kept_sounds += cache.add_sound(frame_with_pts(i));
  EXPECT_EQ(kept_pictures, 201);
  EXPECT_EQ(cache.pictures().size(), 201u);
  EXPECT_EQ(cache.pictures().front()->pts, 0);
  EXPECT_EQ(cache.pictures().back()->pts, 200);
  EXPECT_EQ(kept_sounds, 401);
  EXPECT_EQ(cache.sounds().size(), 401u);
  EXPECT_EQ(cache.sounds().back()->pts, 400);
}

// A frame that claims to hold `bytes` bytes (its buffer's size; the memory
// behind it is a single byte, never touched).
lrk::av_frame_ptr frame_holding(std::size_t bytes, int64_t pts) {
  static uint8_t byte;
  lrk::av_frame_ptr f = frame_with_pts(pts);
  f->buf[0] = av_buffer_create(&byte, bytes, [](void*, uint8_t*) {}, nullptr, AV_BUFFER_FLAG_READONLY);
  return f;
}

TEST(frame_cache_test, stops_at_its_byte_bounds_however_few_frames_it_holds) {
  struct bound_case {
    const char* list;
    std::size_t frame_bytes;
    std::size_t expected;
  };
  constexpr std::size_t mib = std::size_t{1} << 20;
  // 3840x2160 BGR24 pictures: 43 fit in 1 GiB; an 8K claim: 8; 1 MiB sound frames: 64.
  for (const bound_case& c : {bound_case{"pictures", 3840u * 2160 * 3, 43},
                              bound_case{"pictures", 7680u * 4320 * 3, 10},
                              bound_case{"sound", mib, 64}}) {
    SCOPED_TRACE(std::string(c.list) + " of " + std::to_string(c.frame_bytes) + " bytes");
    frame_cache cache;
    const bool pictures = std::string(c.list) == "pictures";
    std::size_t kept = 0;
    for (int i = 0; i < 300; ++i)
      kept += pictures ? cache.add_picture(frame_holding(c.frame_bytes, i))
                       : cache.add_sound(frame_holding(c.frame_bytes, i));
    EXPECT_EQ(kept, c.expected);
    EXPECT_EQ(pictures ? cache.picture_bytes() : cache.sound_bytes(), kept * c.frame_bytes);
    // Taking the oldest out makes room for exactly one more.
    if (pictures) {
      cache.pop_picture();
      EXPECT_TRUE(cache.add_picture(frame_holding(c.frame_bytes, 1000)));
      EXPECT_FALSE(cache.add_picture(frame_holding(c.frame_bytes, 1001)));
      EXPECT_EQ(cache.pictures().back()->pts, 1000);
    }
  }
  // Small frames are bounded by the count as before.
  frame_cache cache;
  int kept = 0;
  for (int i = 0; i < 300; ++i) kept += cache.add_picture(frame_holding(1000, i));
  EXPECT_EQ(kept, 201);
}

// ---------------------------------------------------------------- delivery_pacer

class pacer_test : public ::testing::Test {
 protected:
  void add_sounds(int count, int64_t first_pts, int64_t step = 23) {
    for (int i = 0; i < count; ++i) cache.add_sound(frame_with_pts(first_pts + i * step));
  }
  void add_pictures(std::initializer_list<int64_t> pts) {
    for (int64_t p : pts) cache.add_picture(frame_with_pts(p));
  }
  void pass(pass_conditions c) { pacer.run_pass(cache, c, outstanding, sink); }

  frame_cache cache;
  delivery_pacer pacer;
  recording_sink sink;
  std::atomic<int32_t> outstanding{0};
  const clock_time t0{};
};

TEST_F(pacer_test, sound_stops_at_ten_unacknowledged_buffers_and_resumes_per_ack) {
  add_sounds(30, 0);
  pass({true, false, t0});
  EXPECT_EQ(sink.sounds.size(), 10u);
  EXPECT_EQ(outstanding.load(), 10);

  pass({true, false, t0 + milliseconds(20)});
  EXPECT_EQ(sink.sounds.size(), 10u) << "no acknowledgement, no more sound";

  outstanding -= 3;  // the host played three buffers
  pass({true, false, t0 + milliseconds(40)});
  EXPECT_EQ(sink.sounds.size(), 13u);
  EXPECT_EQ(sink.sounds.back(), 12 * 23) << "sound leaves in cache order";
}

TEST_F(pacer_test, surplus_acknowledgements_let_more_sound_out) {
  add_sounds(30, 0);
  outstanding = -5;
  pass({true, false, t0});
  EXPECT_EQ(sink.sounds.size(), 15u);
}

TEST_F(pacer_test, muted_sound_is_trimmed_to_fifty_oldest_first_and_never_delivered) {
  add_sounds(120, 0);
  pass({true, true, t0});
  EXPECT_TRUE(sink.sounds.empty());
  ASSERT_EQ(cache.sounds().size(), 50u);
  EXPECT_EQ(cache.sounds().front()->pts, 70 * 23) << "the oldest frames go first";

  add_sounds(5, 5000);
  pass({true, true, t0 + milliseconds(20)});
  EXPECT_EQ(cache.sounds().size(), 50u);
  EXPECT_TRUE(sink.sounds.empty());
}

TEST_F(pacer_test, muted_trimming_still_respects_the_outstanding_gate) {
  add_sounds(120, 0);
  outstanding = 10;  // buffers delivered before muting, still unacknowledged
  pass({true, true, t0});
  EXPECT_EQ(cache.sounds().size(), 120u);
}

TEST_F(pacer_test, picture_leaves_once_delivered_sound_is_more_than_50ms_past_it) {
  add_pictures({100});
  cache.add_sound(frame_with_pts(150));
  pass({true, false, t0});
  EXPECT_TRUE(sink.pictures.empty()) << "sound exactly 50 ms past is not enough";

  cache.add_sound(frame_with_pts(151));
  pass({true, false, t0 + milliseconds(20)});
  ASSERT_EQ(sink.pictures.size(), 1u);
  EXPECT_EQ(sink.pictures[0], 100);
}

TEST_F(pacer_test, with_sound_playing_pictures_wait_for_it_not_for_the_clock) {
  add_pictures({0, 40, 80});
  pass({true, false, t0 + milliseconds(1000)});
  EXPECT_TRUE(sink.pictures.empty());
}

TEST_F(pacer_test, host_that_never_acknowledges_stops_pictures_at_the_last_delivered_sound) {
  add_sounds(40, 0, 23);  // ten buffers reach pts 207
  add_pictures({0, 40, 80, 120, 160, 200, 240});
  for (int i = 0; i < 20; ++i) pass({true, false, t0 + milliseconds(20 * i)});
  EXPECT_EQ(sink.sounds.size(), 10u);
  EXPECT_EQ(pacer.last_sound_pts(), 207);
  // Due while pts + 50 < 207: 0, 40, 80, 120 leave, one per pass.
  EXPECT_EQ(sink.pictures, (std::vector<int64_t>{0, 40, 80, 120}));
}

TEST_F(pacer_test, without_sound_pictures_follow_the_clock_one_per_pass) {
  add_pictures({0, 40, 80, 120});
  std::vector<int> delivered_at;
  for (int ms = 0; ms <= 200; ms += 20) {
    const size_t before = sink.pictures.size();
    pass({false, false, t0 + milliseconds(ms)});
    if (sink.pictures.size() > before) delivered_at.push_back(ms);
  }
  EXPECT_EQ(delivered_at, (std::vector<int>{0, 40, 80, 120}));
}

TEST_F(pacer_test, muted_pictures_follow_the_clock) {
  add_sounds(60, 0);
  add_pictures({0, 40, 80});
  pass({true, true, t0});
  pass({true, true, t0 + milliseconds(20)});
  pass({true, true, t0 + milliseconds(40)});
  EXPECT_EQ(sink.pictures, (std::vector<int64_t>{0, 40}));
  EXPECT_TRUE(sink.sounds.empty());
}

TEST_F(pacer_test, at_most_one_picture_per_pass_even_when_many_are_late) {
  add_pictures({0, 1, 2, 3});
  add_sounds(1, 10000);
  pass({true, false, t0});
  EXPECT_EQ(sink.pictures.size(), 1u);
}

TEST_F(pacer_test, sound_without_timestamp_does_not_move_the_sound_clock) {
  cache.add_sound(frame_with_pts(500));
  cache.add_sound(frame_with_pts(AV_NOPTS_VALUE));
  pass({true, false, t0});
  EXPECT_EQ(sink.sounds.size(), 2u);
  EXPECT_EQ(pacer.last_sound_pts(), 500);
}

}  // namespace
