// Publishes raw captured media from files through castbay's publisher, the
// way the capture poll thread feeds it: YUY2 frames at a fixed rate and PCM
// buffers of two encoder frames, in capture-time order, unpaced.
//
//   publish_room VIDEO.yuv WIDTH HEIGHT FPS AUDIO.pcm RATE CHANNELS URL
//
// VIDEO.yuv holds packed YUY2 frames, AUDIO.pcm interleaved signed 16-bit
// samples. Prints the frames and buffers written; exits non-zero on failure.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "live_capture_manager.h"
#include "rtmp_publisher.h"

namespace {

class quiet_host : public i_live_av_capture_callback {
 public:
  void on_video_format(int, int, int) override {}
  void on_audio_format(int, int, int) override {}
  void on_video_frame(unsigned char*, int) override {}
  void on_audio_frame(unsigned char*, int) override {}
  void on_log(int level, std::string format, ...) override {
    if (level != 0) return;  // the per-packet lines
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, (format + "\n").c_str(), args);
    va_end(args);
  }
  void on_status(int code) override { ++refused[code == 0 ? 0 : 1]; }
  void clean() override {}
  int refused[2] = {};
};

struct file_closer {
  void operator()(FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<FILE, file_closer>;

// Reads the next `size` bytes into a new shared buffer; null at the end.
sample_bytes_ptr read_block(FILE* file, std::size_t size) {
  sample_bytes_ptr block(new std::uint8_t[size]);
  return std::fread(block.get(), 1, size, file) == size ? block : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 9) {
    std::fprintf(stderr,
                 "usage: %s VIDEO.yuv WIDTH HEIGHT FPS AUDIO.pcm RATE CHANNELS URL\n", argv[0]);
    return 2;
  }
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);
  const int fps = std::atoi(argv[4]);
  const int rate = std::atoi(argv[6]);
  const int channels = std::atoi(argv[7]);
  file_ptr video(std::fopen(argv[1], "rb"));
  file_ptr audio(std::fopen(argv[5], "rb"));
  if (!video || !audio || width <= 0 || height <= 0 || fps <= 0 || rate <= 0 || channels <= 0) {
    std::fprintf(stderr, "publish_room: bad arguments or unreadable input\n");
    return 2;
  }

  live_capture_manager manager;
  quiet_host host;
  manager.set_callback(&host);
  rtmp_publisher& publisher = manager.publisher();
  // The camera device's settings at the default quality (0.8 bit per pixel).
  publisher.set_video_param(static_cast<int>(static_cast<float>(width) * 0.8f * height), width,
                            height, AV_PIX_FMT_YUYV422, fps, width, height);
  publisher.set_audio_param(rate, AV_SAMPLE_FMT_S16, channels, 64000);
  publisher.set_has_video(true);
  publisher.set_has_audio(true);
  if (publisher.open_device(argv[8]) != 0) return 1;

  const std::size_t frame_bytes = static_cast<std::size_t>(width) * height * 2;
  const int buffer_samples = 2 * publisher.audio_frame_size();
  const std::size_t buffer_bytes = static_cast<std::size_t>(buffer_samples) * channels * 2;
  std::int64_t frames = 0;
  std::int64_t samples = 0;
  bool audio_left = true;
  for (;;) {
    const std::int64_t video_ms = frames * 1000 / fps;
    // Audio captured up to this frame's time goes first.
    while (audio_left && samples * 1000 / rate <= video_ms) {
      const sample_bytes_ptr pcm = read_block(audio.get(), buffer_bytes);
      if (!pcm) {
        audio_left = false;
        break;
      }
      int leftover = 0;
      publisher.write_audio(pcm, static_cast<int>(buffer_bytes), samples * 1000 / rate, &leftover);
      samples += buffer_samples;
    }
    const sample_bytes_ptr picture = read_block(video.get(), frame_bytes);
    if (!picture) break;
    publisher.write_video(picture, static_cast<int>(frame_bytes), video_ms);
    ++frames;
  }
  publisher.close();

  capture_stats stats{};
  manager.access_stats(&stats);
  std::printf("frames %lld, audio buffers %lld, video packets %llu, video bytes %llu, "
              "audio bytes %llu, refused %d/%d\n",
              static_cast<long long>(frames), static_cast<long long>(samples / buffer_samples),
              static_cast<unsigned long long>(stats.video_frames),
              static_cast<unsigned long long>(stats.video_bytes),
              static_cast<unsigned long long>(stats.audio_bytes), host.refused[0],
              host.refused[1]);
  return host.refused[0] + host.refused[1] == 0 ? 0 : 1;
}
