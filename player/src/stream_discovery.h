// Finds the video and audio streams of the stream being played and opens
// their decoders, as packets arrive.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "rtmp_player_stream.h"

struct discovery_result {
  bool audio_opened = false;  // an audio stream object was created by this call
};

// Examines every stream of `ctx` that has no object in `streams` yet:
// H.264 video and any decodable audio get an object with an open decoder;
// the rest are logged and passed over, to be examined again next time.
discovery_result discover_streams(AVFormatContext& ctx,
                                  std::vector<std::unique_ptr<rtmp_player_stream>>& streams,
                                  const std::function<void(const char*, int)>& log);
