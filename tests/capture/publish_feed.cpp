#include "publish_feed.h"

#include <cstring>

#include "synthetic_media.h"

namespace capture_test {
namespace {

constexpr int frame_ms_numerator = 1000;
constexpr int fps = 30;

sample_bytes_ptr share(const std::vector<std::uint8_t>& bytes) {
  sample_bytes_ptr shared(new std::uint8_t[bytes.size()]);
  std::memcpy(shared.get(), bytes.data(), bytes.size());
  return shared;
}

template <typename Call>
write_call timed(bool video, Call call) {
  const auto start = std::chrono::steady_clock::now();
  const int result = call();
  return {video, result,
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                start)};
}

}  // namespace

void configure(rtmp_publisher& publisher, const media_plan& plan) {
  publisher.set_video_param(plan.video_bit_rate, plan.width, plan.height, plan.pix_fmt, fps,
                            plan.width, plan.height);
  publisher.set_audio_param(plan.sample_rate, plan.sample_fmt, plan.channels, 64000);
  publisher.set_has_video(plan.video);
  publisher.set_has_audio(plan.audio);
}

media_feeder::media_feeder(rtmp_publisher& publisher, media_plan plan)
    : publisher_(publisher), plan_(plan) {}

std::vector<write_call> media_feeder::feed(int frames) {
  std::vector<write_call> calls;
  const int frame_size = publisher_.audio_frame_size();
  const int buffer_samples = frame_size > 0 ? 2 * frame_size : 2048;
  const int end = next_frame_ + frames;
  for (; next_frame_ < end; ++next_frame_) {
    const std::int64_t planned = start_ms_ + std::int64_t{next_frame_} * frame_ms_numerator / fps;
    // The audio captured up to this frame's time goes first.
    while (plan_.audio &&
           audio_samples_ * 1000 / plan_.sample_rate <= planned - start_ms_) {
      const std::vector<std::uint8_t> pcm = make_tone(plan_.sample_fmt, plan_.channels,
                                                      plan_.sample_rate, 1000.0, audio_samples_,
                                                      buffer_samples);
      const std::int64_t at = start_ms_ + audio_samples_ * 1000 / plan_.sample_rate;
      const sample_bytes_ptr data = share(pcm);
      calls.push_back(timed(false, [&] {
        int leftover = -1;
        return publisher_.write_audio(data, static_cast<int>(pcm.size()), at, &leftover);
      }));
      audio_samples_ += buffer_samples;
    }
    if (!plan_.video) continue;
    const std::int64_t at = time_of_ ? time_of_(next_frame_, planned) : planned;
    video_times_.push_back(at);
    const std::vector<std::uint8_t> picture =
        make_picture(plan_.pix_fmt, plan_.width, plan_.height, next_frame_, plan_.noise);
    const sample_bytes_ptr data = share(picture);
    calls.push_back(timed(true, [&] {
      return publisher_.write_video(data, static_cast<int>(picture.size()), at);
    }));
  }
  return calls;
}

}  // namespace capture_test
