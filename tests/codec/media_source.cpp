#include "media_source.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "process.h"
#include "temp_dir.h"

namespace lrk::test {

void run_ffmpeg(const std::vector<std::string>& args) {
  temp_dir log_dir;
  const std::string log = log_dir.file("ffmpeg.log");
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  child_process ffmpeg(argv, log);
  const int status = ffmpeg.wait(std::chrono::seconds(60));
  if (status == 0) return;
  std::ostringstream text;
  text << "ffmpeg failed (" << status << "):";
  for (const auto& a : args) text << ' ' << a;
  text << '\n' << std::ifstream(log).rdbuf();
  throw std::runtime_error(text.str());
}

media_source::media_source(const std::string& path, AVMediaType type) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
    throw std::runtime_error("cannot open " + path);
  format_.reset(raw);
  if (avformat_find_stream_info(format_.get(), nullptr) < 0)
    throw std::runtime_error("no stream information in " + path);
  index_ = av_find_best_stream(format_.get(), type, -1, -1, &codec_, 0);
  if (index_ < 0 || !codec_) throw std::runtime_error("no decodable stream in " + path);
  ctx_.reset(avcodec_alloc_context3(codec_));
  if (!ctx_ || avcodec_parameters_to_context(ctx_.get(), stream()->codecpar) < 0)
    throw std::runtime_error("cannot set up a decoder for " + path);
  ctx_->pkt_timebase = stream()->time_base;
  if (avcodec_open2(ctx_.get(), codec_, nullptr) < 0)
    throw std::runtime_error("cannot open the decoder for " + path);
}

std::vector<av_packet_ptr> media_source::read_all() {
  std::vector<av_packet_ptr> packets;
  while (true) {
    av_packet_ptr packet = lrk::make_packet();
    if (!packet || av_read_frame(format_.get(), packet.get()) < 0) break;
    if (packet->stream_index == index_) packets.push_back(std::move(packet));
  }
  return packets;
}

av_codec_context_ptr open_audio_decoder(AVCodecID id, int sample_rate, int channels) {
  const AVCodec* codec = avcodec_find_decoder(id);
  if (!codec) throw std::runtime_error("no decoder for " + std::string(avcodec_get_name(id)));
  av_codec_context_ptr ctx(avcodec_alloc_context3(codec));
  if (!ctx) throw std::runtime_error("cannot allocate a decoder context");
  ctx->sample_rate = sample_rate;
  av_channel_layout_default(&ctx->ch_layout, channels);
  if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
    throw std::runtime_error("cannot open " + std::string(codec->name));
  return ctx;
}

av_packet_ptr packet_of(const std::vector<uint8_t>& bytes) {
  av_packet_ptr packet = lrk::make_packet();
  if (!packet || av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0)
    throw std::runtime_error("cannot allocate a packet");
  if (!bytes.empty()) std::memcpy(packet->data, bytes.data(), bytes.size());
  return packet;
}

}  // namespace lrk::test
