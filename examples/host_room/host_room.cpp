// host_room: hosts a live room with castbay, the way a host application
// would: captures a camera and a microphone (the built-in test devices
// unless others are named), publishes them to an RTMP address, and prints
// what was captured and written. Or runs a local preview.
//
//   host_room --list
//   host_room [OPTIONS] rtmp://HOST[:PORT]/APP/STREAM
//   host_room --preview [OPTIONS]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "castbay/live_av_capture.h"
#include "png_snapshot.h"
#include "room_host.h"
#include "wide_text.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

struct options {
  bool list = false;
  bool preview = false;
  std::string url;
  std::wstring video = castbay_test_camera_path;
  std::wstring audio = castbay_test_microphone_path;
  bool with_video = true;
  bool with_audio = true;
  int width = 640, height = 480, fps = 30;
  int rate = 44100, channels = 2, bits = 16, audio_bit_rate = 64000;
  double quality = -1;  // the library's own default unless given
  double seconds = 10;
  std::string snapshot;
  bool verbose = false;
};

void usage(FILE* out) {
  std::fprintf(out,
      "usage: host_room --list\n"
      "       host_room [OPTIONS] rtmp://HOST[:PORT]/APP/STREAM   host a room\n"
      "       host_room --preview [OPTIONS]                     capture without publishing\n"
      "  --video PATH       camera device path from --list, or 'none' (default: the built-in\n"
      "                     test-pattern camera, %ls)\n"
      "  --audio PATH       microphone device path from --list, or 'none' (default: the\n"
      "                     built-in test-tone microphone, %ls)\n"
      "  --size WxH         requested picture size (default 640x480)\n"
      "  --fps N            requested frame rate (default 30)\n"
      "  --rate HZ          sample rate (default 44100)\n"
      "  --channels N       1 or 2 (default 2)\n"
      "  --bits N           16 or 8 (default 16)\n"
      "  --audio-bitrate B  AAC bit rate in bit/s (default 64000)\n"
      "  --quality L        video quality level, 10 to 400 (40 = 1 bit per pixel; default 32)\n"
      "  --seconds N        run for N seconds (default 10; 0 = until Ctrl-C)\n"
      "  --snapshot F.png   write the last captured frame to F, upright\n"
      "  --verbose          also print one line per packet written\n",
      castbay_test_camera_path, castbay_test_microphone_path);
}

bool number(const char* text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

bool whole(const char* text, int* value, int least) {
  double v = 0;
  if (!number(text, &v) || v != static_cast<int>(v) || v < least) return false;
  *value = static_cast<int>(v);
  return true;
}

bool parse(int argc, char** argv, options& opt) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = nullptr;
    auto needs_value = [&] {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "host_room: %s needs a value\n", a.c_str());
        return false;
      }
      v = argv[++i];
      return true;
    };
    auto bad = [&](const char* what) {
      std::fprintf(stderr, "host_room: %s needs %s, not '%s'\n", a.c_str(), what, v);
      return false;
    };
    if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else if (a == "--list") {
      opt.list = true;
    } else if (a == "--preview") {
      opt.preview = true;
    } else if (a == "--verbose") {
      opt.verbose = true;
    } else if (a == "--video" || a == "--audio") {
      if (!needs_value()) return false;
      const bool none = std::strcmp(v, "none") == 0;
      (a == "--video" ? opt.with_video : opt.with_audio) = !none;
      if (!none) (a == "--video" ? opt.video : opt.audio) = wide_from_utf8(v);
    } else if (a == "--size") {
      if (!needs_value()) return false;
      if (std::sscanf(v, "%dx%d", &opt.width, &opt.height) != 2 || opt.width <= 0 || opt.height <= 0)
        return bad("a size such as 640x480");
    } else if (a == "--fps" || a == "--rate" || a == "--channels" || a == "--bits" ||
               a == "--audio-bitrate") {
      if (!needs_value()) return false;
      int* target = a == "--fps" ? &opt.fps : a == "--rate" ? &opt.rate : a == "--channels" ? &opt.channels
                  : a == "--bits" ? &opt.bits : &opt.audio_bit_rate;
      if (!whole(v, target, 1)) return bad("a positive whole number");
    } else if (a == "--quality" || a == "--seconds") {
      if (!needs_value()) return false;
      double* target = a == "--quality" ? &opt.quality : &opt.seconds;
      if (!number(v, target) || *target < 0) return bad("a number >= 0");
    } else if (a == "--snapshot") {
      if (!needs_value()) return false;
      opt.snapshot = v;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "host_room: unknown option %s\n", a.c_str());
      return false;
    } else if (opt.url.empty()) {
      opt.url = a;
    } else {
      std::fprintf(stderr, "host_room: more than one address given\n");
      return false;
    }
  }
  if (opt.list) return true;
  if (!opt.with_video && !opt.with_audio) {
    std::fprintf(stderr, "host_room: --video none and --audio none leave nothing to capture\n");
    return false;
  }
  if (opt.preview != opt.url.empty()) {
    std::fprintf(stderr, opt.preview ? "host_room: a preview publishes nowhere; drop the address\n"
                                     : "host_room: no address given\n");
    return false;
  }
  return true;
}

