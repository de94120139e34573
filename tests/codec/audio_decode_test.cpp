// mp3_decoder against real MP3 and AAC streams made by the ffmpeg CLI, and
// against raw PCM packets of odd sizes: interleaved S16 frames of exactly
// their own size, one per compressed frame, carrying the tone that went in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "codec/mp3_decoder.h"
#include "media_source.h"
#include "temp_dir.h"

namespace {

using lrk::test::media_source;
using lrk::test::packet_of;
using lrk::test::run_ffmpeg;
using lrk::test::temp_dir;

// Checks the layout every decoded entry must have.
void expect_s16_frame(const AVFrame& f, int channels, int sample_rate) {
  ASSERT_NE(f.data[0], nullptr);
  EXPECT_EQ(f.format, AV_SAMPLE_FMT_S16);
  EXPECT_EQ(f.ch_layout.nb_channels, channels);
  EXPECT_EQ(f.sample_rate, sample_rate);
  ASSERT_GT(f.nb_samples, 0);
  EXPECT_EQ(f.linesize[0], f.nb_samples * channels * 2) << "nb_samples " << f.nb_samples;
}

// Samples of one channel of interleaved S16 frames, in order.
std::vector<int16_t> channel_samples(const std::vector<lrk::av_frame_ptr>& frames, int channel) {
  std::vector<int16_t> out;
  for (const auto& f : frames) {
    const auto* s = reinterpret_cast<const int16_t*>(f->data[0]);
    const int channels = f->ch_layout.nb_channels;
    for (int i = 0; i < f->nb_samples; ++i) out.push_back(s[i * channels + channel]);
  }
  return out;
}

// Frequency from the upward zero crossings, skipping the codec's start-up.
double tone_frequency(const std::vector<int16_t>& samples, int sample_rate) {
  const size_t skip = sample_rate / 20;
  int crossings = 0;
  size_t first = 0, last = 0;
  for (size_t i = skip + 1; i < samples.size(); ++i)
    if (samples[i - 1] < 0 && samples[i] >= 0) {
      if (crossings++ == 0) first = i;
      last = i;
    }
  if (crossings < 2) return 0;
  return (crossings - 1) * static_cast<double>(sample_rate) / static_cast<double>(last - first);
}

struct stream_case {
  const char* encoder;
  const char* file;  // its extension picks the container
  int sample_rate;
  int channels;
  int frame_samples;  // samples of one compressed frame
};

void PrintTo(const stream_case& c, std::ostream* os) {
  *os << c.encoder << ' ' << c.file << ' ' << c.sample_rate << " Hz " << c.channels << " ch";
}

std::string make_tone(const temp_dir& dir, const stream_case& c) {
  const std::string path = dir.file(c.file);
  run_ffmpeg({"-f", "lavfi", "-i",
              "sine=frequency=1000:sample_rate=" + std::to_string(c.sample_rate), "-t", "1",
              "-ac", std::to_string(c.channels), "-c:a", c.encoder, path});
  return path;
}

class audio_decode_stream : public ::testing::TestWithParam<stream_case> {};

// Each packet of these streams holds one compressed frame, so it yields one
// entry; the encoder's start-up samples that the container trims may make the
// first entry shorter, and the last may be short too.
TEST_P(audio_decode_stream, yields_one_s16_frame_per_packet_carrying_the_tone) {
  const stream_case c = GetParam();
  temp_dir dir;
  media_source source(make_tone(dir, c), AVMEDIA_TYPE_AUDIO);
  mp3_decoder decoder(source.codec(), source.context());

  std::vector<lrk::av_frame_ptr> all;
  size_t packets = 0;
  for (const auto& packet : source.read_all()) {
    ++packets;
    auto frames = decoder.decode(*packet);
    ASSERT_LE(frames.size(), 1u) << "packet " << packets;
    for (auto& f : frames) {
      SCOPED_TRACE("entry " + std::to_string(all.size()));
      expect_s16_frame(*f, c.channels, c.sample_rate);
      if (!all.empty()) {
        EXPECT_NE(f->pts, AV_NOPTS_VALUE);
        EXPECT_GT(f->pts, all.back()->pts);
      }
      all.push_back(std::move(f));
    }
  }
  ASSERT_GE(all.size() + 2, packets) << "packets that yielded nothing";
  for (size_t i = 1; i + 1 < all.size(); ++i)
    EXPECT_EQ(all[i]->nb_samples, c.frame_samples) << "entry " << i;

  const auto left = channel_samples(all, 0);
  EXPECT_NEAR(tone_frequency(left, c.sample_rate), 1000.0, 10.0);
  if (c.channels == 2) {
    // The same tone on both channels: a channel mix-up shows as a mismatch.
    const auto right = channel_samples(all, 1);
    ASSERT_EQ(left.size(), right.size());
    double diff = 0, level = 0;
    for (size_t i = 0; i < left.size(); ++i) {
      diff += std::abs(left[i] - right[i]);
      level += std::abs(left[i]);
    }
    EXPECT_GT(level / left.size(), 1000.0) << "the tone is missing";
    EXPECT_LT(diff / left.size(), 50.0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    codecs, audio_decode_stream,
    ::testing::Values(stream_case{"libmp3lame", "stereo.mp3", 44100, 2, 1152},
                      stream_case{"libmp3lame", "mono.mp3", 44100, 1, 1152},
                      stream_case{"libmp3lame", "mono22k.mp3", 22050, 1, 576},
                      stream_case{"aac", "stereo.flv", 44100, 2, 1024},
                      stream_case{"aac", "mono48k.aac", 48000, 1, 1024}),
    [](const ::testing::TestParamInfo<stream_case>& info) {
      std::string name = info.param.file;
      for (char& ch : name)
        if (ch == '.') ch = '_';
      return name;
    });

// Two MP3 frames joined into one packet give two entries, identical and in
// the same order as decoding the two frames one packet each.
TEST(audio_decode, two_frames_in_one_packet_give_two_entries_in_order) {
  temp_dir dir;
  const stream_case c{"libmp3lame", "stereo.mp3", 44100, 2, 1152};
  const std::string path = make_tone(dir, c);
  media_source joined_source(path, AVMEDIA_TYPE_AUDIO);
  media_source single_source(path, AVMEDIA_TYPE_AUDIO);
  mp3_decoder joined(joined_source.codec(), joined_source.context());
  mp3_decoder single(single_source.codec(), single_source.context());
  const auto packets = joined_source.read_all();
  ASSERT_GE(packets.size(), 6u);

  // Same history for both decoders first (MP3 frames depend on earlier ones).
  for (size_t i = 0; i < 3; ++i) {
    joined.decode(*packets[i]);
    single.decode(*packets[i]);
  }
  std::vector<uint8_t> bytes(packets[3]->data, packets[3]->data + packets[3]->size);
  bytes.insert(bytes.end(), packets[4]->data, packets[4]->data + packets[4]->size);
  const auto two = joined.decode(*packet_of(bytes));

  std::vector<lrk::av_frame_ptr> expected;
  for (size_t i = 3; i < 5; ++i)
    for (auto& f : single.decode(*packets[i])) expected.push_back(std::move(f));

  ASSERT_EQ(expected.size(), 2u);
  ASSERT_EQ(two.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    expect_s16_frame(*two[i], 2, 44100);
    ASSERT_EQ(two[i]->nb_samples, 1152);
    EXPECT_EQ(std::memcmp(two[i]->data[0], expected[i]->data[0], 1152 * 2 * 2), 0);
  }
}

// Nothing comes out of a packet without data or one the decoder rejects.
TEST(audio_decode, empty_or_undecodable_packets_give_no_frames) {
  temp_dir dir;
  std::vector<uint8_t> garbage(600);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7 + 1);

  for (const stream_case& c : {stream_case{"libmp3lame", "tone.mp3", 44100, 2, 1152},
                               stream_case{"aac", "tone.flv", 44100, 2, 1024}}) {
    SCOPED_TRACE(c.encoder);
    media_source source(make_tone(dir, c), AVMEDIA_TYPE_AUDIO);
    mp3_decoder decoder(source.codec(), source.context());
    AVPacket no_data{};
    EXPECT_TRUE(decoder.decode(no_data).empty()) << "packet without data";
    EXPECT_TRUE(decoder.decode(*packet_of({})).empty()) << "packet of size 0";
    EXPECT_TRUE(decoder.decode(*packet_of(garbage)).empty()) << "undecodable packet";
  }
}

// Raw PCM packets of 333 samples (a count no alignment rounds to): the entry
// holds exactly those samples, interleaved, with no padding.
TEST(audio_decode, odd_sized_frames_are_exact_and_unpadded) {
  struct pcm_case {
    AVCodecID codec;
    int channels;
    int bytes_per_sample;
    bool planar;
  };
  constexpr int samples = 333;
  const auto value = [](int i, int ch) { return static_cast<int16_t>((i * 97 + ch * 5003) % 30011 - 15005); };

  for (const pcm_case& c : {pcm_case{AV_CODEC_ID_PCM_S16LE, 1, 2, false},
                            pcm_case{AV_CODEC_ID_PCM_S16LE_PLANAR, 2, 2, true},
                            pcm_case{AV_CODEC_ID_PCM_F32LE, 2, 4, false}}) {
    SCOPED_TRACE(avcodec_get_name(c.codec));
    auto ctx = lrk::test::open_audio_decoder(c.codec, 8000, c.channels);
    mp3_decoder decoder(avcodec_find_decoder(c.codec), ctx.get());

    std::vector<uint8_t> bytes;
    const auto put = [&](int i, int ch) {
      const int16_t v = value(i, ch);
      if (c.bytes_per_sample == 2) {
        bytes.push_back(static_cast<uint8_t>(v & 0xff));
        bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
      } else {
        const float f = v / 32768.0f;
        uint8_t raw[4];
        std::memcpy(raw, &f, 4);
        bytes.insert(bytes.end(), raw, raw + 4);
      }
    };
    if (c.planar) {
      for (int ch = 0; ch < c.channels; ++ch)
        for (int i = 0; i < samples; ++i) put(i, ch);
    } else {
      for (int i = 0; i < samples; ++i)
        for (int ch = 0; ch < c.channels; ++ch) put(i, ch);
    }

    const auto frames = decoder.decode(*packet_of(bytes));
    ASSERT_EQ(frames.size(), 1u);
    const AVFrame& f = *frames[0];
    expect_s16_frame(f, c.channels, 8000);
    ASSERT_EQ(f.nb_samples, samples);
    const auto* s = reinterpret_cast<const int16_t*>(f.data[0]);
    for (int i = 0; i < samples; ++i)
      for (int ch = 0; ch < c.channels; ++ch)
        ASSERT_NEAR(s[i * c.channels + ch], value(i, ch), 1) << "sample " << i << " channel " << ch;
  }
}

}  // namespace
