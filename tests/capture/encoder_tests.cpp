// The capture encoders on their own: H.264 from every capture layout back to
// an upright picture, and PCM to AAC back to the same tone, with the framing
// and time stamping the publisher relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "codec/h264codec_decode.h"
#include "codec/h264codec_encode.h"
#include "codec/mp3_decoder.h"
#include "codec/mp3_encoder.h"
#include "readback_checks.h"
#include "synthetic_media.h"

extern "C" {
#include <libavutil/imgutils.h>
}

using namespace capture_test;

namespace {

// An encoder wrapper over a context of its own, opened after set_params.
template <typename Encoder>
struct opened_encoder {
  lrk::av_codec_context_ptr context;
  std::unique_ptr<Encoder> encoder;
  bool opened = false;

  template <typename Configure>
  opened_encoder(const AVCodec* codec, Configure configure)
      : context(avcodec_alloc_context3(codec)),
        encoder(std::make_unique<Encoder>(codec, context.get())) {
    configure(*encoder);
    opened = avcodec_open2(context.get(), codec, nullptr) == 0;
  }
};

const AVCodec* x264() { return avcodec_find_encoder_by_name("libx264"); }
const AVCodec* aac() { return avcodec_find_encoder(AV_CODEC_ID_AAC); }

void append(std::vector<lrk::av_packet_ptr>& to, std::vector<lrk::av_packet_ptr> from) {
  for (auto& p : from) to.push_back(std::move(p));
}

std::vector<std::int64_t> sorted_pts(const std::vector<lrk::av_packet_ptr>& packets) {
  std::vector<std::int64_t> pts;
  for (const auto& p : packets) pts.push_back(p->pts);
  std::sort(pts.begin(), pts.end());
  return pts;
}

void expect_dts_increasing(const std::vector<lrk::av_packet_ptr>& packets) {
  for (std::size_t i = 1; i < packets.size(); ++i)
    EXPECT_GT(packets[i]->dts, packets[i - 1]->dts) << "packet " << i;
}

struct video_case {
  AVPixelFormat format;
  int src_width, src_height;
  int width, height;  // encoded size
};

void PrintTo(const video_case& c, std::ostream* out) {
  *out << av_get_pix_fmt_name(c.format) << " " << c.src_width << "x" << c.src_height << " -> "
       << c.width << "x" << c.height;
}

std::string name_of(const testing::TestParamInfo<video_case>& info) {
  const video_case& c = info.param;
  return std::string(av_get_pix_fmt_name(c.format)) + "_" + std::to_string(c.src_width) + "x" +
         std::to_string(c.src_height) + "_to_" + std::to_string(c.width) + "x" +
         std::to_string(c.height);
}

class h264_encoding : public testing::TestWithParam<video_case> {
 protected:
  opened_encoder<h264codec_encode> open() {
    const video_case& c = GetParam();
    return opened_encoder<h264codec_encode>(x264(), [&](h264codec_encode& e) {
      e.set_params(c.width * c.height * 4, c.width, c.height, c.format);
    });
  }
};

TEST_P(h264_encoding, gives_an_upright_picture_with_the_capture_times) {
  const video_case& c = GetParam();
  auto h264 = open();
  ASSERT_TRUE(h264.opened);

  constexpr int frames = 24;
  std::vector<lrk::av_packet_ptr> packets;
  std::vector<std::int64_t> times;
  for (int i = 0; i < frames; ++i) {
    const std::vector<std::uint8_t> picture = make_picture(c.format, c.src_width, c.src_height, i);
    times.push_back(100 + i * 33);
    append(packets, h264.encoder->encode(picture.data(), static_cast<int>(picture.size()),
                                         c.src_width, c.src_height, times.back()));
  }
  append(packets, h264.encoder->flush());
  EXPECT_EQ(h264.encoder->last_error(), 0);
  ASSERT_EQ(packets.size(), static_cast<std::size_t>(frames));
  EXPECT_EQ(sorted_pts(packets), times);
  expect_dts_increasing(packets);

  const AVCodec* decoder_codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  lrk::av_codec_context_ptr decoder_context(avcodec_alloc_context3(decoder_codec));
  ASSERT_EQ(avcodec_open2(decoder_context.get(), decoder_codec, nullptr), 0);
  h264codec_decode decoder(decoder_codec, decoder_context.get());
  std::vector<lrk::av_frame_ptr> pictures;
  for (const auto& p : packets)
    if (lrk::av_frame_ptr f = decoder.decode(*p); f && f->data[0]) pictures.push_back(std::move(f));
  ASSERT_FALSE(pictures.empty());

  for (const auto& picture : pictures) {
    ASSERT_EQ(picture->width, c.width);
    ASSERT_EQ(picture->height, c.height);
    // The rate control starts from a millisecond frame rate and starves the
    // first group of pictures; colours are judged after it.
    if (picture->pts < times[12]) continue;
    expect_upright(*picture);
  }
}

TEST_P(h264_encoding, refuses_a_frame_shorter_than_a_whole_picture) {
  const video_case& c = GetParam();
  auto h264 = open();
  ASSERT_TRUE(h264.opened);
  const std::vector<std::uint8_t> picture = make_picture(c.format, c.src_width, c.src_height, 0);
  const int whole = av_image_get_buffer_size(c.format, c.src_width, c.src_height, 1);
  ASSERT_EQ(static_cast<int>(picture.size()), whole);

  // The short buffer is a copy of its own, so reading past it shows under ASan.
  std::vector<std::uint8_t> short_frame(picture.begin(), picture.end() - 1);
  EXPECT_TRUE(h264.encoder->encode(short_frame.data(), whole - 1, c.src_width, c.src_height, 0)
                  .empty());
  EXPECT_LT(h264.encoder->last_error(), 0);
  EXPECT_TRUE(h264.encoder->encode(nullptr, whole, c.src_width, c.src_height, 0).empty());

  // The encoder goes on with whole frames.
  std::vector<lrk::av_packet_ptr> packets =
      h264.encoder->encode(picture.data(), whole, c.src_width, c.src_height, 33);
  append(packets, h264.encoder->flush());
  EXPECT_EQ(packets.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    capture_layouts, h264_encoding,
    testing::Values(video_case{AV_PIX_FMT_YUYV422, 320, 240, 320, 240},
                    video_case{AV_PIX_FMT_BGR24, 320, 240, 320, 240},
                    video_case{AV_PIX_FMT_YUV420P, 320, 240, 320, 240},
                    video_case{AV_PIX_FMT_YUYV422, 176, 144, 176, 144},
                    video_case{AV_PIX_FMT_BGR24, 162, 98, 162, 98},
                    video_case{AV_PIX_FMT_BGR24, 320, 240, 160, 120},
                    video_case{AV_PIX_FMT_YUV420P, 320, 240, 160, 120}),
    name_of);

TEST(h264_timestamps, a_time_that_does_not_advance_is_moved_just_past_the_previous) {
  auto h264 = opened_encoder<h264codec_encode>(
      x264(), [](h264codec_encode& e) { e.set_params(200000, 160, 120, AV_PIX_FMT_YUYV422); });
  ASSERT_TRUE(h264.opened);
  std::vector<lrk::av_packet_ptr> packets;
  int index = 0;
  for (std::int64_t t : {0, 33, 33, 20, 66}) {
    const auto picture = make_picture(AV_PIX_FMT_YUYV422, 160, 120, index++);
    append(packets, h264.encoder->encode(picture.data(), static_cast<int>(picture.size()), 160,
                                         120, t));
  }
  append(packets, h264.encoder->flush());
  EXPECT_EQ(sorted_pts(packets), (std::vector<std::int64_t>{0, 33, 34, 35, 66}));
  expect_dts_increasing(packets);
}

// ---- audio ----

struct audio_case {
  AVSampleFormat format;
  int channels;
  int sample_rate;
};

void PrintTo(const audio_case& c, std::ostream* out) {
  *out << av_get_sample_fmt_name(c.format) << " " << c.channels << " ch " << c.sample_rate << " Hz";
}

std::string name_of_audio(const testing::TestParamInfo<audio_case>& info) {
  return std::string(av_get_sample_fmt_name(info.param.format)) + "_" +
         std::to_string(info.param.channels) + "ch_" + std::to_string(info.param.sample_rate);
}

opened_encoder<mp3_encoder> open_aac(const audio_case& c) {
  return opened_encoder<mp3_encoder>(aac(), [&](mp3_encoder& e) {
    e.set_params(c.sample_rate, c.format, c.channels, 64000);
  });
}

class aac_encoding : public testing::TestWithParam<audio_case> {};

TEST_P(aac_encoding, keeps_the_tone_and_stamps_frames_a_frame_apart) {
  const audio_case& c = GetParam();
  auto encoder = open_aac(c);
  ASSERT_TRUE(encoder.opened);
  const int frame_size = encoder.context->frame_size;
  ASSERT_GT(frame_size, 0);
  EXPECT_EQ(encoder.encoder->sample_bytes(),
            c.channels * av_get_bytes_per_sample(c.format));

  // Buffers of two whole frames, about one second in all, each stamped with
  // its capture time in milliseconds.
  std::vector<lrk::av_packet_ptr> packets;
  const int buffers = c.sample_rate / (2 * frame_size);
  for (int b = 0; b < buffers; ++b) {
    const std::int64_t first = std::int64_t{b} * 2 * frame_size;
    const auto pcm = make_tone(c.format, c.channels, c.sample_rate, 1000.0, first, 2 * frame_size);
    int leftover = -1;
    append(packets, encoder.encoder->encode(pcm.data(), static_cast<int>(pcm.size()),
                                            first * 1000 / c.sample_rate, &leftover));
    EXPECT_EQ(leftover, 0);
  }
  append(packets, encoder.encoder->flush());
  ASSERT_GE(packets.size(), static_cast<std::size_t>(2 * buffers));
  for (std::size_t i = 1; i < packets.size(); ++i)
    EXPECT_EQ(packets[i]->pts - packets[i - 1]->pts, frame_size) << "packet " << i;

  const AVCodec* decoder_codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
  lrk::av_codec_context_ptr decoder_context(avcodec_alloc_context3(decoder_codec));
  lrk::av_codec_parameters_ptr parameters(avcodec_parameters_alloc());
  ASSERT_GE(avcodec_parameters_from_context(parameters.get(), encoder.context.get()), 0);
  ASSERT_GE(avcodec_parameters_to_context(decoder_context.get(), parameters.get()), 0);
  ASSERT_EQ(avcodec_open2(decoder_context.get(), decoder_codec, nullptr), 0);
  mp3_decoder decoder(decoder_codec, decoder_context.get());
  std::vector<std::int16_t> samples;
  for (const auto& p : packets)
    for (const auto& f : decoder.decode(*p)) {
      const auto* s = reinterpret_cast<const std::int16_t*>(f->data[0]);
      samples.insert(samples.end(), s, s + f->nb_samples * f->ch_layout.nb_channels);
    }
  EXPECT_NEAR(tone_frequency(samples, c.channels, c.sample_rate), 1000.0, 10.0);
}

INSTANTIATE_TEST_SUITE_P(capture_formats, aac_encoding,
                         testing::Values(audio_case{AV_SAMPLE_FMT_S16, 2, 44100},
                                         audio_case{AV_SAMPLE_FMT_U8, 1, 22050},
                                         audio_case{AV_SAMPLE_FMT_S16, 1, 48000}),
                         name_of_audio);

TEST(audio_framing, cuts_whole_frames_and_counts_the_rest) {
  struct row {
    int samples, frame_size, frames, leftover;
  };
  for (const row& r : {row{1024, 1024, 1, 0}, row{1500, 1024, 1, 476}, row{750, 1024, 0, 750},
                       row{2500, 1024, 2, 452}, row{0, 1024, 0, 0}, row{1000, 0, 1, 0}}) {
    const audio_framing f = frame_audio(r.samples, r.frame_size);
    EXPECT_EQ(f.frames, r.frames) << r.samples << " / " << r.frame_size;
    EXPECT_EQ(f.leftover, r.leftover) << r.samples << " / " << r.frame_size;
  }
}

TEST(aac_framing, drops_the_partial_frame_and_reports_it) {
  const audio_case stereo{AV_SAMPLE_FMT_S16, 2, 44100};
  struct row {
    int bytes, leftover;
    std::size_t frames;
  };
  for (const row& r : {row{4096, 0, 1}, row{6000, 476, 1}, row{3000, 750, 0}, row{8193, 0, 2}}) {
    auto encoder = open_aac(stereo);
    ASSERT_TRUE(encoder.opened);
    const auto pcm = make_tone(AV_SAMPLE_FMT_S16, 2, 44100, 1000.0, 0, r.bytes / 4 + 1);
    int leftover = -1;
    std::vector<lrk::av_packet_ptr> packets =
        encoder.encoder->encode(pcm.data(), r.bytes, 0, &leftover);
    EXPECT_EQ(leftover, r.leftover) << r.bytes << " bytes";
    append(packets, encoder.encoder->flush());
    // The encoder gives one packet per frame plus one for its priming delay.
    EXPECT_EQ(packets.size(), r.frames == 0 ? 0 : r.frames + 1) << r.bytes << " bytes";
  }
}

TEST(aac_framing, a_buffer_that_does_not_advance_starts_after_the_previous_frame) {
  auto encoder = open_aac({AV_SAMPLE_FMT_S16, 2, 44100});
  ASSERT_TRUE(encoder.opened);
  std::vector<lrk::av_packet_ptr> packets;
  int leftover = 0;
  // Two buffers of two frames each, both stamped 1000 ms.
  for (int b = 0; b < 2; ++b) {
    const auto pcm = make_tone(AV_SAMPLE_FMT_S16, 2, 44100, 1000.0, b * 2048, 2048);
    append(packets, encoder.encoder->encode(pcm.data(), static_cast<int>(pcm.size()), 1000,
                                            &leftover));
  }
  append(packets, encoder.encoder->flush());
  ASSERT_EQ(packets.size(), 5u);
  // The packet times trail the frames by the encoder's 1024-sample priming.
  for (std::size_t i = 0; i < packets.size(); ++i)
    EXPECT_EQ(packets[i]->pts, 44100 - 1024 + static_cast<std::int64_t>(i) * 1024) << i;
}

TEST(aac_framing, refuses_a_capture_format_it_cannot_read) {
  auto encoder = opened_encoder<mp3_encoder>(
      aac(), [](mp3_encoder& e) { e.set_params(44100, AV_SAMPLE_FMT_FLT, 2, 64000); });
  ASSERT_TRUE(encoder.opened);
  EXPECT_EQ(encoder.encoder->sample_bytes(), 0);
  std::vector<std::uint8_t> pcm(8192);
  int leftover = 77;
  EXPECT_TRUE(encoder.encoder->encode(pcm.data(), 8192, 0, &leftover).empty());
  EXPECT_EQ(leftover, 77);
}

TEST(aac_framing, a_codec_of_any_frame_size_takes_the_whole_buffer_once) {
  const AVCodec* pcm_codec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
  auto encoder = opened_encoder<mp3_encoder>(
      pcm_codec, [](mp3_encoder& e) { e.set_params(8000, AV_SAMPLE_FMT_S16, 1, 128000); });
  ASSERT_TRUE(encoder.opened);
  ASSERT_EQ(encoder.context->frame_size, 0);
  const auto pcm = make_tone(AV_SAMPLE_FMT_S16, 1, 8000, 500.0, 0, 1000);
  int leftover = -1;
  std::vector<lrk::av_packet_ptr> packets =
      encoder.encoder->encode(pcm.data(), static_cast<int>(pcm.size()), 0, &leftover);
  EXPECT_EQ(leftover, 0);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0]->size, 2000);
}

}  // namespace
