#include "temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace lrk::test {

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lrk-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace lrk::test
