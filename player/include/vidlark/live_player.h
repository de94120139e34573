// vidlark: plays one live RTMP (FLV) stream for a host application.
//
// The host creates a player with create_vidlark(), registers its callback,
// calls play() with an rtmp:// address, receives pictures and sound through
// the callback, ends the playback with stop(), and finally calls
// free_vidlark(). A stopped player can play again.
//
// Threads: play() and stop() run on the host's thread. Each playback runs a
// poll thread (reads, decodes, announces formats, reports status) and a play
// thread (delivers pictures and sound). Every operation returns an int code;
// nothing throws across this interface.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define VIDLARK_API __declspec(dllexport)
#else
#define VIDLARK_API __attribute__((visibility("default")))
#endif

// Counters of one playback. With `write` false, access_stats() fills the
// three counters; with `write` true, the player takes them as its new values.
struct player_stats {
  std::uint64_t video_bytes;   // bytes of packets read for the video stream
  std::uint64_t audio_bytes;   // bytes of packets read for the audio stream
  std::uint64_t video_frames;  // pictures decoded, including those dropped by a full cache
  bool write;
};

// Implemented by the host. The slot order is part of the binary contract.
//
// Every call must return quickly and must not throw. From inside a callback
// never call stop(), free_vidlark() or access_stats(): the frame callbacks run
// on the play thread while it holds the player's cache lock, and stop() waits
// for that thread.
class VIDLARK_API i_live_player_callback {
 public:
  // Poll thread (play thread when the size changes in mid-stream), before the
  // first picture of that size is delivered. bits_per_pixel is always 24.
  virtual void on_video_format(int width, int height, int bits_per_pixel) = 0;
  // Poll thread, before the first sound is delivered. bits_per_sample is always 16.
  virtual void on_audio_format(int channels, int sample_rate, int bits_per_sample) = 0;
  // Play thread, cache lock held. Packed BGR24, rows of width * 3 bytes,
  // bottom row first; size = width * height * 3. Valid only during the call.
  virtual void on_video_frame(unsigned char* data, int size) = 0;
  // Play thread, cache lock held. Signed 16-bit samples interleaved over the
  // channels; size = samples * channels * 2. Valid only during the call.
  // Call i_live_player::audio_buffer_done() once the buffer has been played:
  // at most 10 buffers are outstanding. The result is ignored.
  virtual int on_audio_frame(unsigned char* data, int size) = 0;
  // Any thread. level is always 0; `format` is a printf format followed by
  // zero or one int argument.
  virtual void on_log(int level, std::string format, ...) = 0;
  // Poll thread. 2: a read failed (connection lost, stream ended, read
  // time-out, or stop() aborting the read).
  virtual void on_status(int code) = 0;
  // The thread calling stop(), at the end of every stop() of a playback.
  virtual void clean() = 0;
  virtual ~i_live_player_callback() = default;
};

// The player. All operations are called from host threads, never from
// inside a callback.
class VIDLARK_API i_live_player {
 public:
  // Registers the callback; the player owns it from free_vidlark()'s point of
  // view. An earlier callback is not destroyed and receives nothing more.
  // Without a callback the player plays silently.
  virtual void set_callback(i_live_player_callback* callback) = 0;
  // Connects, probes and starts the two worker threads. url null keeps the
  // previous address. 0 running; -1 refused (not stopped) or the connection
  // failed or timed out (about 5 s without an answer); -2 the stream
  // information cannot be read; -3 the stream has no streams. After any
  // play(), stop() must come before the next play().
  virtual int play(const char* url) = 0;
  // Ends the playback: waits up to 3000 ms for each worker thread, releases
  // the cache, decoders and connection, then calls clean(). Returns 0.
  virtual int stop() = 0;
  // 1 once the playback ended by itself (failed open, read failure or read
  // time-out), until the next play(); else 0.
  virtual int is_ended() = 0;
  // Acknowledges one played sound buffer; returns the buffers still outstanding.
  virtual int audio_buffer_done(std::uint32_t unused) = 0;
  // Reads or writes the counters (see player_stats).
  virtual void access_stats(player_stats* stats) = 0;
  // While muted no sound is delivered, the sound cache is trimmed to 50
  // frames and pictures follow their own timestamps. Returns the value stored.
  virtual bool set_audio_muted(bool muted) = 0;
  virtual ~i_live_player();
};

// Returns a new player, or null if it cannot be allocated.
VIDLARK_API i_live_player* create_vidlark();
// Stops the player and destroys its registered callback object. The player
// itself is destroyed through its virtual destructor (delete) afterwards.
VIDLARK_API void free_vidlark(i_live_player* player);
