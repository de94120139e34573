#include "live_capture_manager.h"

#include "rtmp_publisher.h"

extern "C" {
#include <libavformat/avformat.h>
}

live_capture_manager::live_capture_manager()
    : publisher_(std::make_shared<rtmp_publisher>(this)) {
  avformat_network_init();
}

live_capture_manager::~live_capture_manager() {
  // An output still open is closed while the network layer is still up.
  publisher_.reset();
  avformat_network_deinit();
}

void live_capture_manager::report_status(int code) const {
  if (i_live_av_capture_callback* cb = callback_.load()) cb->on_status(code);
}

void live_capture_manager::access_stats(capture_stats* stats) { publisher_->access_stats(stats); }
