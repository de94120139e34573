// The picture, sound and capture conversions over a table of sizes and
// formats, with every buffer that FFmpeg's scaler or resampler writes into,
// and the host's captured frame it reads, ending against a guard page.
// AddressSanitizer cannot see these accesses (FFmpeg is not instrumented);
// the guard page can. Each case runs in a child process, so one fault names
// its case and the table goes on. The content is checked too: every row,
// bottom row first where the host wants it, and every pixel to the last.
//
// LRK_BOUNDS_SUBSET=1 runs a few cases of each table (for valgrind).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/h264codec_decode.h"
#include "codec/h264codec_encode.h"
#include "codec/mp3_decoder.h"
#include "guarded_buffer.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

using lrk::test::guarded_buffer_alloc;
using lrk::test::run_isolated;

// The deprecated-format notice of yuvj420p, once per case, says nothing here.
const bool quiet = (av_log_set_level(AV_LOG_ERROR), true);

bool subset() {
  const char* v = std::getenv("LRK_BOUNDS_SUBSET");
  return v && *v && *v != '0';
}

struct size2 {
  int width, height;
};

// Every width from 2 to 66 at odd and even heights, then common picture sizes.
std::vector<size2> picture_sizes() {
  if (subset()) return {{2, 2}, {3, 3}, {17, 16}, {33, 15}, {63, 2}, {426, 240}, {854, 480}};
  std::vector<size2> sizes;
  for (int w = 2; w <= 66; ++w)
    for (int h : {2, 3, 15, 16}) sizes.push_back({w, h});
  for (size2 s : {size2{426, 240}, {424, 240}, {854, 480}, {640, 360}, {1366, 768}, {1920, 1080},
                  {426, 241}, {321, 241}})
    sizes.push_back(s);
  return sizes;
}

std::string name_of(AVPixelFormat format, size2 s) {
  return std::to_string(s.width) + "x" + std::to_string(s.height) + " " + av_get_pix_fmt_name(format);
}

// Grey level of picture row `row` (0 = top), inside the limited range.
int row_level(int row) { return 16 + (row * 37) % 220; }

// Runs every case, then reports the failures (the first few in full).
void expect_all_pass(const std::vector<std::string>& names,
                     const std::function<std::string(size_t)>& check_case) {
  std::vector<std::string> failures;
  for (size_t i = 0; i < names.size(); ++i) {
    std::string r = run_isolated([&] { return check_case(i); });
    if (!r.empty()) failures.push_back(names[i] + ":" + r);
  }
  std::string shown;
  for (size_t i = 0; i < failures.size() && i < 40; ++i) shown += "  " + failures[i] + "\n";
  EXPECT_TRUE(failures.empty()) << failures.size() << " of " << names.size()
                                << " cases failed:\n" << shown;
}

// ---------------------------------------------------------------- pictures

const AVPixelFormat decoded_formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P,
                                         AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
                                         AV_PIX_FMT_GBRP,    AV_PIX_FMT_YUV420P10LE};

bool full_range(AVPixelFormat f) { return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_GBRP; }

// A decoded picture in FFmpeg's own frame layout, each row a grey level:
// luma (or G, B and R) from row_level, chroma neutral.
lrk::av_frame_ptr grey_rows_picture(AVPixelFormat format, size2 s) {
  lrk::av_frame_ptr f = lrk::make_frame();
  f->format = format;
  f->width = s.width;
  f->height = s.height;
  if (av_frame_get_buffer(f.get(), 0) < 0) return nullptr;
  // The padding too, as a decoder leaves it: at tiny widths the scaler's
  // filters read taps past the last pixel (with weight 0), which valgrind
  // would otherwise report as uninitialised.
  for (int i = 0; i < AV_NUM_DATA_POINTERS && f->buf[i]; ++i)
    std::memset(f->buf[i]->data, 0, f->buf[i]->size);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  const bool rgb = desc->flags & AV_PIX_FMT_FLAG_RGB;
  const bool wide = desc->comp[0].depth > 8;
  for (int p = 0; p < 3; ++p) {
    const bool chroma = !rgb && p > 0;
    const int rows = chroma ? AV_CEIL_RSHIFT(s.height, desc->log2_chroma_h) : s.height;
    const int cols = chroma ? AV_CEIL_RSHIFT(s.width, desc->log2_chroma_w) : s.width;
    for (int r = 0; r < rows; ++r) {
      uint8_t* row = f->data[p] + static_cast<ptrdiff_t>(r) * f->linesize[p];
      const int level = chroma ? 128 : row_level(r);
      for (int x = 0; x < cols; ++x) {
        if (wide)
          reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(level << 2);
        else
          row[x] = static_cast<uint8_t>(level);
      }
    }
  }
  return f;
}

