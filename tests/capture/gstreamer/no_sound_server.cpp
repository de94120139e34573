// Linked into every test program that needs no sound server: before any
// test runs, the sound clients are pointed at an address where none
// listens, so that no desktop server is reached or started.
#include "pulse_server.h"

namespace {
const bool isolated = (lrk::test::use_no_sound_server(), true);
}  // namespace
