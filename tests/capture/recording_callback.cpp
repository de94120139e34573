#include "recording_callback.h"

#include <cstdarg>
#include <cstdio>

namespace capture_test {

void recording_callback::on_log(int level, std::string format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format.c_str(), args);
  va_end(args);
  std::lock_guard lock(lock_);
  lines_.push_back({level, format, text});
}

void recording_callback::on_status(int code) {
  std::lock_guard lock(lock_);
  statuses_.push_back(code);
}

std::vector<log_line> recording_callback::lines() const {
  std::lock_guard lock(lock_);
  return lines_;
}

std::vector<std::string> recording_callback::formats(int level) const {
  std::lock_guard lock(lock_);
  std::vector<std::string> found;
  for (const log_line& l : lines_)
    if (l.level == level) found.push_back(l.format);
  return found;
}

std::vector<int> recording_callback::statuses() const {
  std::lock_guard lock(lock_);
  return statuses_;
}

}  // namespace capture_test