int list_devices(i_live_av_capture& manager) {
  int failures = 0;
  for (int audio = 0; audio <= 1; ++audio) {
    capture_device_list devices;
    const int result = manager.list_devices(audio, &devices);
    std::printf("%s:\n", audio ? "microphones" : "cameras");
    if (result < 0) {
      std::printf("  (cannot be listed: code %d)\n", result);
      ++failures;
    }
    for (const auto& [name, path] : devices)
      std::printf("  %-40s %s\n", utf8_from_wide(name).c_str(), utf8_from_wide(path).c_str());
  }
  return failures ? 1 : 0;
}

const char* room_error(int code) {
  switch (code) {
    case -1: return "the camera would not start";
    case -2: return "the microphone would not start";
    case -3: return "the camera cannot be opened (see --list for the device paths)";
    case -4: return "the microphone cannot be opened (see --list for the device paths)";
    case -6: return "the address cannot be published to (server unreachable, refused, or not rtmp://)";
    case -10: return "nothing to capture";
    default: return "hosting failed";
  }
}

bool save_snapshot(const room_host& host, const std::string& path) {
  std::vector<unsigned char> bytes;
  int width = 0, height = 0, bits = 0;
  if (!host.latest_frame(bytes, width, height, bits)) {
    std::fprintf(stderr, "host_room: no frame was captured, snapshot not written\n");
    return false;
  }
  const picture_layout layout = bits == 24 ? picture_layout::bgr24_bottom_up : picture_layout::yuy2;
  const std::string error = write_png_snapshot(path, bytes, width, height, layout);
  if (!error.empty()) {
    std::fprintf(stderr, "host_room: snapshot: %s\n", error.c_str());
    return false;
  }
  return true;
}

void print_figures(const host_figures& f, const capture_stats& stats, bool published) {
  std::printf("video frames captured:   %llu (%dx%d, %d bit), %llu bytes\n",
              (unsigned long long)f.video_frames, f.width, f.height, f.bits_per_pixel,
              (unsigned long long)f.video_bytes);
  std::printf("sound buffers captured:  %llu (%d ch, %d Hz, %d bit), %llu bytes\n",
              (unsigned long long)f.audio_buffers, f.channels, f.sample_rate, f.bits_per_sample,
              (unsigned long long)f.audio_bytes);
  if (!published) return;
  std::printf("written to the server:   %llu video packets, %llu video bytes, %llu audio bytes\n",
              (unsigned long long)stats.video_frames, (unsigned long long)stats.video_bytes,
              (unsigned long long)stats.audio_bytes);
  std::printf("packets refused:         %llu video, %llu audio\n",
              (unsigned long long)f.refused_video, (unsigned long long)f.refused_audio);
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

  i_live_av_capture* manager = create_cap_manager();
  // The manager owns the callback from here on; free_cap_manager() destroys it.
  auto* host = new room_host(opt.verbose, !opt.snapshot.empty());
  manager->set_callback(host);

  int exit_code = 0;
  if (opt.list) {
    exit_code = list_devices(*manager);
  } else {
    manager->set_device_names(opt.video, opt.audio);
    if (opt.with_video) manager->set_video_param(opt.width, opt.height, opt.fps);
    if (opt.with_audio) manager->set_audio_param(opt.rate, opt.bits, opt.channels, opt.audio_bit_rate);
    if (opt.quality >= 0) manager->set_video_quality(static_cast<float>(opt.quality));

    int hosted = 0;
    if (opt.preview) {
      manager->preview();
    } else {
      hosted = manager->host_room(opt.url.c_str());
      if (hosted != 0) {
        std::fprintf(stderr, "host_room: %s: %s (code %d)\n", opt.url.c_str(), room_error(hosted), hosted);
        exit_code = 1;
      }
    }
    if (hosted == 0) {
      const auto start = std::chrono::steady_clock::now();
      while (!interrupted && (opt.seconds == 0 ||
                              std::chrono::steady_clock::now() - start < std::chrono::duration<double>(opt.seconds)))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    capture_stats stats{};
    manager->access_stats(&stats);
    manager->unhost_room();

    const host_figures f = host->figures();
    if (hosted == 0) {
      print_figures(f, stats, !opt.preview);
      if (opt.with_video && f.video_frames == 0) {
        std::fprintf(stderr, "host_room: no video frame was captured\n");
        exit_code = 1;
      }
      if (opt.with_audio && f.audio_buffers == 0) {
        std::fprintf(stderr, "host_room: no sound buffer was captured\n");
        exit_code = 1;
      }
      if (!opt.snapshot.empty()) {
        if (save_snapshot(*host, opt.snapshot)) std::printf("snapshot:                %s\n", opt.snapshot.c_str());
        else exit_code = 1;
      }
    }
  }
  free_cap_manager(manager);  // destroys the host callback
  delete manager;
  return exit_code;
}
