#include "video_capture.h"

#include <vector>

#include "format_choice.h"
#include "live_capture_manager.h"
#include "rtmp_publisher.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

using namespace capture_platform;

namespace {
constexpr int default_fps = 20;

}  // namespace

video_capture::video_capture(std::shared_ptr<i_capture_platform> platform,
                             live_capture_manager* manager)
    : dshow_capture(std::move(platform), device_category::video_input), manager_(manager) {}

template <typename... Args>
void video_capture::log(const char* format, Args... args) const {
  if (manager_) manager_->log(0, format, args...);
}

void video_capture::close_device() {
  dshow_capture::close_device();
  output_type_.reset();
}

void video_capture::set_capture_param(const int* params) {
  fps_ = params[0] > 0 ? params[0] : default_fps;
  width_ = params[1];
  height_ = params[2];
}

int video_capture::set_output_format() {
  output_type_.reset();
  std::vector<media_type> formats = listed_formats();
  for (const media_type& f : formats)
    if (format_choice::is_acceptable_video(f))
      log("video cap device w:%d, h:%d, fps:%d", f.width, f.height,
          format_choice::fps_of_interval(f.avg_time_per_frame));

  const std::optional<std::size_t> chosen =
      format_choice::choose_video_format(formats, width_, height_);
  if (!chosen) {
    log("no video cap device finded!");
    return e_fail;
  }
  media_type type = std::move(formats[*chosen]);
  // The device's size stays; only the rate is ours.
  type.avg_time_per_frame = format_choice::interval_of_fps(fps_);

  int result = source()->set_format(type);
  if (result >= 0) {
    media_type read_back;
    result = source()->current_format(&read_back);
  }
  if (result >= 0) {
    if (i_live_av_capture_callback* cb = manager_ ? manager_->callback() : nullptr)
      cb->on_video_format(type.width, type.height, type.bit_count);
    log("set output video format by w:%d, h:%d, fps=%d!", type.width, type.height,
        format_choice::fps_of_interval(type.avg_time_per_frame));
  } else {
    log("set output video format failed!");
  }
  output_type_ = std::move(type);
  return result;
}

int video_capture::set_encode_param(float quality) {
  if (!output_type_ || !manager_) return 0;
  const media_type& type = *output_type_;
  const int bit_rate = format_choice::video_bit_rate(type.width, type.height, quality);
  int pix_fmt = AV_PIX_FMT_NONE;
  if (type.subtype == media_subtype::yuy2) pix_fmt = AV_PIX_FMT_YUYV422;
  if (type.subtype == media_subtype::rgb24) pix_fmt = AV_PIX_FMT_BGR24;
  if (pix_fmt == AV_PIX_FMT_NONE) return 0;
  manager_->publisher().set_video_param(bit_rate, type.width, type.height, pix_fmt, fps_,
                                        type.width, type.height);
  return 0;
}

int video_capture::process_data(const capture_data& item) {
  if (!item.data || !manager_) return 0;
  manager_->on_video_data(item.data, item.size, item.start_time);
  if (i_live_av_capture_callback* cb = manager_->callback())
    cb->on_video_frame(item.data.get(), item.size);
  return 0;
}