std::string check_picture(AVPixelFormat format, size2 s) {
  h264codec_decode converter(nullptr, nullptr);
  converter.set_buffer_allocator(guarded_buffer_alloc);
  lrk::av_frame_ptr in = grey_rows_picture(format, s);
  if (!in) return " no source picture;";
  // Twice: the second conversion reuses the scaler and the buffer pool.
  for (int round = 0; round < 2; ++round) {
    lrk::av_frame_ptr out = converter.convert_picture(*in);
    if (!out) return " not converted;";
    if (out->width != s.width || out->height != s.height || out->linesize[0] != s.width * 3 ||
        !out->buf[0] || out->buf[0]->size < static_cast<size_t>(s.width) * s.height * 3)
      return " not packed BGR24 of the picture's size;";
    for (int k = 0; k < s.height; ++k) {
      const int level = row_level(s.height - 1 - k);  // bottom row first
      const int want = full_range(format) ? level : (level - 16) * 255 / 219;
      const uint8_t* row = out->data[0] + static_cast<ptrdiff_t>(k) * out->linesize[0];
      for (int x = 0; x < s.width * 3; ++x)
        if (std::abs(row[x] - want) > 3)
          return " buffer row " + std::to_string(k) + " byte " + std::to_string(x) + " is " +
                 std::to_string(row[x]) + ", not " + std::to_string(want) + ";";
    }
  }
  return "";
}

TEST(conversion_bounds, decoded_pictures_convert_inside_their_buffers) {
  std::vector<std::pair<AVPixelFormat, size2>> cases;
  for (AVPixelFormat f : decoded_formats)
    for (size2 s : picture_sizes()) cases.push_back({f, s});
  std::vector<std::string> names;
  for (auto [f, s] : cases) names.push_back(name_of(f, s));
  expect_all_pass(names, [&](size_t i) { return check_picture(cases[i].first, cases[i].second); });
}

// ---------------------------------------------------------------- sound

struct sound_case {
  AVSampleFormat format;
  int channels;
  int samples;
};

int16_t sample_value(int i, int ch) { return static_cast<int16_t>((i * 131 + ch * 1000) % 20000 - 10000); }

void put_sample(AVFrame& f, int i, int ch, int16_t v) {
  const auto format = static_cast<AVSampleFormat>(f.format);
  const bool planar = av_sample_fmt_is_planar(format);
  const int channels = f.ch_layout.nb_channels;
  uint8_t* base = f.extended_data[planar ? ch : 0];
  const int at = planar ? i : i * channels + ch;
  switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8: base[at] = static_cast<uint8_t>((v >> 8) + 128); break;
    case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(base)[at] = v; break;
    case AV_SAMPLE_FMT_S32: reinterpret_cast<int32_t*>(base)[at] = int32_t{v} * 65536; break;
    case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(base)[at] = v / 32768.0f; break;
    case AV_SAMPLE_FMT_DBL: reinterpret_cast<double*>(base)[at] = v / 32768.0; break;
    default: break;
  }
}

std::string check_sound(const sound_case& c) {
  mp3_decoder converter(nullptr, nullptr);
  converter.set_buffer_allocator(guarded_buffer_alloc);
  lrk::av_frame_ptr in = lrk::make_frame();
  in->format = c.format;
  in->nb_samples = c.samples;
  in->sample_rate = 48000;
  av_channel_layout_default(&in->ch_layout, c.channels);
  if (av_frame_get_buffer(in.get(), 0) < 0) return " no source frame;";
  for (int i = 0; i < c.samples; ++i)
    for (int ch = 0; ch < c.channels; ++ch) put_sample(*in, i, ch, sample_value(i, ch));

  lrk::av_frame_ptr out = converter.convert_sound(*in);
  if (!out) return " not converted;";
  if (out->linesize[0] != c.samples * c.channels * 2 || out->nb_samples != c.samples)
    return " not exactly the samples, interleaved S16;";
  const auto* s = reinterpret_cast<const int16_t*>(out->data[0]);
  // u8 keeps only the high byte of each value.
  const int tolerance = av_get_packed_sample_fmt(c.format) == AV_SAMPLE_FMT_U8 ? 256 : 1;
  for (int i = 0; i < c.samples; ++i)
    for (int ch = 0; ch < c.channels; ++ch)
      if (std::abs(s[i * c.channels + ch] - sample_value(i, ch)) > tolerance)
        return " sample " + std::to_string(i) + " channel " + std::to_string(ch) + " is wrong;";
  return "";
}

TEST(conversion_bounds, decoded_sound_converts_inside_its_buffers) {
  const AVSampleFormat formats[] = {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16P,
                                    AV_SAMPLE_FMT_S16,  AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_DBLP,
                                    AV_SAMPLE_FMT_U8};
  std::vector<int> counts;
  if (subset()) {
    counts = {1, 15, 17, 1152};
  } else {
    for (int n = 1; n <= 66; ++n) counts.push_back(n);
    for (int n : {576, 1024, 1152, 2048, 4095}) counts.push_back(n);
  }
  std::vector<sound_case> cases;
  std::vector<std::string> names;
  for (AVSampleFormat f : formats)
    for (int channels : {1, 2, 3, 6})
      for (int n : counts) {
        cases.push_back({f, channels, n});
        names.push_back(std::string(av_get_sample_fmt_name(f)) + " " + std::to_string(channels) +
                        " ch " + std::to_string(n) + " samples");
      }
  expect_all_pass(names, [&](size_t i) { return check_sound(cases[i]); });
}

