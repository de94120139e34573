#include "rtmp_publisher.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "encoder_with_context.h"
#include "live_capture_manager.h"

namespace {

constexpr const char* rtmp_prefix = "rtmp://";
constexpr const char* video_packet_line = "==========video frame pts:%lld";
constexpr const char* audio_packet_line = "***audio frame pts:%lld";

io_deadline::clock::time_point from_now(io_deadline::clock::duration budget) {
  return io_deadline::clock::now() + budget;
}

// libx264 when FFmpeg has it, whatever else is registered for H.264.
const AVCodec* find_encoder(AVCodecID codec_id) {
  if (codec_id == AV_CODEC_ID_H264)
    if (const AVCodec* x264 = avcodec_find_encoder_by_name("libx264")) return x264;
  return avcodec_find_encoder(codec_id);
}

// Pictures libx264 holds before the first packet comes out, with the
// encoder's settings: B-frames, the look-ahead (capped at the GOP) and one
// per thread, with a few to spare.
constexpr int encoder_delay_pictures = 10 + 10 + 2 + 3;

}  // namespace

std::int64_t max_interleave_delay_us(int fps) {
  const int rate = fps > 0 ? fps : 20;
  const std::int64_t delay = 500000 + std::int64_t{encoder_delay_pictures} * 1000000 / rate;
  // FFmpeg's own default, which is already long enough for a player to give up.
  return std::min<std::int64_t>(delay, 10000000);
}

rtmp_publisher::rtmp_publisher(live_capture_manager* manager) : manager_(manager) {}

rtmp_publisher::~rtmp_publisher() { close(); }

template <typename... Args>
void rtmp_publisher::log(int level, const char* format, Args... args) const {
  if (manager_) manager_->log(level, format, args...);
}

void rtmp_publisher::set_video_param(int bit_rate, int src_width, int src_height,
                                     int src_pix_fmt, int fps, int dst_width, int dst_height) {
  std::lock_guard lock(video_lock_);
  video_bit_rate_ = bit_rate;
  src_width_ = src_width;
  src_height_ = src_height;
  src_pix_fmt_ = src_pix_fmt;
  fps_ = fps;
  dst_width_ = dst_width;
  dst_height_ = dst_height;
}

void rtmp_publisher::set_audio_param(int sample_rate, int sample_fmt, int channels,
                                     int bit_rate) {
  sample_rate_ = sample_rate;
  sample_fmt_ = sample_fmt;
  channels_ = channels;
  audio_bit_rate_ = bit_rate;
}

int rtmp_publisher::open_device(const char* url) {
  // The manager closes before it opens again; a stray second open must not
  // leak the first connection.
  if (format_context_) close();
  url_ = url ? url : "";
  const char* address = url_.c_str();

  AVFormatContext* context = nullptr;
  const bool is_rtmp = url_.rfind(rtmp_prefix, 0) == 0;
  const int allocated =
      is_rtmp ? avformat_alloc_output_context2(&context, nullptr, "flv", nullptr)
              : avformat_alloc_output_context2(&context, nullptr, nullptr, address);
  format_context_.reset(context);
  if (allocated < 0 || !format_context_) return publish_result::no_container;
  log(0, "output context alloc success for rtmp publisher url:%s", address);

  output_format_ = format_context_->oformat;
  format_context_->interrupt_callback = io_deadline_.callback();
  // When one stream goes quiet (sound disabled, a stalled microphone) the
  // other must not wait for it behind the muxer's interleaving for long.
  {
    std::lock_guard lock(video_lock_);
    format_context_->max_interleave_delta = max_interleave_delay_us(fps_);
  }
  if (!(output_format_->flags & AVFMT_NOFILE)) {
    // rw_timeout (not "timeout", which makes an rtmp client listen) bounds
    // every read and write of the connection for its whole life.
    lrk::av_dictionary options;
    options.set("rw_timeout",
                std::to_string(std::chrono::microseconds(publish_write_timeout).count()).c_str());
    armed_deadline bound(io_deadline_, from_now(publish_open_timeout));
    if (avio_open2(&format_context_->pb, address, AVIO_FLAG_WRITE,
                   &format_context_->interrupt_callback, options.get()) < 0) {
      log(0, "avio_open failed!", address);
      return publish_result::io_open_failed;
    }
  }
  log(0, "avio_open success!", address);

  int result = publish_result::ok;
  if (has_video_) {
    result |= add_video_stream();
    if (result == 0) log(0, "video stream setted!", address);
  }
  if (has_audio_) {
    result |= add_audio_stream();
    if (result == 0) log(0, "audio stream setted!", address);
  }
  result |= write_header();
  log(0, "stream head writed!", address);

  audio_bytes_ = 0;
  video_bytes_ = 0;
  return result;
}

