// libcastbay.so shows the host only its interface: the interface classes and
// the two exported functions; everything else, FFmpeg glue included, stays
// hidden.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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
