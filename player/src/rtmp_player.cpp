#include "rtmp_player.h"

#include "ffmpeg_log.h"

rtmp_player::rtmp_player()
    : shared_(std::make_shared<player_shared>()),
      counters_(std::make_shared<playback_counters>()) {
  install_ffmpeg_log();
}

rtmp_player::~rtmp_player() {
  // A host that destroys a playing player: let the threads end by themselves
  // without calling anyone.
  if (playback_ && !playback_->stopped()) playback_->abandon();
}

void rtmp_player::set_callback(i_live_player_callback* callback) { shared_->host.set(callback); }

int rtmp_player::play(const char* url) {
  if (playback_ && !playback_->stopped()) return -1;
  if (url) url_ = url;
  counters_ = std::make_shared<playback_counters>();
  auto gate = std::make_shared<sound_gate>();
  gate_.store(gate);
  playback_ = std::make_shared<playback>(shared_, counters_, std::move(gate), url_);
  return playback_->open();
}

int rtmp_player::stop() {
  if (!playback_ || playback_->stopped()) return 0;
  playback_->stop();
  return 0;
}

int rtmp_player::is_ended() { return playback_ && playback_->ended() ? 1 : 0; }

int rtmp_player::audio_buffer_done(std::uint32_t) { return gate_.load()->outstanding.fetch_sub(1) - 1; }

void rtmp_player::access_stats(player_stats* stats) {
  if (!stats) return;
  std::lock_guard<std::mutex> lock(counters_->mutex);
  if (stats->write) {
    counters_->video_bytes = stats->video_bytes;
    counters_->audio_bytes = stats->audio_bytes;
    counters_->video_frames = stats->video_frames;
  } else {
    stats->video_bytes = counters_->video_bytes;
    stats->audio_bytes = counters_->audio_bytes;
    stats->video_frames = counters_->video_frames;
  }
}

bool rtmp_player::set_audio_muted(bool muted) {
  shared_->audio_muted = muted;
  return muted;
}

void rtmp_player::release_callback() { shared_->host.release_owned(); }
