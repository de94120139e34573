// A room from real capture devices to a real nginx RTMP server, and a
// vidlark player watching it, for end-to-end tests.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "live_capture_manager.h"
#include "player_host.h"
#include "recording_callback.h"
#include "rtmp_server.h"
#include "vidlark/live_player.h"

namespace capture_test {

struct live_room {
  lrk::test::rtmp_server server;
  recording_callback host;
  live_capture_manager manager;  // the machine's platform: built-in and real devices

  // The built-in camera and microphone.
  live_room();
  ~live_room();
  // Hosts the room to a new stream of this server; host_room's result.
  int open(const std::string& stream);
  std::string url() const { return url_; }

 private:
  std::string url_;
};

// vidlark playing an address, recording what its host receives.
class room_player {
 public:
  room_player();
  ~room_player();
  room_player(const room_player&) = delete;
  room_player& operator=(const room_player&) = delete;

  int play(const std::string& url);
  // Waits until the host got `pictures` pictures and `samples` sound frames.
  bool wait_for(std::uint64_t pictures, std::size_t samples, std::chrono::milliseconds limit);
  std::shared_ptr<lrk::test::host_record> record() const { return record_; }

 private:
  std::shared_ptr<lrk::test::host_record> record_;
  i_live_player* player_;
};

// The SMPTE bars of the top half, left to right, as the player delivers them.
extern const lrk::test::rgb smpte_top_bars[7];
// Checks the colour bars of the top half in a bottom-up BGR24 picture.
void expect_bars_upright(const std::vector<unsigned char>& bgr_bottom_up, int width, int height);
// The same checks on a YUY2 picture, top row first.
void expect_yuy2_bars_upright(const std::vector<unsigned char>& yuy2, int width, int height);

// Threads, open files and resident memory of this process.
struct process_footprint {
  int threads = 0;
  int open_files = 0;
  long resident_kb = 0;
};
process_footprint footprint();

}  // namespace capture_test
