#include "playback.h"

#include <algorithm>
#include <ctime>
#include <thread>

#include "stream_discovery.h"

playback::playback(std::shared_ptr<player_shared> shared,
                   std::shared_ptr<playback_counters> counters, std::shared_ptr<sound_gate> gate,
                   std::string url)
    : shared_(std::move(shared)),
      counters_(std::move(counters)),
      gate_(std::move(gate)),
      url_(std::move(url)) {}

playback::~playback() {
  // Closing the input may still consult the interrupt callback: make it
  // abort at once and stay silent.
  abandoned_ = true;
  stopped_ = true;
  closing_ = true;
}

// ---------------------------------------------------------------- connection

int playback::open() {
  const host_callback& host = shared_->host;
  host.log("is opening rtmp player...");
  video_format_sent_ = false;
  audio_format_sent_ = false;

  const AVInputFormat* flv = av_find_input_format("flv");
  AVFormatContext* ctx = avformat_alloc_context();
  if (!ctx) {
    host.log("connect to stream failed!, ret = %d", AVERROR(ENOMEM));
    ended_ = true;
    return -1;
  }
  // The "timeout" option would make FFmpeg's rtmp client listen as a server,
  // and an I/O time-out (rw_timeout) would stay on the connection and end a
  // stalled read before the 7-second rule below: the interrupt callback
  // bounds connecting and probing instead (no byte for 5 s).
  lrk::av_dictionary options;
  options.set("probesize", "40240000");
  options.set("analyzeduration", "5000000");

  host.log("is connecting to stream!");
  ctx->interrupt_callback.callback = &playback::interrupt_cb;
  ctx->interrupt_callback.opaque = this;
  opening_ctx_ = ctx;
  watched_pos_ = -1;
  last_progress_ = std::chrono::steady_clock::now();
  watching_connection_ = true;

  int r = avformat_open_input(&ctx, url_.c_str(), flv, options.get());
  if (r < 0) {
    // FFmpeg has freed the context.
    watching_connection_ = false;
    opening_ctx_ = nullptr;
    if (connect_timed_out_) r = AVERROR(ETIMEDOUT);
    if (r == AVERROR(ETIMEDOUT))
      host.log("connect to stream timeout!", r);
    else
      host.log("connect to stream failed!, ret = %d", r);
    ended_ = true;
    return -1;
  }
  format_ctx_.reset(ctx);
  state_ = connected;
  host.log("stream connected!");

  r = avformat_find_stream_info(ctx, nullptr);
  watching_connection_ = false;
  opening_ctx_ = nullptr;
  if (r < 0) {
    host.log("detect stream info failed!", r);
    ended_ = true;
    return -2;
  }
  state_ = probed;
  if (ctx->nb_streams == 0) {
    host.log("stream connected, but no stream info found!", r);
    ended_ = true;
    return -3;
  }

  stopped_ = false;
  ended_ = false;
  has_audio_ = false;
  std::shared_ptr<playback> self = shared_from_this();
  poll_thread_ = std::make_unique<worker_thread>([self] { self->poll_loop(); });
  play_thread_ = std::make_unique<worker_thread>([self] { self->play_loop(); });
  host.log("rtmp reciever start!");
  state_ = running;
  return 0;
}

int playback::interrupt_cb(void* opaque) { return static_cast<playback*>(opaque)->check_interrupt(); }

int playback::check_interrupt() {
  // Closing writes to the server (RTMP's deleteStream) and must not wait on
  // one that stopped reading, whatever state the playback reached.
  if (closing_.load()) return 1;
  if (state_.load() != running) return watching_connection_.load() && connection_idle() ? 1 : 0;

  const int64_t waited = static_cast<int64_t>(std::time(nullptr)) - read_start_.load();
  if (waited < 0 || waited < read_timeout_s) return stopped_.load() ? 1 : 0;
  to_host([](const host_callback& h) { h.log("av_read_cb called, reading frame will interrupt!"); });
  interrupted_ = true;
  return 1;
}

bool playback::connection_idle() {
  // Before the I/O context exists (TCP connect, RTMP handshake) any wait
  // counts from the start; afterwards every byte read restarts the count.
  const int64_t pos = opening_ctx_ && opening_ctx_->pb ? opening_ctx_->pb->pos : -1;
  const auto now = std::chrono::steady_clock::now();
  if (pos != watched_pos_) {
    watched_pos_ = pos;
    last_progress_ = now;
    return false;
  }
  if (now - last_progress_ < connect_idle_timeout) return false;
  connect_timed_out_ = true;
  return true;
}

// ---------------------------------------------------------------- poll thread

