#include "live_capture_manager.h"

#include <cmath>

#include "audio_capture.h"
#include "capture_results.h"
#include "device_enumeration.h"
#include "rtmp_publisher.h"
#include "video_capture.h"

extern "C" {
#include <libavformat/avformat.h>
}

using capture_platform::device_category;

live_capture_manager::live_capture_manager()
    : live_capture_manager(capture_platform::make_system_platform()) {}

live_capture_manager::live_capture_manager(
    std::shared_ptr<capture_platform::i_capture_platform> platform)
    : platform_(std::move(platform)),
      acp_(std::make_shared<audio_capture>(platform_, this)),
      vcp_(std::make_shared<video_capture>(platform_, this)),
      publisher_(std::make_shared<rtmp_publisher>(this)) {
  avformat_network_init();
}

live_capture_manager::~live_capture_manager() {
  // An output still open is closed while the network layer is still up.
  publisher_.reset();
  vcp_.reset();
  acp_.reset();
  avformat_network_deinit();
}

void live_capture_manager::report_status(int code) const {
  if (i_live_av_capture_callback* cb = callback_.load()) cb->on_status(code);
}

void live_capture_manager::destroy_callback() {
  delete callback_.exchange(nullptr);
}

void live_capture_manager::access_stats(capture_stats* stats) { publisher_->access_stats(stats); }

void live_capture_manager::set_device_names(std::wstring video_device, std::wstring audio_device) {
  video_device_name_ = std::move(video_device);
  audio_device_name_ = std::move(audio_device);
}

void live_capture_manager::set_video_param(int width, int height, int fps) {
  const int record[3] = {fps, width, height};
  vcp_->set_capture_param(record);
  video_enabled_ = true;
}

void live_capture_manager::set_audio_param(int sample_rate, int bits_per_sample, int channels,
                                           int bit_rate) {
  const int record[4] = {sample_rate, channels, bits_per_sample, bit_rate};
  acp_->set_capture_param(record);
  audio_enabled_ = true;
}

void live_capture_manager::set_video_quality(float level) {
  // NaN fails the comparison and takes the floor too.
  if (!(level >= 10.0f)) level = 10.0f;
  if (level > max_quality_level) level = max_quality_level;
  quality_ = static_cast<float>(level / 40.0);
  if (!idle_) {
    vcp_->set_encode_param(quality_);
    publisher_->reopen_video();
  }
}

int live_capture_manager::list_devices(int audio, capture_device_list* devices) {
  const device_category category =
      audio == 0 ? device_category::video_input : device_category::audio_input;
  const std::wstring two_nuls(2, L'\0');
  capture_device_list found;
  const int result = enum_devices(*platform_, category, [&](auto& moniker) {
    std::wstring path;
    if (moniker.display_name(&path) < 0) return visit::go_on;
    std::pair<std::wstring, std::wstring> entry;
    entry.second = path + two_nuls;
    std::wstring name;
    if (moniker.friendly_name(&name) >= 0) entry.first = name + two_nuls;
    found.push_back(std::move(entry));
    return visit::go_on;
  });
  if (devices) devices->insert(devices->end(), found.begin(), found.end());
  return result;
}

int live_capture_manager::on_video_data(sample_bytes_ptr data, int size, std::int64_t start_time) {
  return publisher_->write_video(data, size, start_time);
}

int live_capture_manager::on_audio_data(sample_bytes_ptr data, int size, std::int64_t start_time,
                                        int* leftover) {
  if (!audio_enabled_) return 0;
  return publisher_->write_audio(data, size, start_time, leftover);
}

void live_capture_manager::poll_capture_data() {
  while (!idle_) {
    capture_data audio = acp_->get_capture_data();
    acp_->process_data(audio);
    capture_data video = vcp_->get_capture_data();
    vcp_->process_data(video);
    report_device_failures();
    std::this_thread::sleep_for(poll_interval);
  }
}

void live_capture_manager::report_device_failures() {
  if (std::optional<std::string> reason = vcp_->take_failure())
    log(0, "video capture device failed: %s", reason->c_str());
  if (std::optional<std::string> reason = acp_->take_failure())
    log(0, "audio capture device failed: %s", reason->c_str());
}

void live_capture_manager::start_poll_thread() {
  idle_ = false;
  poll_thread_ = std::make_unique<std::thread>([this] { poll_capture_data(); });
  log(0, "capture data poll thread start!");
}

int live_capture_manager::open_video() {
  if (vcp_->open_device(video_device_name_) != 0) {
    log(0, "vcp_->open_device() failed!");
    return room_result::video_open_failed;
  }
  vcp_->set_output_format();
  log(0, "video capture device opened success!");
  return room_result::ok;
}

