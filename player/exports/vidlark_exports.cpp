// The library's exported entry points.
#include <new>

#include "rtmp_player.h"
#include "vidlark/live_player.h"

// Out of line, so that the interface's vtable and type information are
// emitted (and exported) here.
i_live_player::~i_live_player() = default;

i_live_player* create_vidlark() { return new (std::nothrow) rtmp_player(); }

void free_vidlark(i_live_player* player) {
  if (!player) return;
  player->stop();
  if (auto* own = dynamic_cast<rtmp_player*>(player)) own->release_callback();
}
