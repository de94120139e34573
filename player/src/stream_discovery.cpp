#include "stream_discovery.h"

#include <algorithm>

namespace {

// A codec context of our own for `stream`, opened with `decoder`; null on failure.
lrk::av_codec_context_ptr open_decoder(const AVStream& stream, const AVCodec* decoder) {
  if (!decoder) return nullptr;
  lrk::av_codec_context_ptr context(avcodec_alloc_context3(decoder));
  if (!context || avcodec_parameters_to_context(context.get(), stream.codecpar) < 0)
    return nullptr;
  context->pkt_timebase = stream.time_base;
  if (avcodec_open2(context.get(), decoder, nullptr) != 0) return nullptr;
  return context;
}

}  // namespace

discovery_result discover_streams(AVFormatContext& ctx,
                                  std::vector<std::unique_ptr<rtmp_player_stream>>& streams,
                                  const std::function<void(const char*, int)>& log) {
  discovery_result result;
  for (unsigned i = 0; i < ctx.nb_streams; ++i) {
    AVStream* st = ctx.streams[i];
    const bool served = std::any_of(streams.begin(), streams.end(),
                                    [st](const auto& s) { return s->stream() == st; });
    if (served) continue;

    const AVCodecParameters& par = *st->codecpar;
    const int index = static_cast<int>(i);
    if (par.codec_type == AVMEDIA_TYPE_VIDEO && par.codec_id != AV_CODEC_ID_NONE) {
      if (par.codec_id != AV_CODEC_ID_H264) {
        log("video stream is not h264 stream, codec = %d", par.codec_id);
        continue;
      }
      lrk::av_codec_context_ptr context = open_decoder(*st, avcodec_find_decoder(AV_CODEC_ID_H264));
      if (!context) {
        log("video avcodec_open2 failed on stream:%d", index);
        continue;
      }
      streams.push_back(std::make_unique<rtmp_player_stream_video>(st, std::move(context)));
      log("video stream find at index:%d", index);
    } else if (par.codec_type == AVMEDIA_TYPE_AUDIO && par.codec_id != AV_CODEC_ID_NONE) {
      lrk::av_codec_context_ptr context = open_decoder(*st, avcodec_find_decoder(par.codec_id));
      if (!context) {
        log("audio avcodec_open2 failed on stream:%d", index);
        continue;
      }
      streams.push_back(std::make_unique<rtmp_player_stream_audio>(st, std::move(context)));
      result.audio_opened = true;
      log("audio stream find index:%d", index);
    } else if (par.codec_type == AVMEDIA_TYPE_UNKNOWN) {
      log("AVMEDIA_TYPE_UNKNOWN on stream:%d", index);
    }
  }
  return result;
}
