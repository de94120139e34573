// The player behind i_live_player: a host-facing shell around the current
// playback.
#pragma once

#include <memory>
#include <string>

#include "playback.h"
#include "player_shared.h"
#include "vidlark/live_player.h"

class rtmp_player final : public i_live_player {
 public:
  rtmp_player();
  ~rtmp_player() override;

  void set_callback(i_live_player_callback* callback) override;
  int play(const char* url) override;
  int stop() override;
  int is_ended() override;
  int audio_buffer_done(std::uint32_t unused) override;
  void access_stats(player_stats* stats) override;
  bool set_audio_muted(bool muted) override;

  // free_vidlark(): destroys the registered callback once no thread uses it.
  void release_callback();

 private:
  // All members belong to the host's thread; worker threads reach only
  // what they share through shared_ and the playback.
  std::shared_ptr<player_shared> shared_;
  std::shared_ptr<playback_counters> counters_;
  std::shared_ptr<playback> playback_;  // the current or the last playback
  std::string url_;
  // The sound gate of the current playback: audio_buffer_done() may come
  // from any host thread, also while play() replaces it.
  std::atomic<std::shared_ptr<sound_gate>> gate_{std::make_shared<sound_gate>()};
};
