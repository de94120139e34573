// The symbols libcastbay.so exports: the factory and the release function,
// beside the interface classes.
#include "castbay/live_av_capture.h"
#include "live_capture_manager.h"

i_live_av_capture* create_cap_manager() { return new live_capture_manager(); }

void free_cap_manager(i_live_av_capture* manager) {
  if (!manager) return;
  manager->unhost_room();
  if (auto* ours = dynamic_cast<live_capture_manager*>(manager)) ours->destroy_callback();
}
