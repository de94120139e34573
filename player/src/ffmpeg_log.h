// Routes FFmpeg's own log (warnings and worse) to standard error, one line
// per message, serialised across threads by a process-wide lock.
#pragma once

// Installs the route; every new player installs it again. Unloading the
// library restores FFmpeg's default log callback.
void install_ffmpeg_log();
