// A player created through the library's exports, a recording host, and a
// private RTMP server with ffmpeg feeders.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "player_host.h"
#include "rtmp_server.h"
#include "stream_feeder.h"
#include "temp_dir.h"
#include "vidlark/live_player.h"

namespace lrk::test {

using namespace std::chrono_literals;

class player_fixture : public ::testing::Test {
 protected:
  player_fixture() : player(create_vidlark()) {}
  ~player_fixture() override {
    free_vidlark(player);
    delete player;
  }

  // Registers a recording host; the player owns it from here on.
  void register_host(host_options options = {}) {
    auto* host = new recording_host(record, options);
    host->attach(player);
    player->set_callback(host);
  }

  // Starts publishing `args` as stream `name` and gives nginx a moment to
  // see it (none with `settle` 0: a player started at once sees the stream
  // from its first packet).
  stream_feeder& feed(const std::string& name, const std::vector<std::string>& args,
                      std::chrono::milliseconds settle = 1500ms) {
    feeders.push_back(std::make_unique<stream_feeder>(server.url(name), args, dir.file(name + ".log")));
    std::this_thread::sleep_for(settle);
    return *feeders.back();
  }

  // Pictures delivered per second over `window`, after what came before.
  double picture_rate(std::chrono::milliseconds window) {
    const uint64_t before = record->read([&] { return record->pictures; });
    std::this_thread::sleep_for(window);
    const uint64_t after = record->read([&] { return record->pictures; });
    return (after - before) * 1000.0 / window.count();
  }

  bool wait_for(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 15s) {
    return record->wait_for(pred, timeout);
  }

  player_stats stats() {
    player_stats s{};
    player->access_stats(&s);
    return s;
  }

  temp_dir dir;
  rtmp_server server;
  std::vector<std::unique_ptr<stream_feeder>> feeders;
  std::shared_ptr<host_record> record = std::make_shared<host_record>();
  i_live_player* player;
};

}  // namespace lrk::test