void playback::poll_loop() {
  lrk::av_packet_ptr packet = lrk::make_packet();
  if (!packet) {
    ended_ = true;
    wake_workers();
    return;
  }
  while (!stopped_.load()) {
    read_start_ = static_cast<int64_t>(std::time(nullptr));
    const int r = av_read_frame(format_ctx_.get(), packet.get());
    const bool failed = r < 0 && r != AVERROR(EAGAIN);
    if (failed) {
      to_host([](const host_callback& h) { h.status(2); });
    } else if (r >= 0 && !interrupted_.load() && packet->data) {
      last_pts_ = static_cast<int32_t>(static_cast<uint32_t>(packet->pts));
      const discovery_result found = discover_streams(
          *format_ctx_, streams_,
          [this](const char* text, int arg) { to_host([&](const host_callback& h) { h.log(text, arg); }); });
      if (found.audio_opened) has_audio_ = true;
      route_packet(*packet);
    }
    av_packet_unref(packet.get());

    if ((failed && !stopped_.load()) || interrupted_.load()) {
      ended_ = true;
      wake_workers();
      return;
    }
    // A demuxer without data yet: do not spin on the CPU.
    if (r == AVERROR(EAGAIN)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void playback::route_packet(const AVPacket& packet) {
  const auto it = std::find_if(streams_.begin(), streams_.end(), [&](const auto& s) {
    return s->stream()->index == packet.stream_index;
  });
  if (it == streams_.end()) return;
  {
    std::lock_guard<std::mutex> lock(counters_->mutex);
    ((*it)->is_video() ? counters_->video_bytes : counters_->audio_bytes) += packet.size;
  }
  (*it)->handle_packet(*this, packet);
}

bool playback::lock_cache_for_poll(std::unique_lock<std::mutex>& lock) {
  // The play thread holds the lock while the host handles a frame; a host
  // that blocks must not keep the poll thread from seeing stop().
  lock = std::unique_lock<std::mutex>(cache_mutex_, std::try_to_lock);
  while (!lock.owns_lock()) {
    if (stopped_.load()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    lock.try_lock();
  }
  return true;
}

void playback::picture_decoded(lrk::av_frame_ptr picture) {
  const bool first = !video_format_sent_.load();
  if (first) {
    to_host([&](const host_callback& h) { h.video_format(picture->width, picture->height); });
    video_format_sent_ = true;
  }
  std::unique_lock<std::mutex> lock;
  if (!lock_cache_for_poll(lock)) return;
  if (first) announced_picture_.change_to(picture->width, picture->height);
  cache_.add_picture(std::move(picture));
  std::lock_guard<std::mutex> counters_lock(counters_->mutex);
  ++counters_->video_frames;
}

void playback::sound_decoded(std::vector<lrk::av_frame_ptr> frames) {
  const AVFrame& head = *frames.front();
  const bool first = !audio_format_sent_.load();
  if (first) {
    to_host([&](const host_callback& h) { h.audio_format(head.ch_layout.nb_channels, head.sample_rate); });
    audio_format_sent_ = true;
  }
  std::unique_lock<std::mutex> lock;
  if (!lock_cache_for_poll(lock)) return;
  if (first) announced_sound_.change_to(head.ch_layout.nb_channels, head.sample_rate);
  for (auto& frame : frames) cache_.add_sound(std::move(frame));
}

// ---------------------------------------------------------------- play thread

void playback::play_loop() {
  gate_->outstanding = 0;
  while (!stopped_.load() && !ended_.load()) {
    // Nothing is delivered before a packet one second into the stream was read.
    if (last_pts_.load() >= 1000) {
      const pass_conditions conditions{has_audio_.load(), shared_->audio_muted.load(),
                                       std::chrono::steady_clock::now()};
      std::lock_guard<std::mutex> lock(cache_mutex_);
      pacer_.run_pass(cache_, conditions, gate_->outstanding, *this);
    }
    wait_pass();
  }
}

void playback::wait_pass() {
  std::unique_lock<std::mutex> lock(wake_mutex_);
  wake_cv_.wait_for(lock, play_pass_interval, [this] { return stopped_.load() || ended_.load(); });
}

void playback::wake_workers() {
  { std::lock_guard<std::mutex> lock(wake_mutex_); }
  wake_cv_.notify_all();
}

void playback::deliver_sound(const AVFrame& frame) {
  const int channels = frame.ch_layout.nb_channels;
  if (announced_sound_.change_to(channels, frame.sample_rate))
    to_host([&](const host_callback& h) { h.audio_format(channels, frame.sample_rate); });
  const int size = frame.nb_samples * channels * 2;
  to_host([&](const host_callback& h) { h.audio_frame(frame.data[0], size); });
}

void playback::deliver_picture(const AVFrame& frame) {
  // A stream that changes its picture size is announced again before the
  // first picture of the new size reaches the host.
  if (announced_picture_.change_to(frame.width, frame.height))
    to_host([&](const host_callback& h) { h.video_format(frame.width, frame.height); });
  const int size = frame.width * frame.height * 3;
  to_host([&](const host_callback& h) { h.video_frame(frame.data[0], size); });
}

// ---------------------------------------------------------------- shutdown

bool playback::join_worker(std::unique_ptr<worker_thread>& thread, const char* timeout_message,
                           const char* failed_message) {
  if (!thread) return true;
  const bool joined = thread->join_for(join_timeout);
  if (!joined) {
    // Nothing ends a thread safely here: it is left to finish on its own,
    // keeping this playback alive, and will not call the host again.
    abandoned_ = true;
    shared_->host.log(timeout_message);
    shared_->host.log(failed_message);
  }
  thread.reset();
  return joined;
}

void playback::stop() {
  const host_callback& host = shared_->host;
  stopped_ = true;
  wake_workers();
  host.log("rtmp_player will stop!");

  const bool poll_joined = join_worker(poll_thread_, "waiting poll thread join timeout. terminate it!",
                                       "poll thread terminate failed!");
  const bool play_joined = join_worker(play_thread_, "waiting play thread join timeout. terminate it!",
                                       "play thread terminate failed!");

  // What a thread that is still running uses stays until it lets go of
  // this playback.
  if (poll_joined && play_joined) cache_.clear();
  host.log("rtmp_player data cache is clean.");
  if (poll_joined) {
    streams_.clear();
    closing_ = true;
    format_ctx_.reset();
  }
  host.log("rtmp_player is close!");

  video_format_sent_ = false;
  audio_format_sent_ = false;
  host.clean();
  host.log("status_callback is clean.");
}

void playback::abandon() {
  abandoned_ = true;
  stopped_ = true;
  wake_workers();
}
