// The muxer-side guard that keeps a stream's packet times strictly increasing.
#include <gtest/gtest.h>

#include "packet_clock.h"

namespace {

struct times {
  std::int64_t pts, dts;
};

std::vector<times> stamp_all(const std::vector<times>& in) {
  packet_clock clock;
  std::vector<times> out;
  for (const times& t : in) {
    AVPacket packet{};
    packet.pts = t.pts;
    packet.dts = t.dts;
    clock.stamp(packet);
    out.push_back({packet.pts, packet.dts});
  }
  return out;
}

TEST(packet_clock, leaves_increasing_times_alone_and_shifts_what_would_go_back) {
  struct row {
    const char* what;
    std::vector<times> in, out;
  };
  const row rows[] = {
      {"increasing", {{0, -66}, {100, -33}, {33, 0}}, {{0, -66}, {100, -33}, {33, 0}}},
      // A new encoder whose first dts lies before the last one written: it and
      // everything after it move just past, keeping their pts - dts.
      {"restart", {{100, 90}, {133, 100}, {120, 60}, {153, 93}},
       {{100, 90}, {133, 100}, {161, 101}, {194, 134}}},
      {"standing_still", {{10, 10}, {10, 10}, {11, 11}}, {{10, 10}, {11, 11}, {12, 12}}},
  };
  for (const row& r : rows) {
    const std::vector<times> out = stamp_all(r.in);
    ASSERT_EQ(out.size(), r.out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].pts, r.out[i].pts) << r.what << " " << i;
      EXPECT_EQ(out[i].dts, r.out[i].dts) << r.what << " " << i;
    }
  }
}

}  // namespace
