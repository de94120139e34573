// The result codes of the capture devices and of the manager's sequences,
// named once.
#pragma once

// i_capture_device::open_device: the step that failed.
namespace device_result {
inline constexpr int ok = 0;
inline constexpr int graph_failed = -1001;          // creating the graph
inline constexpr int builder_failed = -1002;        // creating the capture builder
inline constexpr int builder_bind_failed = -1003;   // binding the builder to the graph
inline constexpr int lookup_failed = -1004;         // enumerating, reading a name or binding
inline constexpr int source_add_failed = -1005;     // adding the source (also: no such device)
inline constexpr int media_control_failed = -1006;  // querying the run/stop control
inline constexpr int stream_config_failed = -1007;  // finding the capture output's format control
inline constexpr int sink_create_failed = -1008;    // creating our sink
inline constexpr int sink_add_failed = -1009;       // adding our sink
// i_capture_device::start_capture.
inline constexpr int connect_failed = -4;     // no graph, a missing end, refused or already connected
inline constexpr int no_media_control = -5;
inline constexpr int run_failed = -6;
}  // namespace device_result

// i_live_av_capture::host_room, and the internal codes of preview.
namespace room_result {
inline constexpr int ok = 0;
inline constexpr int video_start_failed = -1;
inline constexpr int audio_start_failed = -2;
inline constexpr int video_open_failed = -3;
inline constexpr int audio_open_failed = -4;
inline constexpr int publisher_open_failed = -6;
inline constexpr int nothing_enabled = -10;
}  // namespace room_result
