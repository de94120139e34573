#include "readback_checks.h"

#include <gtest/gtest.h>

#include "synthetic_media.h"

namespace capture_test {

std::vector<std::int64_t> times_ms(const std::vector<const read_packet*>& packets, bool pts) {
  std::vector<std::int64_t> times;
  for (const read_packet* p : packets)
    times.push_back(
        av_rescale_q(pts ? p->packet->pts : p->packet->dts, p->time_base, AVRational{1, 1000}));
  return times;
}

void expect_strictly_increasing(const std::vector<std::int64_t>& times, const std::string& what) {
  for (std::size_t i = 1; i < times.size(); ++i)
    ASSERT_GT(times[i], times[i - 1]) << what << " at " << i;
}

void expect_upright(const AVFrame& picture, int tolerance) {
  const int xs[2] = {picture.width / 4, picture.width * 3 / 4};
  const int ys[2] = {picture.height / 4, picture.height * 3 / 4};
  for (int q = 0; q < 4; ++q) {
    const rgb seen = colour_at(picture, xs[q % 2], ys[q / 2]);
    EXPECT_TRUE(close_to(seen, quadrant_colours[q], tolerance))
        << "quadrant " << q << " of the picture at " << picture.pts << ": " << seen.r << ","
        << seen.g << "," << seen.b;
  }
}

void expect_streams_as_planned(const media_readback& media, const media_plan& plan) {
  ASSERT_TRUE(media.opened);
  ASSERT_TRUE(media.video && media.audio);
  EXPECT_EQ(media.video->codec_id, AV_CODEC_ID_H264);
  EXPECT_EQ(media.video->width, plan.width);
  EXPECT_EQ(media.video->height, plan.height);
  EXPECT_EQ(media.audio->codec_id, AV_CODEC_ID_AAC);
  EXPECT_EQ(media.audio->sample_rate, plan.sample_rate);
  EXPECT_EQ(media.audio->ch_layout.nb_channels, plan.channels);
}

}  // namespace capture_test
