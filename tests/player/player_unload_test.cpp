// A host that loads and unloads the library at run time: FFmpeg must not be
// left logging through code that is gone.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "vidlark/live_player.h"

extern "C" {
#include <libavutil/log.h>
}

TEST(player_unload, unloading_the_library_leaves_ffmpeg_logging_safely) {
  for (int round = 0; round < 3; ++round) {
    void* lib = dlopen(VIDLARK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    using create_fn = i_live_player* (*)();
    using free_fn = void (*)(i_live_player*);
    auto create = reinterpret_cast<create_fn>(dlsym(lib, "_Z14create_vidlarkv"));
    auto release = reinterpret_cast<free_fn>(dlsym(lib, "_Z12free_vidlarkP13i_live_player"));
    ASSERT_NE(create, nullptr);
    ASSERT_NE(release, nullptr);

    i_live_player* player = create();  // installs the library's log callback
    release(player);
    delete player;
    ASSERT_EQ(dlclose(lib), 0);

    // Would jump into unmapped code if the callback were still installed.
    av_log(nullptr, AV_LOG_WARNING, "logging after unload, round %d\n", round);
  }
}