int rtmp_publisher::add_stream(AVCodecID codec_id) {
  const AVCodec* encoder = find_encoder(codec_id);
  if (!encoder) return publish_result::no_encoder;
  AVStream* stream = avformat_new_stream(format_context_.get(), nullptr);
  if (!stream) return publish_result::no_stream;
  stream->id = static_cast<int>(format_context_->nb_streams) - 1;
  stream->codecpar->codec_id = codec_id;
  if (encoder->type == AVMEDIA_TYPE_VIDEO) {
    video_codec_ = encoder;
    video_stream_ = stream;
  } else {
    audio_codec_ = encoder;
    audio_stream_ = stream;
  }
  return publish_result::ok;
}

bool rtmp_publisher::wants_global_header() const {
  return output_format_ && (output_format_->flags & AVFMT_GLOBALHEADER);
}

std::shared_ptr<h264codec_encode> rtmp_publisher::open_video_encoder(int* result) {
  *result = publish_result::video_open_failed;
  std::shared_ptr<h264codec_encode> encoder =
      make_encoder<h264codec_encode>(video_codec_, wants_global_header());
  if (!encoder) return nullptr;
  {
    std::lock_guard lock(video_lock_);
    encoder->set_params(video_bit_rate_, dst_width_, dst_height_, src_pix_fmt_);
    // Timestamps still come from the capture clock; the nominal rate only
    // tells the rate control how many pictures share the bit rate. Without
    // it x264 plans for 1000 pictures a second (the 1/1000 time base) and
    // starts every room at its coarsest quantiser.
    encoder->context()->framerate = AVRational{fps_ > 0 ? fps_ : 20, 1};
  }
  if (avcodec_open2(encoder->context(), encoder->codec(), nullptr) == 0) *result = 0;
  return encoder;
}

int rtmp_publisher::add_video_stream() {
  // The publisher picks H.264 itself: a muxer's defaults are read-only.
  if (add_stream(AV_CODEC_ID_H264) < 0 || !video_stream_) return publish_result::no_encoder;
  video_stream_->time_base = AVRational{1, 1000};

  int result = publish_result::ok;
  std::shared_ptr<h264codec_encode> encoder = open_video_encoder(&result);
  if (encoder && result == 0)
    avcodec_parameters_from_context(video_stream_->codecpar, encoder->context());
  std::lock_guard lock(video_lock_);
  video_encoder_ = std::move(encoder);
  pending_video_encoder_.reset();
  return result;
}

int rtmp_publisher::add_audio_stream() {
  if (add_stream(AV_CODEC_ID_AAC) < 0 || !audio_stream_) return publish_result::no_encoder;
  audio_encoder_ = make_encoder<mp3_encoder>(audio_codec_, wants_global_header());
  if (!audio_encoder_) return publish_result::audio_open_failed;
  audio_encoder_->set_params(sample_rate_, sample_fmt_, channels_, audio_bit_rate_);
  AVCodecContext* codec = audio_encoder_->context();
  if (avcodec_open2(codec, audio_codec_, nullptr) < 0) return publish_result::audio_open_failed;
  audio_stream_->time_base = AVRational{1, codec->sample_rate};
  avcodec_parameters_from_context(audio_stream_->codecpar, codec);
  return publish_result::ok;
}

