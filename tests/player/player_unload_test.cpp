// A host that loads and unloads the library at run time. libvidlark.so must
// really leave memory when no worker of it is alive, stay mapped while a
// worker that outlived its join still runs (it would return into unmapped
// code), put FFmpeg's log callback back when it goes, and export nothing
// but its interface.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "player_host.h"
#include "rtmp_server.h"
#include "stream_feeder.h"
#include "temp_dir.h"
#include "vidlark/live_player.h"

extern "C" {
#include <libavutil/log.h>
}

namespace lrk::test {
namespace {

using namespace std::chrono_literals;

bool library_mapped() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find("libvidlark.so") != std::string::npos) return true;
  return false;
}

// What FFmpeg's log writes to standard error while `call` runs.
template <class Call>
std::string stderr_of(Call call) {
  temp_dir dir;
  const std::string path = dir.file("stderr");
  std::fflush(stderr);
  const int saved = dup(2);
  FILE* f = std::fopen(path.c_str(), "w");
  dup2(fileno(f), 2);
  call();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(f);
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class loaded_library {
 public:
  loaded_library() : lib_(dlopen(VIDLARK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {
    if (!lib_) return;
    create_ = reinterpret_cast<i_live_player* (*)()>(dlsym(lib_, "_Z14create_vidlarkv"));
    release_ = reinterpret_cast<void (*)(i_live_player*)>(dlsym(lib_, "_Z12free_vidlarkP13i_live_player"));
  }
  bool ok() const { return lib_ && create_ && release_; }
  i_live_player* create() const { return create_(); }
  void release(i_live_player* p) const {
    release_(p);
    delete p;
  }
  int close() {
    const int r = dlclose(lib_);
    lib_ = nullptr;
    return r;
  }

 private:
  void* lib_;
  i_live_player* (*create_)() = nullptr;
  void (*release_)(i_live_player*) = nullptr;
};

TEST(player_unload, the_library_leaves_memory_after_a_playback_and_restores_ffmpegs_log) {
  rtmp_server server;
  temp_dir dir;
  stream_feeder feeder(server.url("room"), streams::bars_with_tone(), dir.file("feeder.log"));
  std::this_thread::sleep_for(1500ms);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_FALSE(library_mapped());
    loaded_library lib;
    ASSERT_TRUE(lib.ok()) << dlerror();
    auto record = std::make_shared<host_record>();
    i_live_player* player = lib.create();
    auto* host = new recording_host(record);
    host->attach(player);
    player->set_callback(host);
    ASSERT_EQ(player->play(server.url("room").c_str()), 0);
    ASSERT_TRUE(record->wait_for([&] { return record->pictures >= 3; }, 15s));
    EXPECT_EQ(player->stop(), 0);
    // The library's own log route drops messages below warnings.
    EXPECT_EQ(stderr_of([] { av_log(nullptr, AV_LOG_INFO, "info while loaded\n"); }), "");
    lib.release(player);
    ASSERT_EQ(lib.close(), 0);

    EXPECT_FALSE(library_mapped()) << "dlclose left the library in memory";
    // FFmpeg's own callback is back (it prints informational lines); the
    // library's would now be unmapped code.
    EXPECT_NE(stderr_of([] { av_log(nullptr, AV_LOG_INFO, "info after unload\n"); })
                  .find("info after unload"),
              std::string::npos);
  }
}

TEST(player_unload, a_worker_that_outlived_its_join_keeps_the_library_until_it_ends) {
  rtmp_server server;
  temp_dir dir;
  stream_feeder feeder(server.url("room"), streams::bars_with_tone(), dir.file("feeder.log"));
  std::this_thread::sleep_for(1500ms);
  loaded_library lib;
  ASSERT_TRUE(lib.ok()) << dlerror();
  auto record = std::make_shared<host_record>();
  host_options options;
  options.block_video_frame = 5s;
  i_live_player* player = lib.create();
  auto* host = new recording_host(record, options);
  host->attach(player);
  player->set_callback(host);
  ASSERT_EQ(player->play(server.url("room").c_str()), 0);
  ASSERT_TRUE(record->wait_for([&] { return record->blocking; }, 15s));
  EXPECT_EQ(player->stop(), 0);  // gives up on the play thread after 3 s
  lib.release(player);
  ASSERT_EQ(lib.close(), 0);
  EXPECT_TRUE(library_mapped()) << "unmapped under a running worker";

  // The worker returns from the host and ends; the library can go then.
  ASSERT_TRUE(record->wait_for([&] { return record->destroyed; }, 10s));
  bool unloaded = false;
  for (int i = 0; i < 50 && !unloaded; ++i) {
    std::this_thread::sleep_for(100ms);
    void* again = dlopen(VIDLARK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(again, nullptr);
    dlclose(again);
    unloaded = !library_mapped();
  }
  EXPECT_TRUE(unloaded) << "still mapped after its last worker ended";
}

TEST(player_unload, exports_only_the_interface) {
  const std::string command = std::string("nm -D --defined-only '") + VIDLARK_LIBRARY_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  int exported = 0;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string symbol(line);
    char type = 0;
    char name[900] = {};
    if (std::sscanf(line, "%*s %c %899s", &type, name) != 2) continue;
    EXPECT_NE(type, 'u') << "a unique symbol makes the library undeletable: " << symbol;
    const std::string n(name);
    if (n == "_init" || n == "_fini" || type == 'A') continue;
    ++exported;
    EXPECT_TRUE(n.find("i_live_player") != std::string::npos || n.find("create_vidlark") != std::string::npos ||
                n.find("free_vidlark") != std::string::npos)
        << "exported: " << symbol;
  }
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_GT(exported, 0);
}

}  // namespace
}  // namespace lrk::test
