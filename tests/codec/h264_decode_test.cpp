// h264codec_decode against real H.264 made by the ffmpeg CLI from SMPTE bars:
// decoded colours at known places, bottom row first, timestamps, the
// decoder's delay, mid-stream changes of size and pixel format, and packets
// the decoder refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/h264codec_decode.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "media_source.h"
#include "temp_dir.h"

namespace {

using lrk::test::media_source;
using lrk::test::run_ffmpeg;
using lrk::test::temp_dir;

struct bgr {
  int b, g, r;
};

// 75% bars as BGR24 after a BT.601 round trip.
constexpr int hi = 190;
const bgr top_bars[7] = {{hi, hi, hi}, {0, hi, hi}, {hi, hi, 0}, {0, hi, 0},
                         {hi, 0, hi},  {0, 0, hi},  {hi, 0, 0}};
const char* const top_bar_names[7] = {"grey", "yellow", "cyan", "green", "magenta", "red", "blue"};
// The bottom band starts with -I (dark blue) and then 100% white.
const bgr minus_i = {103, 61, 0};
const bgr white = {255, 255, 255};

// Mean colour of the 3x3 block centred on (x, buffer_row), in buffer order.
bgr buffer_pixel(const AVFrame& f, int x, int buffer_row) {
  int sum[3] = {};
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      const int row = std::clamp(buffer_row + dy, 0, f.height - 1);
      const int col = std::clamp(x + dx, 0, f.width - 1);
      const uint8_t* p = f.data[0] + static_cast<ptrdiff_t>(row) * f.linesize[0] + col * 3;
      for (int c = 0; c < 3; ++c) sum[c] += p[c];
    }
  return {sum[0] / 9, sum[1] / 9, sum[2] / 9};
}

void expect_colour(const bgr& got, const bgr& want, const std::string& where) {
  constexpr int tolerance = 24;
  EXPECT_NEAR(got.b, want.b, tolerance) << where;
  EXPECT_NEAR(got.g, want.g, tolerance) << where;
  EXPECT_NEAR(got.r, want.r, tolerance) << where;
}

// Checks one decoded SMPTE bars picture: BGR24 layout and colours. The top
// bars are read from the end of the buffer and the bottom band from its first
// rows, so a picture stored top row first fails both.
void expect_bars(const AVFrame& f, int width, int height) {
  ASSERT_NE(f.data[0], nullptr);
  EXPECT_EQ(f.format, AV_PIX_FMT_BGR24);
  ASSERT_EQ(f.width, width);
  ASSERT_EQ(f.height, height);
  ASSERT_EQ(f.linesize[0], width * 3);
  const std::string size = std::to_string(width) + "x" + std::to_string(height);

  const int top_bars_row = height - 1 - height / 3;  // picture row h/3
  for (int i = 0; i < 7; ++i)
    expect_colour(buffer_pixel(f, (2 * i + 1) * width / 14, top_bars_row), top_bars[i],
                  size + " top bar " + top_bar_names[i]);
  expect_colour(buffer_pixel(f, 5 * width / 56, 1), minus_i, size + " first buffer rows, -I");
  expect_colour(buffer_pixel(f, 15 * width / 56, 1), white, size + " first buffer rows, white");
}

std::string bars_source(int width, int height) {
  return "smptebars=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25";
}

struct picture_case {
  const char* pix_fmt;
  int width;
  int height;
};

void PrintTo(const picture_case& c, std::ostream* os) {
  *os << c.pix_fmt << ' ' << c.width << 'x' << c.height;
}

class h264_decode_content : public ::testing::TestWithParam<picture_case> {};