int rtmp_publisher::write_header() {
  armed_deadline bound(io_deadline_, from_now(publish_write_timeout));
  if (avformat_write_header(format_context_.get(), nullptr) < 0)
    return publish_result::header_failed;
  header_written_ = true;
  return publish_result::ok;
}

int rtmp_publisher::write_video(const sample_bytes_ptr& data, int size,
                                std::int64_t capture_time) {
  std::shared_ptr<h264codec_encode> encoder;
  std::shared_ptr<h264codec_encode> retired;
  int src_width = 0;
  int src_height = 0;
  {
    std::lock_guard lock(video_lock_);
    if (pending_video_encoder_) {
      retired = std::exchange(video_encoder_, std::move(pending_video_encoder_));
      announce_extradata_ = true;
    }
    encoder = video_encoder_;
    src_width = src_width_;
    src_height = src_height_;
  }
  if (!encoder || !video_stream_ || !header_written_) return publish_result::not_publishing;

  const auto deadline = from_now(publish_write_timeout);
  int written = 0;
  if (retired) {
    // The old encoder's delayed frames go out before the new encoder's first.
    std::vector<lrk::av_packet_ptr> held = retired->flush();
    written = write_packets(held, *retired->context(), *video_stream_, video_clock_,
                            video_packet_line, video_bytes_, &video_packets_, deadline);
    video_stream_->codecpar->bit_rate = encoder->context()->bit_rate;
  }
  if (written == 0) {
    std::vector<lrk::av_packet_ptr> packets =
        encoder->encode(data.get(), size, src_width, src_height, capture_time);
    if (announce_extradata_ && !packets.empty()) {
      attach_new_extradata(*packets.front(), *encoder->context());
      announce_extradata_ = false;
    }
    written = write_packets(packets, *encoder->context(), *video_stream_, video_clock_,
                            video_packet_line, video_bytes_, &video_packets_, deadline);
  }
  if (written < 0) {
    if (manager_) manager_->report_status(status_video_refused);
    return publish_result::packet_refused;
  }
  return publish_result::ok;
}

int rtmp_publisher::write_audio(const sample_bytes_ptr& data, int size, std::int64_t capture_time,
                                int* leftover) {
  const std::shared_ptr<mp3_encoder> encoder = audio_encoder_;
  if (!encoder || !audio_stream_ || !header_written_) return publish_result::not_publishing;

  int ignored = 0;
  std::vector<lrk::av_packet_ptr> packets =
      encoder->encode(data.get(), size, capture_time, leftover ? leftover : &ignored);
  if (write_packets(packets, *encoder->context(), *audio_stream_, audio_clock_, audio_packet_line,
                    audio_bytes_, nullptr, from_now(publish_write_timeout)) < 0) {
    if (manager_) manager_->report_status(status_audio_refused);
    return publish_result::packet_refused;
  }
  return publish_result::ok;
}

int rtmp_publisher::write_packets(std::vector<lrk::av_packet_ptr>& packets,
                                  const AVCodecContext& codec, AVStream& stream,
                                  packet_clock& clock, const char* log_format,
                                  std::atomic<std::int64_t>& bytes,
                                  std::atomic<std::int64_t>* count,
                                  io_deadline::clock::time_point deadline) {
  for (lrk::av_packet_ptr& packet : packets) {
    log(3, log_format, static_cast<long long>(packet->pts));
    const int size = packet->size;
    av_packet_rescale_ts(packet.get(), codec.time_base, stream.time_base);
    clock.stamp(*packet);
    packet->stream_index = stream.index;
    armed_deadline bound(io_deadline_, deadline);
    // Takes the packet's reference whatever the outcome.
    const int r = av_interleaved_write_frame(format_context_.get(), packet.get());
    if (r < 0) return r;
    bytes += size;
    if (count) ++*count;
  }
  return 0;
}

