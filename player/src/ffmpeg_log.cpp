#include "ffmpeg_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace {

std::mutex& log_mutex() {
  static std::mutex mutex;
  return mutex;
}

void log_to_stderr(void*, int level, const char* format, va_list args) {
  if (level > AV_LOG_WARNING) return;
  std::lock_guard<std::mutex> lock(log_mutex());
  char line[1024] = {};
  vsnprintf(line, sizeof line, format, args);
  const size_t n = strlen(line);
  if (n == 0) return;
  fputs(line, stderr);
  if (line[n - 1] != '\n') fputc('\n', stderr);
}

// Runs when the library is unloaded (dlclose) or the process exits, so that
// FFmpeg is never left calling into unmapped code.
struct restore_default_log {
  ~restore_default_log() { av_log_set_callback(av_log_default_callback); }
} restore_on_unload;

}  // namespace

void install_ffmpeg_log() { av_log_set_callback(log_to_stderr); }
