// A device's capabilities from its GStreamer caps, and the caps that pin a
// chosen capability again. Pure functions of caps text, so that the caps of
// real cameras and sound servers can be replayed in tests without them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/media_type.h"

namespace capture_platform::gstreamer {

// One capability per format and picture size, in the order the caps list
// them. YUY2, BGR (our RGB24) and JPEG are named, other raw formats are
// `other`; compressed formats other than JPEG are left out. A width or
// height range stands for the common picture sizes inside it. The frame
// interval is that of the highest frame rate offered (0 when none is).
// Each capability's platform_format holds the caps of its format and size
// with the frame rates offered, for capture_filter_caps.
std::vector<media_type> video_capabilities_from_caps(const std::string& caps);

// PCM capabilities: every combination of the common rates (8000 to 48000),
// channel counts 1 and 2 and the sample formats S16LE (16 bits) and U8
// (8 bits) that the caps allow, rate first, then channels, then format.
// Non-interleaved and non-PCM structures are left out.
std::vector<media_type> sound_capabilities_from_caps(const std::string& caps);

// The caps of a capture filter that makes the device deliver `type`: its
// format, size and the frame rate on offer nearest to its frame interval
// (the highest one for interval 0), or its sample format, rate and channel
// count, interleaved. Empty for a type no caps can describe.
std::string capture_filter_caps(const media_type& type);

// The frame rate, as a fraction, nearest to the rate of `avg_time_per_frame`
// (100 ns units) among those the caps text `offered` lists (a fraction, a
// list of them or a range, in a "framerate" field of any of its
// structures). With no interval, the highest rate offered; with nothing
// offered, the interval's own rate. {0, 1} when neither is known.
struct frame_rate {
  int numerator = 0;
  int denominator = 1;
};
frame_rate nearest_frame_rate(const std::string& offered, std::int64_t avg_time_per_frame);

}  // namespace capture_platform::gstreamer