void rtmp_publisher::attach_new_extradata(AVPacket& packet, const AVCodecContext& codec) {
  // The muxer sends a new sequence header when these differ from the stream's,
  // so players already watching pick up the new encoder's parameter sets.
  if (!codec.extradata || codec.extradata_size <= 0) return;
  std::uint8_t* side =
      av_packet_new_side_data(&packet, AV_PKT_DATA_NEW_EXTRADATA, codec.extradata_size);
  if (side) std::memcpy(side, codec.extradata, codec.extradata_size);
}

void rtmp_publisher::reopen_video() {
  {
    std::lock_guard lock(video_lock_);
    if (!video_encoder_) return;
  }
  int result = 0;
  std::shared_ptr<h264codec_encode> encoder = open_video_encoder(&result);
  if (!encoder || result < 0) {
    // The running encoder stays: a failed re-open must not end the video.
    log(0, "video encoder re-open failed!", url_.c_str());
    return;
  }
  std::lock_guard lock(video_lock_);
  if (video_encoder_) pending_video_encoder_ = std::move(encoder);
}

void rtmp_publisher::drain_encoders(io_deadline::clock::time_point deadline) {
  std::shared_ptr<h264codec_encode> video;
  {
    std::lock_guard lock(video_lock_);
    video = video_encoder_;
  }
  if (video && video_stream_) {
    std::vector<lrk::av_packet_ptr> held = video->flush();
    if (write_packets(held, *video->context(), *video_stream_, video_clock_, video_packet_line,
                      video_bytes_, &video_packets_, deadline) < 0)
      return;
  }
  if (audio_encoder_ && audio_stream_) {
    std::vector<lrk::av_packet_ptr> held = audio_encoder_->flush();
    write_packets(held, *audio_encoder_->context(), *audio_stream_, audio_clock_,
                  audio_packet_line, audio_bytes_, nullptr, deadline);
  }
}

int rtmp_publisher::close() {
  if (format_context_) {
    // A connection that already failed a write is not waited on again.
    const bool broken = format_context_->pb && format_context_->pb->error < 0;
    const auto deadline = broken ? io_deadline::clock::now() : from_now(publish_close_timeout);
    if (header_written_) {
      // What the encoders still hold and the trailer make a complete file.
      drain_encoders(deadline);
      armed_deadline bound(io_deadline_, deadline);
      av_write_trailer(format_context_.get());
    }
    {
      // Closing the I/O flushes its buffer and ends the connection.
      armed_deadline bound(io_deadline_, deadline);
      format_context_.reset();
    }
    header_written_ = false;
    video_stream_ = nullptr;
    audio_stream_ = nullptr;
    video_codec_ = nullptr;
    audio_codec_ = nullptr;
    output_format_ = nullptr;
    video_clock_ = packet_clock{};
    audio_clock_ = packet_clock{};
    announce_extradata_ = false;
  }
  audio_encoder_.reset();
  std::shared_ptr<h264codec_encode> video;
  {
    std::lock_guard lock(video_lock_);
    video = std::move(video_encoder_);
    pending_video_encoder_.reset();
  }
  return 0;
}

void rtmp_publisher::access_stats(capture_stats* stats) {
  if (!stats) return;
  if (stats->write) {
    video_bytes_ = static_cast<std::int64_t>(stats->video_bytes);
    audio_bytes_ = static_cast<std::int64_t>(stats->audio_bytes);
    video_packets_ = static_cast<std::int64_t>(stats->video_frames);
  } else {
    stats->video_bytes = static_cast<std::uint64_t>(video_bytes_.load());
    stats->audio_bytes = static_cast<std::uint64_t>(audio_bytes_.load());
    stats->video_frames = static_cast<std::uint64_t>(video_packets_.load());
  }
}

int rtmp_publisher::audio_frame_size() const {
  return audio_encoder_ && audio_encoder_->context() ? audio_encoder_->context()->frame_size : 0;
}
