// A host application's side of the capture library: prints the manager's
// messages, counts every frame and buffer handed back, and keeps the latest
// captured frame for a snapshot.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "castbay/live_av_capture.h"

struct host_figures {
  std::uint64_t video_frames = 0;
  std::uint64_t video_bytes = 0;
  std::uint64_t audio_buffers = 0;
  std::uint64_t audio_bytes = 0;
  std::uint64_t refused_video = 0;  // packets the server refused
  std::uint64_t refused_audio = 0;
  int width = 0, height = 0, bits_per_pixel = 0;
  int channels = 0, sample_rate = 0, bits_per_sample = 0;
};

class room_host final : public i_live_av_capture_callback {
 public:
  // verbose: also print the per-packet lines. keep_latest: keep a copy of
  // the latest frame for a snapshot (a copy per frame otherwise saved).
  room_host(bool verbose, bool keep_latest) : verbose_(verbose), keep_latest_(keep_latest) {}

  void on_video_format(int width, int height, int bits_per_pixel) override;
  void on_audio_format(int channels, int sample_rate, int bits_per_sample) override;
  void on_video_frame(unsigned char* data, int size) override;
  void on_audio_frame(unsigned char* data, int size) override;
  void on_log(int level, std::string format, ...) override;
  void on_status(int code) override;
  void clean() override {}

  host_figures figures() const;
  // The latest captured frame in the device's layout; false when none came.
  bool latest_frame(std::vector<unsigned char>& bytes, int& width, int& height,
                    int& bits_per_pixel) const;

 private:
  const bool verbose_;
  const bool keep_latest_;
  mutable std::mutex mutex_;  // guards everything below (poll and host threads)
  host_figures figures_;
  std::vector<unsigned char> latest_;
};