// ---------------------------------------------------------------- captured frames

struct capture_case {
  AVPixelFormat source;
  size2 from;
  size2 to;  // the encoded size
};

// A captured frame of grey rows as the capture host hands it over: packed,
// exactly its size, in a buffer that ends against the guard page. BGR24
// arrives bottom row first.
lrk::av_buffer_ptr captured_grey_rows(AVPixelFormat format, size2 s, int* size) {
  *size = av_image_get_buffer_size(format, s.width, s.height, 1);
  lrk::av_buffer_ptr buf(guarded_buffer_alloc(static_cast<size_t>(*size)));
  if (!buf) return nullptr;
  const int stride = av_image_get_linesize(format, s.width, 0);
  for (int m = 0; m < s.height; ++m) {
    uint8_t* row = buf->data + static_cast<ptrdiff_t>(m) * stride;
    if (format == AV_PIX_FMT_BGR24) {
      std::memset(row, row_level(s.height - 1 - m), static_cast<size_t>(stride));
    } else if (format == AV_PIX_FMT_YUYV422) {
      for (int x = 0; x < stride; ++x) row[x] = static_cast<uint8_t>(x % 2 ? 128 : row_level(m));
    }
  }
  if (format == AV_PIX_FMT_YUV420P) {
    uint8_t* data[4];
    int linesize[4];
    av_image_fill_arrays(data, linesize, buf->data, format, s.width, s.height, 1);
    for (int r = 0; r < s.height; ++r)
      std::memset(data[0] + r * linesize[0], row_level(r), static_cast<size_t>(s.width));
    const int chroma_rows = (s.height + 1) / 2;
    for (int p = 1; p < 3; ++p) std::memset(data[p], 128, static_cast<size_t>(chroma_rows) * linesize[p]);
  }
  return buf;
}

std::string check_capture(const capture_case& c) {
  // Only the fields set_params() fills are read: no codec is opened, and
  // the test runs without libavcodec (see CMakeLists.txt).
  AVCodecContext ctx{};
  h264codec_encode encoder(nullptr, &ctx);
  encoder.set_params(500000, c.to.width, c.to.height, c.source);
  encoder.set_buffer_allocator(guarded_buffer_alloc);
  int size = 0;
  lrk::av_buffer_ptr input = captured_grey_rows(c.source, c.from, &size);
  if (!input) return " no input buffer;";
  for (int round = 0; round < 2; ++round) {
    const AVFrame* pic = encoder.prepare_picture(input->data, size, c.from.width, c.from.height);
    if (!pic) return " not converted;";
    if (pic->width != c.to.width || pic->height != c.to.height || pic->format != AV_PIX_FMT_YUV420P)
      return " not YUV 4:2:0 of the encoded size;";
    if (c.from.width != c.to.width || c.from.height != c.to.height) continue;
    // Upright: luma row r carries picture row r's level.
    for (int r = 0; r < c.to.height; ++r) {
      const int level = row_level(r);
      const int want = c.source == AV_PIX_FMT_BGR24 ? 16 + level * 219 / 255 : level;
      const uint8_t* row = pic->data[0] + static_cast<ptrdiff_t>(r) * pic->linesize[0];
      for (int x = 0; x < c.to.width; ++x)
        if (std::abs(row[x] - want) > 3)
          return " luma row " + std::to_string(r) + " pixel " + std::to_string(x) + " is " +
                 std::to_string(row[x]) + ", not " + std::to_string(want) + ";";
    }
    for (int p = 1; p < 3; ++p)
      for (int r = 0; r < (c.to.height + 1) / 2; ++r)
        for (int x = 0; x < (c.to.width + 1) / 2; ++x)
          if (std::abs(pic->data[p][r * pic->linesize[p] + x] - 128) > 3)
            return " chroma plane " + std::to_string(p) + " row " + std::to_string(r) + " is " +
                   std::to_string(pic->data[p][r * pic->linesize[p] + x]) + ";";
  }
  return "";
}

TEST(conversion_bounds, captured_frames_convert_inside_their_buffers) {
  std::vector<capture_case> cases;
  for (AVPixelFormat f : {AV_PIX_FMT_YUYV422, AV_PIX_FMT_BGR24})
    for (size2 s : picture_sizes()) cases.push_back({f, s, s});
  // Scaled to another encoded size, planar 4:2:0 included.
  for (AVPixelFormat f : {AV_PIX_FMT_YUYV422, AV_PIX_FMT_BGR24, AV_PIX_FMT_YUV420P}) {
    cases.push_back({f, {426, 240}, {640, 360}});
    cases.push_back({f, {641, 361}, {426, 240}});
    cases.push_back({f, {35, 17}, {66, 34}});
  }
  std::vector<std::string> names;
  for (const auto& c : cases)
    names.push_back(name_of(c.source, c.from) + " to " + std::to_string(c.to.width) + "x" +
                    std::to_string(c.to.height));
  expect_all_pass(names, [&](size_t i) { return check_capture(cases[i]); });
}

}  // namespace
