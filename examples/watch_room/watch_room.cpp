// watch_room: plays a live room's RTMP stream with vidlark, the way a host
// application would, and prints what it received.
//
//   watch_room [--seconds N] [--snapshot FILE.png] [--mute] [--verbose] rtmp://HOST[:PORT]/APP/STREAM
//
// Plays for N seconds (default 10; 0 plays until interrupted or the stream
// ends). SIGUSR1 writes the snapshot at once; it is written again at the end.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "png_snapshot.h"
#include "room_watcher.h"
#include "vidlark/live_player.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t snapshot_requested = 0;

void on_interrupt(int) { interrupted = 1; }
void on_snapshot_request(int) { snapshot_requested = 1; }

struct options {
  std::string url;
  double seconds = 10;
  std::string snapshot;
  bool mute = false;
  bool verbose = false;
};

void usage(FILE* out) {
  std::fprintf(out,
               "usage: watch_room [--seconds N] [--snapshot FILE.png] [--mute] [--verbose] URL\n"
               "  URL             rtmp://HOST[:PORT]/APP/STREAM\n"
               "  --seconds N     play for N seconds (default 10; 0 = until Ctrl-C or the stream ends)\n"
               "  --snapshot F    write the latest picture to F as PNG (at the end, and on SIGUSR1)\n"
               "  --mute          mute the sound (pictures follow their own timestamps)\n"
               "  --verbose       print the player's log and callbacks on stderr\n");
}

bool parse(int argc, char** argv, options& opt) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "watch_room: %s needs a value\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else if (a == "--seconds") {
      const char* v = value("--seconds");
      char* end = nullptr;
      if (!v || (opt.seconds = std::strtod(v, &end), *end != '\0') || opt.seconds < 0) {
        std::fprintf(stderr, "watch_room: --seconds needs a number of seconds >= 0\n");
        return false;
      }
    } else if (a == "--snapshot") {
      const char* v = value("--snapshot");
      if (!v) return false;
      opt.snapshot = v;
    } else if (a == "--mute") {
      opt.mute = true;
    } else if (a == "--verbose") {
      opt.verbose = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "watch_room: unknown option %s\n", a.c_str());
      return false;
    } else if (opt.url.empty()) {
      opt.url = a;
    } else {
      std::fprintf(stderr, "watch_room: more than one address given\n");
      return false;
    }
  }
  if (opt.url.empty()) {
    std::fprintf(stderr, "watch_room: no address given\n");
    return false;
  }
  if (opt.url.rfind("rtmp://", 0) != 0 || opt.url.size() <= std::strlen("rtmp://")) {
    std::fprintf(stderr, "watch_room: '%s' is not an rtmp:// address\n", opt.url.c_str());
    return false;
  }
  return true;
}

bool save_snapshot(const room_watcher& watcher, const std::string& path) {
  std::vector<unsigned char> bytes;
  int width = 0, height = 0;
  if (!watcher.latest_picture(bytes, width, height)) {
    std::fprintf(stderr, "watch_room: no picture yet, snapshot not written\n");
    return false;
  }
  const std::string error = write_png_snapshot(path, bytes, width, height);
  if (!error.empty()) {
    std::fprintf(stderr, "watch_room: snapshot: %s\n", error.c_str());
    return false;
  }
  return true;
}

const char* play_error(int code) {
  switch (code) {
    case -1: return "cannot connect to the stream (refused, unreachable, no answer, or nobody publishes it)";
    case -2: return "connected, but the stream information cannot be read";
    case -3: return "connected, but the stream holds no streams";
    default: return "play failed";
  }
}

}  // namespace

int main(int argc, char** argv) {
  options opt;
  if (!parse(argc, argv, opt)) {
    usage(stderr);
    return 2;
  }
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  std::signal(SIGUSR1, on_snapshot_request);

  i_live_player* player = create_vidlark();
  if (!player) {
    std::fprintf(stderr, "watch_room: cannot create the player\n");
    return 1;
  }
  // The player owns the callback from here on; free_vidlark() destroys it.
  auto* watcher = new room_watcher(opt.verbose);
  watcher->attach(player);
  player->set_callback(watcher);
  player->set_audio_muted(opt.mute);

  watcher->mark_play_start();
  const int played = player->play(opt.url.c_str());
  int exit_code = 0;
  if (played != 0) {
    std::fprintf(stderr, "watch_room: %s: %s (code %d)\n", opt.url.c_str(), play_error(played), played);
    exit_code = 1;
  } else {
    const auto start = std::chrono::steady_clock::now();
    while (!interrupted && !player->is_ended()) {
      if (opt.seconds > 0 && std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= opt.seconds)
        break;
      if (snapshot_requested && !opt.snapshot.empty()) {
        snapshot_requested = 0;
        save_snapshot(*watcher, opt.snapshot);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (player->is_ended()) std::fprintf(stderr, "watch_room: the stream ended\n");
  }

  player_stats stats{};
  player->access_stats(&stats);
  player->stop();
  const watch_figures f = watcher->figures();

  if (played == 0) {
    std::printf("pictures delivered:      %llu (%dx%d), %llu bytes\n", (unsigned long long)f.pictures,
                f.width, f.height, (unsigned long long)f.picture_bytes);
    std::printf("sound buffers delivered: %llu (%d ch, %d Hz), %llu bytes\n",
                (unsigned long long)f.sound_buffers, f.channels, f.sample_rate,
                (unsigned long long)f.sound_bytes);
    std::printf("stream bytes read:       video %llu, audio %llu; pictures decoded %llu\n",
                (unsigned long long)stats.video_bytes, (unsigned long long)stats.audio_bytes,
                (unsigned long long)stats.video_frames);
    std::printf("status codes:            ");
    if (f.status_counts.empty()) std::printf("none");
    for (const auto& [code, count] : f.status_counts) std::printf("%d (x%d) ", code, count);
    // The player reports 2 for every read that ends, including the one its
    // own stop() aborts.
    if (f.status_counts.count(2)) std::printf(" [2: a read ended; once at stop is normal]");
    std::printf("\n");
    if (f.first_picture_ms >= 0)
      std::printf("time to first picture:   %.0f ms\n", f.first_picture_ms);
    else
      std::printf("time to first picture:   no picture\n");
    if (!opt.snapshot.empty()) {
      if (save_snapshot(*watcher, opt.snapshot))
        std::printf("snapshot:                %s\n", opt.snapshot.c_str());
      else
        exit_code = 1;
    }
    if (f.pictures == 0 && f.sound_buffers == 0) exit_code = 1;
  }

  free_vidlark(player);  // destroys the watcher
  delete player;
  return exit_code;
}
