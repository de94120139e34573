// flip_vertically over a table of pixel formats and sizes: each plane's
// rows, taken from the sizes av_image_alloc gives it, are reversed in place
// of being copied, and no row ever points outside its plane.
#include <gtest/gtest.h>

#include <string>

#include "codec/h264codec_base.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

namespace {

struct image {
  uint8_t* data[4] = {};
  int linesize[4] = {};
  image(int width, int height, AVPixelFormat format) {
    if (av_image_alloc(data, linesize, width, height, format, 32) < 0) data[0] = nullptr;
  }
  ~image() { av_freep(&data[0]); }
  image(const image&) = delete;
  image& operator=(const image&) = delete;
};

struct flip_case {
  AVPixelFormat format;
  int width;
  int height;
};

std::string name_of(const flip_case& c) {
  return std::string(av_get_pix_fmt_name(c.format)) + "_" + std::to_string(c.width) + "x" +
         std::to_string(c.height);
}

void PrintTo(const flip_case& c, std::ostream* os) { *os << name_of(c); }

class flip_planes : public ::testing::TestWithParam<flip_case> {};

TEST_P(flip_planes, reverses_every_plane_within_its_own_rows) {
  const flip_case c = GetParam();
  image img(c.width, c.height, c.format);
  ASSERT_NE(img.data[0], nullptr);
  ptrdiff_t strides[4];
  for (int p = 0; p < 4; ++p) strides[p] = img.linesize[p];
  size_t plane_bytes[4] = {};
  ASSERT_GE(av_image_fill_plane_sizes(plane_bytes, c.format, c.height, strides), 0);

  const plane_view view = flip_vertically(img.data, img.linesize, c.format, c.height);
  ASSERT_NE(view.data[0], nullptr) << "format left unflipped";

  const int planes = av_pix_fmt_count_planes(c.format);
  for (int p = 0; p < planes; ++p) {
    SCOPED_TRACE("plane " + std::to_string(p));
    const int stride = img.linesize[p];
    const int rows = static_cast<int>(plane_bytes[p] / stride);
    const int row_bytes = av_image_get_linesize(c.format, c.width, p);
    const uint8_t* const begin = img.data[p];
    const uint8_t* const end = begin + plane_bytes[p];

    EXPECT_EQ(view.linesize[p], -stride);
    // Row 0 of the view is the plane's last row; its last row is the first.
    EXPECT_EQ(view.data[p], begin + static_cast<ptrdiff_t>(rows - 1) * stride);
    const uint8_t* last = view.data[p] + static_cast<ptrdiff_t>(rows - 1) * view.linesize[p];
    EXPECT_EQ(last, begin);
    for (const uint8_t* row : {static_cast<const uint8_t*>(view.data[p]), last}) {
      EXPECT_GE(row, begin);
      EXPECT_LE(row + row_bytes, end);
    }
  }
  for (int p = planes; p < 4; ++p) EXPECT_EQ(view.data[p], nullptr) << "plane " << p;
}

std::vector<flip_case> flip_cases() {
  const AVPixelFormat formats[] = {
      AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,     AV_PIX_FMT_YUV410P,
      AV_PIX_FMT_YUV440P, AV_PIX_FMT_YUVA420P, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_NV12,
      AV_PIX_FMT_GBRP,    AV_PIX_FMT_GRAY8,   AV_PIX_FMT_BGR24,       AV_PIX_FMT_RGBA,
      AV_PIX_FMT_YUYV422};
  const std::pair<int, int> sizes[] = {{2, 1}, {320, 240}, {321, 241}};
  std::vector<flip_case> cases;
  for (AVPixelFormat f : formats)
    for (auto [w, h] : sizes) cases.push_back({f, w, h});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(formats_and_sizes, flip_planes, ::testing::ValuesIn(flip_cases()),
                         [](const ::testing::TestParamInfo<flip_case>& info) {
                           return name_of(info.param);
                         });

// Formats whose rows cannot be re-pointed plane by plane, and heights that
// hold no rows, give an empty view.
TEST(flip_vertically, gives_an_empty_view_when_it_cannot_flip) {
  const flip_case cases[] = {{AV_PIX_FMT_PAL8, 16, 16},
                             {AV_PIX_FMT_MONOWHITE, 16, 16},
                             {AV_PIX_FMT_MONOBLACK, 16, 16},
                             {AV_PIX_FMT_YUV420P, 16, 0}};
  for (const auto& c : cases) {
    image img(c.width, std::max(c.height, 1), c.format);
    ASSERT_NE(img.data[0], nullptr) << name_of(c);
    const plane_view view = flip_vertically(img.data, img.linesize, c.format, c.height);
    for (int p = 0; p < 4; ++p) EXPECT_EQ(view.data[p], nullptr) << name_of(c) << " plane " << p;
  }
}

}  // namespace
