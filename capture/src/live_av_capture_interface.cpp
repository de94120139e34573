// The interface classes' key function: their virtual tables and type
// information are emitted here, and exported by libcastbay.so.
#include "castbay/live_av_capture.h"

i_live_av_capture::~i_live_av_capture() = default;
