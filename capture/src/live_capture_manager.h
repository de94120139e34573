// The capture manager behind i_live_av_capture: owns the camera, the
// microphone and the publisher, runs the sequences of hosting, previewing
// and unhosting, and, while running, the poll thread that drains both
// devices' queues into the publisher and the host.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <chrono>
#include <string>
#include <thread>

#include "capture_data.h"
#include "castbay/live_av_capture.h"
#include "platform/capture_platform.h"

class audio_capture;
class rtmp_publisher;
class video_capture;

class live_capture_manager : public i_live_av_capture {
 public:
  // Highest set_video_quality level taken: 10 bits per pixel, far above any
  // useful rate, and low enough that no picture size overflows the bit rate.
  static constexpr float max_quality_level = 400.0f;
  // The poll thread's pause after each pass.
  static constexpr std::chrono::milliseconds poll_interval{5};

  // The machine's devices and the built-in ones.
  live_capture_manager();
  explicit live_capture_manager(std::shared_ptr<capture_platform::i_capture_platform> platform);
  // Stops nothing: a running manager is stopped with unhost_room first.
  ~live_capture_manager() override;
  live_capture_manager(const live_capture_manager&) = delete;
  live_capture_manager& operator=(const live_capture_manager&) = delete;

  // i_live_av_capture, all on the host's thread.
  int list_devices(int audio, capture_device_list* devices) override;
  void set_device_names(std::wstring video_device, std::wstring audio_device) override;
  void set_video_quality(float level) override;
  void set_callback(i_live_av_capture_callback* callback) override { callback_.store(callback); }
  void set_video_param(int width, int height, int fps) override;
  void set_audio_param(int sample_rate, int bits_per_sample, int channels, int bit_rate) override;
  int host_room(const char* url) override;
  void unhost_room() override;
  void preview() override;
  void stop_preview() override { unhost_room(); }
  void enable_audio(bool enabled) override { audio_enabled_ = enabled; }
  void access_stats(capture_stats* stats) override;

  // free_cap_manager: destroys the registered callback and forgets it.
  void destroy_callback();

  // Poll thread, from the devices' delivery: publish one record.
  int on_video_data(sample_bytes_ptr data, int size, std::int64_t start_time);
  // Publishes one sound buffer while audio is enabled; *leftover receives
  // the sample frames that did not fill an encoder frame.
  int on_audio_data(sample_bytes_ptr data, int size, std::int64_t start_time, int* leftover);

  i_live_av_capture_callback* callback() const { return callback_.load(); }
  // Passes a message to the host's on_log; dropped without a callback.
  // Arguments follow printf's promotions (pass long long, const char*).
  template <typename... Args>
  void log(int level, const char* format, Args... args) const {
    if (i_live_av_capture_callback* cb = callback_.load()) cb->on_log(level, format, args...);
  }
  // Passes a status code to the host's on_status; dropped without a callback.
  void report_status(int code) const;

  rtmp_publisher& publisher() { return *publisher_; }
  video_capture& video_device() { return *vcp_; }
  audio_capture& audio_device() { return *acp_; }
  bool idle() const { return idle_; }

 private:
  // The poll thread's body.
  void poll_capture_data();
  // The devices' failures reported since the last pass, as messages.
  void report_device_failures();
  // Stops the poll thread, the devices and the publisher, with messages.
  void tear_down();
  // Opens, negotiates and, for a room, starts one device; the codes of
  // host_room. The shared steps of host_room and preview.
  int open_video();
  int open_audio();
  // Marks which streams the publisher creates from what the devices
  // really deliver, and says so when an enabled kind cannot be published.
  void mark_streams();
  void start_poll_thread();

  // The system services the devices are found and run with.
  const std::shared_ptr<capture_platform::i_capture_platform> platform_;
  // Set on the host's thread, read on the poll thread.
  std::atomic<i_live_av_capture_callback*> callback_{nullptr};
  std::shared_ptr<audio_capture> acp_;
  std::shared_ptr<video_capture> vcp_;
  std::shared_ptr<rtmp_publisher> publisher_;
  // Host's thread.
  float quality_ = 0.8f;
  // Any thread.
  std::atomic<bool> video_enabled_{false};
  std::atomic<bool> audio_enabled_{false};
  // Host's thread: the poll thread while running.
  std::unique_ptr<std::thread> poll_thread_;
  // Any thread: false from the start of the poll thread until unhost_room.
  std::atomic<bool> idle_{true};
  // Host's thread.
  std::string url_;
  std::wstring video_device_name_;
  std::wstring audio_device_name_;
};
