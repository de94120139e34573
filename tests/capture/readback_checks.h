// Checks the capture tests make on what they read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media_readback.h"
#include "publish_feed.h"

namespace capture_test {

// The packets' times (pts or dts) in milliseconds.
std::vector<std::int64_t> times_ms(const std::vector<const read_packet*>& packets, bool pts);
void expect_strictly_increasing(const std::vector<std::int64_t>& times, const std::string& what);

// A decoded picture (BGR24, bottom row first) shows the test picture
// upright: each quadrant's colour within `tolerance` on every channel.
void expect_upright(const AVFrame& picture, int tolerance = 30);

// The streams carry H.264 of the plan's size and AAC of its sound format.
void expect_streams_as_planned(const media_readback& media, const media_plan& plan);

}  // namespace capture_test
