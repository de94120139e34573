#include "io_deadline.h"

void io_deadline::arm(clock::time_point deadline) {
  deadline_.store(deadline.time_since_epoch().count());
}

void io_deadline::disarm() { arm(clock::time_point::max()); }

AVIOInterruptCB io_deadline::callback() { return AVIOInterruptCB{&io_deadline::expired, this}; }

int io_deadline::expired(void* self) {
  const auto& d = *static_cast<io_deadline*>(self);
  return clock::now().time_since_epoch().count() > d.deadline_.load() ? 1 : 0;
}