// An FLV stream with B-frames, as a live room sends it: the decoder holds
// pictures back at first, then yields one bottom-up BGR24 picture a packet
// with its presentation timestamp.
TEST_P(h264_decode_content, yields_bottom_up_bgr24_bars_in_presentation_order) {
  const picture_case c = GetParam();
  constexpr int frames = 10;
  temp_dir dir;
  const std::string path = dir.file("bars.flv");
  run_ffmpeg({"-f", "lavfi", "-i", bars_source(c.width, c.height), "-frames:v",
              std::to_string(frames), "-c:v", "libx264", "-preset", "veryfast", "-crf", "12",
              "-bf", "2", "-pix_fmt", c.pix_fmt, path});

  media_source source(path, AVMEDIA_TYPE_VIDEO);
  ASSERT_EQ(source.context()->pix_fmt, av_get_pix_fmt(c.pix_fmt));
  h264codec_decode decoder(source.codec(), source.context());
  const auto packets = source.read_all();
  ASSERT_EQ(packets.size(), static_cast<size_t>(frames));

  int64_t first_packet_pts = INT64_MAX;
  for (const auto& p : packets) first_packet_pts = std::min(first_packet_pts, p->pts);

  int waiting = 0;
  std::vector<int64_t> pts;
  for (const auto& packet : packets) {
    lrk::av_frame_ptr frame = decoder.decode(*packet);
    ASSERT_NE(frame, nullptr) << "packet " << pts.size() + waiting;
    if (!frame->data[0]) {
      EXPECT_TRUE(pts.empty()) << "a packet without a picture after pictures began";
      ++waiting;
      continue;
    }
    SCOPED_TRACE("picture " + std::to_string(pts.size()));
    expect_bars(*frame, c.width, c.height);
    pts.push_back(frame->pts);
  }

  EXPECT_GE(waiting, 1) << "B-frames delay the first picture";
  ASSERT_EQ(pts.size() + waiting, packets.size());
  // Presentation order at 25 fps in FLV's millisecond time base.
  EXPECT_EQ(pts.front(), first_packet_pts);
  for (size_t k = 1; k < pts.size(); ++k) EXPECT_EQ(pts[k] - pts[k - 1], 40) << "picture " << k;
}

