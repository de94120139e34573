// One playback of a stream: the connection, the poll thread that reads and
// decodes, the data cache, the play thread that delivers, and the shutdown.
// The player makes a new one for every play(); the worker threads share its
// ownership, so a thread that outlives stop() keeps what it uses alive.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "codec/av_holders.h"
#include "delivery_pacer.h"
#include "frame_cache.h"
#include "player_shared.h"
#include "rtmp_player_stream.h"
#include "worker_thread.h"

// The two numbers of a format last announced to the host (width and height,
// or channels and sample rate).
struct announced_format {
  int first = 0;
  int second = 0;
  // Records (a, b); true when it differs from what was announced.
  bool change_to(int a, int b) {
    if (a == first && b == second) return false;
    first = a;
    second = b;
    return true;
  }
};

class playback final : public std::enable_shared_from_this<playback>,
                       private decoded_frame_sink,
                       private delivery_sink {
 public:
  enum state_value { opening = 0, connected = 1, probed = 2, running = 3 };

  // Waits for each worker thread at stop().
  static constexpr std::chrono::milliseconds join_timeout{3000};
  // A read that began this many whole seconds ago is interrupted.
  static constexpr int64_t read_timeout_s = 7;
  // Connecting or probing gives up after this long without a byte.
  static constexpr std::chrono::seconds connect_idle_timeout{5};
  static constexpr std::chrono::milliseconds play_pass_interval{20};

  playback(std::shared_ptr<player_shared> shared, std::shared_ptr<playback_counters> counters,
           std::shared_ptr<sound_gate> gate, std::string url);
  ~playback();

  // Connects, probes and starts the worker threads (on the caller's thread).
  // 0 running, -1 connection failed or timed out, -2 no stream information,
  // -3 no streams.
  int open();
  // Ends the threads (bounded waits), releases everything, calls clean().
  void stop();
  // Ends the threads without telling the host (the player is going away).
  void abandon();

  bool stopped() const { return stopped_.load(); }
  bool ended() const { return ended_.load(); }

 private:
  static int interrupt_cb(void* opaque);
  int check_interrupt();
  bool connection_idle();

  void poll_loop();
  void route_packet(const AVPacket& packet);
  void play_loop();
  void wait_pass();
  void wake_workers();
  bool lock_cache_for_poll(std::unique_lock<std::mutex>& lock);
  bool join_worker(std::unique_ptr<worker_thread>& thread, const char* timeout_message,
                   const char* failed_message);

  // decoded_frame_sink (poll thread)
  void picture_decoded(lrk::av_frame_ptr picture) override;
  void sound_decoded(std::vector<lrk::av_frame_ptr> frames) override;
  // delivery_sink (play thread, cache lock held)
  void deliver_sound(const AVFrame& frame) override;
  void deliver_picture(const AVFrame& frame) override;

  // Host calls from the worker threads: none once stop() gave up on them.
  template <class Call>
  void to_host(Call&& call) const {
    if (!abandoned_.load()) call(shared_->host);
  }

  // Set at construction.
  const std::shared_ptr<player_shared> shared_;
  const std::shared_ptr<playback_counters> counters_;
  const std::shared_ptr<sound_gate> gate_;
  const std::string url_;

  // Any thread.
  std::atomic<int> state_{opening};
  std::atomic<bool> stopped_{false};
  std::atomic<bool> ended_{false};
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> abandoned_{false};  // stop() gave up waiting for a worker
  std::atomic<bool> closing_{false};    // the input is being closed: abort its I/O
  std::atomic<bool> has_audio_{false};  // an audio stream object exists
  std::atomic<bool> video_format_sent_{false};
  std::atomic<bool> audio_format_sent_{false};
  std::atomic<int32_t> last_pts_{0};     // low 32 bits of the last packet's pts
  std::atomic<int64_t> read_start_{0};   // calendar seconds at the start of the current read

  // The thread in open() only: the idle bound of connecting and probing.
  std::atomic<bool> watching_connection_{false};
  AVFormatContext* opening_ctx_ = nullptr;
  int64_t watched_pos_ = -1;
  std::chrono::steady_clock::time_point last_progress_{};
  bool connect_timed_out_ = false;

  // Guarded by cache_mutex_; the play thread holds it while delivering.
  std::mutex cache_mutex_;
  frame_cache cache_;
  announced_format announced_picture_;  // width, height
  announced_format announced_sound_;    // channels, sample rate

  // The poll thread only while it runs; stop() after joining it.
  lrk::av_input_context_ptr format_ctx_;
  std::vector<std::unique_ptr<rtmp_player_stream>> streams_;

  // The play thread only.
  delivery_pacer pacer_;

  // Wakes the play thread's pause between passes.
  std::mutex wake_mutex_;
  std::condition_variable wake_cv_;

  // The host thread in open() and stop().
  std::unique_ptr<worker_thread> poll_thread_;
  std::unique_ptr<worker_thread> play_thread_;
};
