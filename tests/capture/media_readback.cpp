#include "media_readback.h"

#include "codec/h264codec_decode.h"
#include "codec/mp3_decoder.h"

namespace capture_test {
namespace {

void keep_parameters(const AVFormatContext& context, media_readback& out) {
  out.stream_count = static_cast<int>(context.nb_streams);
  for (unsigned i = 0; i < context.nb_streams; ++i) {
    const AVCodecParameters* par = context.streams[i]->codecpar;
    lrk::av_codec_parameters_ptr* slot = par->codec_type == AVMEDIA_TYPE_VIDEO   ? &out.video
                                         : par->codec_type == AVMEDIA_TYPE_AUDIO ? &out.audio
                                                                                 : nullptr;
    if (!slot || *slot) continue;
    slot->reset(avcodec_parameters_alloc());
    avcodec_parameters_copy(slot->get(), par);
  }
}

read_packet take_packet(const AVFormatContext& context, lrk::av_packet_ptr packet) {
  const AVStream* stream = context.streams[packet->stream_index];
  return read_packet{stream->codecpar->codec_type, stream->time_base, std::move(packet)};
}

lrk::av_codec_context_ptr open_decoder(const AVCodecParameters* par) {
  if (!par) return nullptr;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  lrk::av_codec_context_ptr context(avcodec_alloc_context3(codec));
  if (!codec || !context || avcodec_parameters_to_context(context.get(), par) < 0 ||
      avcodec_open2(context.get(), codec, nullptr) < 0)
    return nullptr;
  return context;
}

}  // namespace

std::vector<const read_packet*> media_readback::of(AVMediaType type) const {
  std::vector<const read_packet*> found;
  for (const read_packet& p : packets)
    if (p.type == type) found.push_back(&p);
  return found;
}

media_readback read_media(const std::string& url) {
  media_readback out;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, url.c_str(), nullptr, nullptr) < 0) return out;
  lrk::av_input_context_ptr context(raw);
  if (avformat_find_stream_info(context.get(), nullptr) < 0) return out;
  out.opened = true;
  out.format_name = context->iformat->name;
  for (;;) {
    lrk::av_packet_ptr packet = lrk::make_packet();
    if (av_read_frame(context.get(), packet.get()) < 0) break;
    out.packets.push_back(take_packet(*context, std::move(packet)));
  }
  keep_parameters(*context, out);
  return out;
}

rtmp_subscriber::rtmp_subscriber(std::string url) : url_(std::move(url)) {
  thread_ = std::thread([this] { run(); });
}

rtmp_subscriber::~rtmp_subscriber() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

int rtmp_subscriber::interrupted(void* self) {
  return static_cast<rtmp_subscriber*>(self)->stop_.load() ? 1 : 0;
}

void rtmp_subscriber::run() {
  lrk::av_input_context_ptr context(avformat_alloc_context());
  if (!context) return;
  context->interrupt_callback = AVIOInterruptCB{&rtmp_subscriber::interrupted, this};
  AVFormatContext* raw = context.release();
  // Opening waits (interruptibly) until the stream is published.
  if (avformat_open_input(&raw, url_.c_str(), nullptr, nullptr) < 0) return;
  context.reset(raw);
  // Sizes and sound formats come from the streams' first packets, which
  // av_read_frame still returns afterwards.
  if (avformat_find_stream_info(context.get(), nullptr) < 0) return;
  {
    std::lock_guard lock(lock_);
    result_.opened = true;
    result_.format_name = context->iformat->name;
  }
  while (!stop_) {
    lrk::av_packet_ptr packet = lrk::make_packet();
    if (av_read_frame(context.get(), packet.get()) < 0) break;
    std::lock_guard lock(lock_);
    result_.packets.push_back(take_packet(*context, std::move(packet)));
    last_arrival_ = std::chrono::steady_clock::now();
    arrived_.notify_all();
  }
  std::lock_guard lock(lock_);
  keep_parameters(*context, result_);
}

media_readback rtmp_subscriber::finish(std::size_t count, std::chrono::milliseconds quiet,
                                       std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  {
    std::unique_lock lock(lock_);
    while (result_.packets.size() < count && std::chrono::steady_clock::now() < deadline) {
      if (!result_.packets.empty() && std::chrono::steady_clock::now() - last_arrival_ > quiet)
        break;
      arrived_.wait_for(lock, std::chrono::milliseconds(50));
    }
  }
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(lock_);
  return std::move(result_);
}

std::vector<lrk::av_frame_ptr> decode_pictures(const media_readback& media) {
  std::vector<lrk::av_frame_ptr> pictures;
  lrk::av_codec_context_ptr context = open_decoder(media.video.get());
  if (!context) return pictures;
  h264codec_decode decoder(context->codec, context.get());
  auto keep = [&](lrk::av_frame_ptr frame) {
    if (frame && frame->data[0]) pictures.push_back(std::move(frame));
  };
  // The last pictures stay in the decoder's reorder delay; the ones out are enough.
  for (const read_packet* p : media.of(AVMEDIA_TYPE_VIDEO)) keep(decoder.decode(*p->packet));
  return pictures;
}

std::vector<std::int16_t> decode_sound(const media_readback& media) {
  std::vector<std::int16_t> samples;
  lrk::av_codec_context_ptr context = open_decoder(media.audio.get());
  if (!context) return samples;
  mp3_decoder decoder(context->codec, context.get());
  for (const read_packet* p : media.of(AVMEDIA_TYPE_AUDIO)) {
    for (const lrk::av_frame_ptr& frame : decoder.decode(*p->packet)) {
      const auto* s = reinterpret_cast<const std::int16_t*>(frame->data[0]);
      samples.insert(samples.end(), s, s + frame->nb_samples * frame->ch_layout.nb_channels);
    }
  }
  return samples;
}

}  // namespace capture_test