INSTANTIATE_TEST_SUITE_P(
    formats_and_sizes, h264_decode_content,
    ::testing::Values(picture_case{"yuv420p", 320, 240}, picture_case{"yuv422p", 320, 240},
                      picture_case{"yuv444p", 320, 240}, picture_case{"yuv422p", 320, 241},
                      picture_case{"yuv444p", 321, 241}),
    [](const ::testing::TestParamInfo<picture_case>& info) {
      return std::string(info.param.pix_fmt) + "_" + std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

// Raw Annex-B segments joined into one stream and decoded by one decoder: the
// size changes, then the pixel format. Every picture must have its own
// segment's size and correct bars.
TEST(h264_decode, follows_size_and_pixel_format_changes_mid_stream) {
  const picture_case segments[] = {{"yuv420p", 320, 240}, {"yuv420p", 176, 144},
                                   {"yuv444p", 176, 144}, {"yuv420p", 320, 240}};
  constexpr int frames_each = 5;
  temp_dir dir;
  const std::string joined = dir.file("joined.h264");
  {
    std::ofstream out(joined, std::ios::binary);
    for (size_t i = 0; i < std::size(segments); ++i) {
      const auto& s = segments[i];
      const std::string part = dir.file("part" + std::to_string(i) + ".h264");
      // B-frames: the last pictures of a segment leave the decoder after the
      // next segment's parameter sets have changed the codec context.
      run_ffmpeg({"-f", "lavfi", "-i", bars_source(s.width, s.height), "-frames:v",
                  std::to_string(frames_each), "-c:v", "libx264", "-preset", "veryfast", "-crf",
                  "12", "-bf", "2", "-pix_fmt", s.pix_fmt, "-f", "h264", part});
      std::ifstream in(part, std::ios::binary);
      out << in.rdbuf();
    }
  }

  media_source source(joined, AVMEDIA_TYPE_VIDEO);
  h264codec_decode decoder(source.codec(), source.context());
  std::vector<std::pair<int, int>> sizes;
  for (const auto& packet : source.read_all()) {
    lrk::av_frame_ptr frame = decoder.decode(*packet);
    ASSERT_NE(frame, nullptr);
    if (!frame->data[0]) continue;
    const auto& s = segments[std::min(sizes.size() / frames_each, std::size(segments) - 1)];
    SCOPED_TRACE("picture " + std::to_string(sizes.size()) + " of segment " + s.pix_fmt);
    expect_bars(*frame, s.width, s.height);
    sizes.emplace_back(frame->width, frame->height);
  }

  std::vector<std::pair<int, int>> expected;
  for (const auto& s : segments) expected.insert(expected.end(), frames_each, {s.width, s.height});
  // Without a flush the decoder keeps its last two pictures.
  ASSERT_GE(sizes.size() + 2, expected.size());
  expected.resize(sizes.size());
  EXPECT_EQ(sizes, expected);
}

// Packets the decoder cannot use give null, and leave it able to decode the
// stream that follows.
TEST(h264_decode, refuses_empty_and_garbage_packets) {
  temp_dir dir;
  const std::string path = dir.file("bars.h264");
  run_ffmpeg({"-f", "lavfi", "-i", bars_source(160, 120), "-frames:v", "3", "-c:v", "libx264",
              "-tune", "zerolatency", "-f", "h264", path});
  media_source source(path, AVMEDIA_TYPE_VIDEO);
  h264codec_decode decoder(source.codec(), source.context());

  AVPacket no_data{};
  EXPECT_EQ(decoder.decode(no_data), nullptr) << "packet without data";
  EXPECT_EQ(decoder.decode(*lrk::test::packet_of({})), nullptr) << "packet of size 0";
  // A coded slice that refers to a parameter set the decoder never saw.
  std::vector<uint8_t> garbage = {0, 0, 0, 1, 0x65};
  for (int i = 0; i < 200; ++i) garbage.push_back(static_cast<uint8_t>(i * 37 + 11));
  EXPECT_EQ(decoder.decode(*lrk::test::packet_of(garbage)), nullptr) << "undecodable packet";

  int pictures = 0;
  for (const auto& packet : source.read_all()) {
    lrk::av_frame_ptr frame = decoder.decode(*packet);
    ASSERT_NE(frame, nullptr);
    if (frame->data[0]) {
      expect_bars(*frame, 160, 120);
      ++pictures;
    }
  }
  EXPECT_EQ(pictures, 3);
}

}  // namespace

namespace {

// A decoder that still holds a picture refuses the next packet with
// EAGAIN. Here two packets reach it behind the wrapper's back, the second
// waiting inside while the first one's picture is untaken; decode() must
// drain it, send its own packet again and hand out every picture.
TEST(h264_decode, a_decoder_holding_output_is_drained_and_loses_no_picture) {
  temp_dir dir;
  const std::string path = dir.file("bars.flv");
  run_ffmpeg({"-f", "lavfi", "-i", bars_source(160, 120), "-frames:v", "12", "-c:v", "libx264",
              "-tune", "zerolatency", "-g", "12", path});
  media_source source(path, AVMEDIA_TYPE_VIDEO);
  h264codec_decode decoder(source.codec(), source.context());
  const auto packets = source.read_all();
  ASSERT_EQ(packets.size(), 12u);

  ASSERT_EQ(avcodec_send_packet(source.context(), packets[0].get()), 0);
  ASSERT_EQ(avcodec_send_packet(source.context(), packets[1].get()), 0);
  ASSERT_EQ(avcodec_send_packet(source.context(), packets[2].get()), AVERROR(EAGAIN))
      << "the decoder is full: the situation decode() must handle";

  std::vector<int64_t> pts;
  for (size_t i = 2; i < packets.size(); ++i) {
    lrk::av_frame_ptr frame = decoder.decode(*packets[i]);
    ASSERT_NE(frame, nullptr) << "packet " << i;
    for (; frame && frame->data[0]; frame = decoder.take_picture()) {
      expect_bars(*frame, 160, 120);
      pts.push_back(frame->pts);
    }
  }
  ASSERT_EQ(pts.size(), packets.size()) << "a picture was lost";
  for (size_t k = 0; k < pts.size(); ++k) EXPECT_EQ(pts[k], packets[k]->pts) << "picture " << k;
}

}  // namespace