int live_capture_manager::open_audio() {
  if (acp_->open_device(audio_device_name_) != 0) {
    log(0, "acp_->open_device() failed!");
    return room_result::audio_open_failed;
  }
  acp_->set_output_format();
  log(0, "aduio capture device opened success!");
  return room_result::ok;
}

void live_capture_manager::mark_streams() {
  // From this room's flags and formats: a stream left from an earlier room
  // would never get a packet, and settings left from it would not match
  // what the device delivers now.
  const bool video = video_enabled_ && vcp_->output_type().has_value();
  const bool audio = audio_enabled_ && acp_->encodable_format().has_value();
  if (video_enabled_ && !video) log(0, "no video format to encode: the room is published without video");
  if (audio_enabled_ && !audio) log(0, "no audio format to encode: the room is published without audio");
  publisher_->set_has_video(video);
  publisher_->set_has_audio(audio);
}

int live_capture_manager::host_room(const char* url) {
  if (!idle_) return room_result::ok;
  log(0, "host room!");

  int result = room_result::ok;
  if (!video_enabled_ && !audio_enabled_) result = room_result::nothing_enabled;
  if (result == room_result::ok && video_enabled_) result = open_video();
  if (result == room_result::ok && audio_enabled_) result = open_audio();
  if (result == room_result::ok) {
    vcp_->set_encode_param(quality_);
    acp_->set_encode_param(0.0f);
    log(0, "rtmp publisher parameters setted!");
    mark_streams();
    if (url) url_ = url;
    if (publisher_->open_device(url_.c_str()) < 0) {
      log(0, "rtmp_publisher->open_device() failed!");
      result = room_result::publisher_open_failed;
    } else {
      log(0, "rtmp publisher service open success!");
    }
  }
  if (result == room_result::ok && audio_enabled_ && publisher_->audio_frame_size() > 0)
    acp_->set_record_buffer(publisher_->audio_frame_size());
  if (result == room_result::ok && video_enabled_) {
    if (vcp_->start_capture() < 0) {
      log(0, "vcp_->start_capture() failed!");
      result = room_result::video_start_failed;
    } else {
      log(0, "video capture start!");
    }
  }
  if (result == room_result::ok && audio_enabled_) {
    if (acp_->start_capture() < 0) {
      log(0, "acp_->start_capture() failed!");
      result = room_result::audio_start_failed;
    } else {
      log(0, "audio capture start!");
    }
  }
  if (result == room_result::ok) {
    start_poll_thread();
    return room_result::ok;
  }
  log(0, "host failed!");
  tear_down();
  return result;
}

void live_capture_manager::unhost_room() {
  if (idle_) return;
  idle_ = true;
  tear_down();
}

void live_capture_manager::tear_down() {
  log(0, "unhost room!");
  if (poll_thread_) {
    poll_thread_->join();
    poll_thread_.reset();
  }
  log(0, "capture data poll thread stopped!");
  acp_->stop_capture();
  log(0, "audio capture stopped!");
  vcp_->stop_capture();
  log(0, "video capture stopped!");
  publisher_->close();
  log(0, "rtmp publish service stopped!");
}

void live_capture_manager::preview() {
  // A second poll thread would race the first over the same devices.
  if (!idle_) return;
  log(0, "host room!");
  int code = room_result::ok;
  if (!video_enabled_ && !audio_enabled_) code = room_result::nothing_enabled;
  bool video_ok = true;
  bool audio_ok = true;
  if (code == room_result::ok) {
    if (video_enabled_ && open_video() != room_result::ok) {
      code = room_result::video_open_failed;
      video_ok = false;
    }
    if (audio_enabled_ && open_audio() != room_result::ok) {
      code = room_result::audio_open_failed;
      audio_ok = false;
    }
    // A failed start does not stop the preview of the other kind.
    if (video_enabled_ && video_ok) {
      if (vcp_->start_capture() < 0) {
        log(0, "vcp_->start_capture() failed!");
        code = room_result::video_start_failed;
      } else {
        log(0, "video capture start!");
      }
    }
    if (audio_enabled_ && audio_ok) {
      if (acp_->start_capture() < 0) {
        log(0, "acp_->start_capture() failed!");
        code = room_result::audio_start_failed;
      } else {
        log(0, "audio capture start!");
      }
    }
    if (video_ok || audio_ok) start_poll_thread();
  }
  if (code != room_result::ok) {
    log(0, "preview failed!");
    unhost_room();
  }
}
