// The host's registered callback, shared by the player and its worker
// threads. Every call is a no-op while no callback is registered, and a call
// in progress keeps the callback object alive: free_vidlark() hands the
// object over for destruction, and it is destroyed when the last call that
// uses it has returned, even on a worker thread that outlived stop().
#pragma once

#include <atomic>
#include <memory>

#include "vidlark/live_player.h"

class host_callback {
 public:
  // Registers `callback`; the one registered before is neither destroyed
  // nor called again.
  void set(i_live_player_callback* callback);
  // Unregisters the current callback and destroys it once no call uses it.
  void release_owned();

  void log(const char* text) const;
  void log(const char* text, int arg) const;
  void video_format(int width, int height) const;
  void audio_format(int channels, int sample_rate) const;
  void video_frame(unsigned char* data, int size) const;
  void audio_frame(unsigned char* data, int size) const;
  void status(int code) const;
  void clean() const;

 private:
  struct holder {
    explicit holder(i_live_player_callback* c) : callback(c) {}
    ~holder();
    i_live_player_callback* callback;
    std::atomic<bool> owned{false};  // destroy `callback` with the last reference
  };

  template <class Call>
  void with_callback(Call&& call) const {
    if (std::shared_ptr<holder> h = current_.load()) call(*h->callback);
  }

  std::atomic<std::shared_ptr<holder>> current_;
};
