#include "host_callback.h"

host_callback::holder::~holder() {
  if (owned.load()) delete callback;
}

void host_callback::set(i_live_player_callback* callback) {
  current_.store(callback ? std::make_shared<holder>(callback) : nullptr);
}

void host_callback::release_owned() {
  if (std::shared_ptr<holder> h = current_.exchange(nullptr)) h->owned.store(true);
}

void host_callback::log(const char* text) const {
  with_callback([&](i_live_player_callback& cb) { cb.on_log(0, text); });
}

void host_callback::log(const char* text, int arg) const {
  with_callback([&](i_live_player_callback& cb) { cb.on_log(0, text, arg); });
}

void host_callback::video_format(int width, int height) const {
  with_callback([&](i_live_player_callback& cb) { cb.on_video_format(width, height, 24); });
}

void host_callback::audio_format(int channels, int sample_rate) const {
  with_callback([&](i_live_player_callback& cb) { cb.on_audio_format(channels, sample_rate, 16); });
}

void host_callback::video_frame(unsigned char* data, int size) const {
  with_callback([&](i_live_player_callback& cb) { cb.on_video_frame(data, size); });
}

void host_callback::audio_frame(unsigned char* data, int size) const {
  with_callback([&](i_live_player_callback& cb) { cb.on_audio_frame(data, size); });
}

void host_callback::status(int code) const {
  with_callback([&](i_live_player_callback& cb) { cb.on_status(code); });
}

void host_callback::clean() const {
  with_callback([&](i_live_player_callback& cb) { cb.clean(); });
}
