// The symbols libcastbay.so exports: the interface classes (their virtual
// tables and type information are emitted here).
#include "castbay/live_av_capture.h"

i_live_av_capture::~i_live_av_capture() = default;
