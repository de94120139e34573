#include "audio_capture.h"

#include <vector>

#include "format_choice.h"
#include "live_capture_manager.h"
#include "rtmp_publisher.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

using namespace capture_platform;

namespace {

bool encodable(const media_type& type) {
  return format_choice::is_acceptable_audio(type) && type.channels > 0 &&
         type.samples_per_sec > 0 && (type.bits_per_sample == 16 || type.bits_per_sample == 8);
}
}  // namespace

audio_capture::audio_capture(std::shared_ptr<i_capture_platform> platform,
                             live_capture_manager* manager)
    : dshow_capture(std::move(platform), device_category::audio_input), manager_(manager) {}

template <typename... Args>
void audio_capture::log(const char* format, Args... args) const {
  if (manager_) manager_->log(0, format, args...);
}

void audio_capture::set_capture_param(const int* params) {
  sample_rate_ = params[0];
  channels_ = params[1];
  bits_per_sample_ = params[2];
  bit_rate_ = params[3];
}

int audio_capture::set_output_format() {
  // A choice of an earlier negotiation says nothing about this one.
  output_type_.reset();
  current_type_.reset();
  std::vector<media_type> formats = listed_formats();
  for (const media_type& f : formats)
    if (format_choice::is_acceptable_audio(f))
      log("audio cap device chn:%d, sps:%d, bps:%d", f.channels, f.samples_per_sec,
          f.bits_per_sample);

  const std::optional<std::size_t> chosen =
      format_choice::choose_audio_format(formats, channels_, sample_rate_, bits_per_sample_);
  if (chosen) {
    media_type type = std::move(formats[*chosen]);
    if (source()->set_format(type) >= 0) {
      if (i_live_av_capture_callback* cb = manager_ ? manager_->callback() : nullptr)
        cb->on_audio_format(type.channels, type.samples_per_sec, type.bits_per_sample);
      log("set output audio format by chn:%d, sps:%d, bps=%d!", type.channels,
          type.samples_per_sec, type.bits_per_sample);
    } else {
      log("set output audio format by chn:%d, sps:%d, bps=%d failed!", type.channels,
          type.samples_per_sec, type.bits_per_sample);
    }
    output_type_ = std::move(type);
    return 0;
  }

  log("no audio cap device finded!");
  media_type current;
  if (source() && has_stream_config() && source()->current_format(&current) >= 0 &&
      format_choice::is_acceptable_audio(current)) {
    log("audio capture runs in the device's current format chn:%d, sps:%d, bps:%d",
        current.channels, current.samples_per_sec, current.bits_per_sample);
    current_type_ = std::move(current);
  } else {
    log("audio capture format unknown: the room has no sound");
  }
  return 0;
}

std::optional<media_type> audio_capture::encodable_format() const {
  const std::optional<media_type>& delivered = output_type_ ? output_type_ : current_type_;
  if (delivered && encodable(*delivered)) return delivered;
  return std::nullopt;
}

int audio_capture::set_encode_param(float /*quality*/) {
  const std::optional<media_type> type = encodable_format();
  if (!type || !manager_) return 0;
  const int sample_fmt = type->bits_per_sample == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_U8;
  manager_->publisher().set_audio_param(type->samples_per_sec, sample_fmt, type->channels,
                                        bit_rate_);
  if (i_live_av_capture_callback* cb = manager_->callback())
    cb->on_audio_format(type->channels, type->samples_per_sec, type->bits_per_sample);
  return 0;
}

int audio_capture::set_record_buffer(int frame_size) {
  const std::optional<media_type> type = encodable_format();
  if (!type) return 0;
  if (!source() || !source()->has_output()) return -1;
  const int bytes = type->block_align * frame_size;
  source()->suggest_buffer_size(bytes);
  if (output_type_) source()->set_format(*output_type_);
  log("audio record buffer set to:%d bytes", bytes);
  return 0;
}

int audio_capture::process_data(const capture_data& item) {
  if (!item.data || !manager_) return 0;
  int leftover = 0;
  manager_->on_audio_data(item.data, item.size, item.start_time, &leftover);
  if (i_live_av_capture_callback* cb = manager_->callback())
    cb->on_audio_frame(item.data.get(), item.size);
  return leftover;
}
