// libcastbay.so shows the host only its interface: the interface classes and
// the two exported functions; everything else, FFmpeg glue included, stays
// hidden.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "castbay/live_av_capture.h"

TEST(castbay_exports, only_the_interface_is_visible) {
  const std::string command =
      std::string("nm -D --defined-only --demangle '") + CASTBAY_LIBRARY_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  int exported = 0;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    const std::string symbol(line);
    // Symbols the toolchain adds to every shared object.
    if (symbol.find(" _init") != std::string::npos || symbol.find(" _fini") != std::string::npos ||
        symbol.find(" A ") != std::string::npos)
      continue;
    ++exported;
    EXPECT_TRUE(symbol.find("i_live_av_capture") != std::string::npos ||
                symbol.find("create_cap_manager") != std::string::npos ||
                symbol.find("free_cap_manager") != std::string::npos)
        << "exported: " << symbol;
  }
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_GT(exported, 0);
}

namespace {
// A host callback that says when it is destroyed.
class counted_callback final : public i_live_av_capture_callback {
 public:
  explicit counted_callback(int* destroyed) : destroyed_(destroyed) {}
  ~counted_callback() override { ++*destroyed_; }
  void on_video_format(int, int, int) override {}
  void on_audio_format(int, int, int) override {}
  void on_video_frame(unsigned char*, int) override {}
  void on_audio_frame(unsigned char*, int) override {}
  void on_log(int, std::string, ...) override { ++logs; }
  void on_status(int) override {}
  void clean() override {}
  int logs = 0;

 private:
  int* destroyed_;
};
}  // namespace

TEST(castbay_exports, free_cap_manager_destroys_the_callback_once_and_leaves_the_manager) {
  int destroyed = 0;
  i_live_av_capture* manager = create_cap_manager();
  ASSERT_NE(manager, nullptr);
  auto* callback = new counted_callback(&destroyed);
  manager->set_callback(callback);
  // Nothing was asked for: the room fails, and its messages reach the host.
  EXPECT_EQ(manager->host_room("rtmp://127.0.0.1:1/live/x"), -10);
  EXPECT_GT(callback->logs, 0);
  free_cap_manager(manager);
  EXPECT_EQ(destroyed, 1);
  // The callback is gone from the manager: no message goes anywhere.
  EXPECT_EQ(manager->host_room(nullptr), -10);
  free_cap_manager(manager);
  EXPECT_EQ(destroyed, 1);
  delete manager;
}
