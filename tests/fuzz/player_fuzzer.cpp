// libFuzzer harness: arbitrary bytes played as an FLV stream. The bytes are
// read through an in-memory AVIOContext by FFmpeg's FLV demuxer with the
// player's probing options, then every packet goes the way a network
// packet goes on the poll thread (stream discovery, the stream objects'
// decoders, the data cache with its bounds), and finally the play thread's
// delivery step runs over what was cached with a test clock, handing every
// byte the host would get to a sink that reads it all.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/av_holders.h"
#include "delivery_pacer.h"
#include "frame_cache.h"
#include "rtmp_player_stream.h"
#include "stream_discovery.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/log.h>
}

namespace {

// At most this many packets per input: a long input must not turn into a
// time-out; the cache bounds are reached far sooner with big pictures.
constexpr int max_packets = 400;
constexpr int io_buffer_size = 4096;

struct memory_input {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
};

int read_memory(void* opaque, uint8_t* buf, int buf_size) {
  auto* in = static_cast<memory_input*>(opaque);
  const size_t n = std::min(static_cast<size_t>(buf_size), in->size - in->pos);
  if (n == 0) return AVERROR_EOF;
  std::memcpy(buf, in->data + in->pos, n);
  in->pos += n;
  return static_cast<int>(n);
}

// The cache side of the playback: the same bounded lists, filled the same way.
struct cache_sink final : decoded_frame_sink {
  frame_cache cache;
  uint64_t pictures_decoded = 0;
  void picture_decoded(lrk::av_frame_ptr picture) override {
    ++pictures_decoded;
    cache.add_picture(std::move(picture));
  }
  void sound_decoded(std::vector<lrk::av_frame_ptr> frames) override {
    for (auto& f : frames) cache.add_sound(std::move(f));
  }
};

// The host: reads every byte it is handed, with the sizes the player
// passes (width x height x 3 for pictures, samples x channels x 2 for sound).
struct reading_host final : delivery_sink {
  std::atomic<int32_t>* outstanding = nullptr;
  unsigned checksum = 0;
  void read_all(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) checksum += p[i];
  }
  void deliver_sound(const AVFrame& f) override {
    read_all(f.data[0], static_cast<size_t>(f.nb_samples) * f.ch_layout.nb_channels * 2);
    outstanding->fetch_sub(1);  // acknowledged at once
  }
  void deliver_picture(const AVFrame& f) override {
    read_all(f.data[0], static_cast<size_t>(f.width) * f.height * 3);
  }
};

struct io_context_deleter {
  void operator()(AVIOContext* pb) const {
    if (pb) av_freep(&pb->buffer);
    avio_context_free(&pb);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  memory_input input{data, size};
  auto* io_buffer = static_cast<unsigned char*>(av_malloc(io_buffer_size));
  if (!io_buffer) return 0;
  std::unique_ptr<AVIOContext, io_context_deleter> pb(
      avio_alloc_context(io_buffer, io_buffer_size, 0, &input, read_memory, nullptr, nullptr));
  if (!pb) {
    av_free(io_buffer);
    return 0;
  }
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) return 0;
  raw->pb = pb.get();
  raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  lrk::av_dictionary options;
  options.set("probesize", "40240000");
  options.set("analyzeduration", "5000000");
  if (avformat_open_input(&raw, nullptr, av_find_input_format("flv"), options.get()) < 0) return 0;
  lrk::av_input_context_ptr format(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0 || raw->nb_streams == 0) return 0;

  // Poll thread: discovery and routing for every packet with data.
  std::vector<std::unique_ptr<rtmp_player_stream>> streams;
  cache_sink sink;
  bool has_audio = false;
  lrk::av_packet_ptr packet = lrk::make_packet();
  for (int n = 0; packet && n < max_packets && av_read_frame(raw, packet.get()) >= 0; ++n) {
    if (packet->data) {
      if (discover_streams(*raw, streams, [](const char*, int) {}).audio_opened) has_audio = true;
      const auto it = std::find_if(streams.begin(), streams.end(), [&](const auto& s) {
        return s->stream()->index == packet->stream_index;
      });
      if (it != streams.end()) (*it)->handle_packet(sink, *packet);
    }
    av_packet_unref(packet.get());
  }

  // Play thread: passes 20 ms apart on a test clock until the cache is
  // empty; the first byte of the input decides whether sound is muted.
  delivery_pacer pacer;
  std::atomic<int32_t> outstanding{0};
  reading_host host;
  host.outstanding = &outstanding;
  const bool muted = size > 0 && (data[0] & 1);
  frame_clock::time_point now{};
  for (int pass = 0; pass < 2000; ++pass) {
    if (sink.cache.pictures().empty() && sink.cache.sounds().empty()) break;
    const size_t before = sink.cache.pictures().size() + sink.cache.sounds().size();
    pacer.run_pass(sink.cache, pass_conditions{has_audio, muted, now}, outstanding, host);
    now += std::chrono::milliseconds(20);
    // Muted sound stays cached at 50 frames; pictures paced by sound that
    // never comes stay too: the pass changes nothing any more.
    if (before == sink.cache.pictures().size() + sink.cache.sounds().size() && pass > 200) break;
  }
  // Torn down as stop() does: the cache, the stream objects, the input.
  sink.cache.clear();
  streams.clear();
  format.reset();
  return 0;
}
