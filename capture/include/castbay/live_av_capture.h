// castbay: captures a camera and a microphone, encodes H.264 video and AAC
// audio, and publishes them as one FLV stream to an rtmp:// address, while
// handing every captured frame back to the host for local display.
//
// The host creates a manager with create_cap_manager(), registers its
// callback, chooses the devices, sets the video and audio parameters, then
// either hosts a room (capture and publish) or runs a preview (capture only),
// ends it with unhost_room(), and finally calls free_cap_manager() and
// deletes the manager.
//
// Threads: every operation of i_live_av_capture is called from the host's
// own thread (one thread per manager). While a room or a preview runs, a poll
// thread of the manager encodes, publishes and delivers the captured data.
// Every operation returns an int code or nothing; nothing throws across this
// interface.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#define CASTBAY_API __declspec(dllexport)
#else
#define CASTBAY_API __attribute__((visibility("default")))
#endif

// Publishing counters. With `write` false, access_stats() fills the three
// counters; with `write` true, the library takes them as its new values
// (all 0 resets them).
struct capture_stats {
  std::uint64_t video_bytes;   // bytes of video packets written since the room opened
  std::uint64_t audio_bytes;   // bytes of audio packets written since the room opened
  std::uint64_t video_frames;  // video packets written; only a write resets it
  bool write;
};

// One capture device: first its friendly name, second its device path (the
// name to pass to set_device_names). Each string ends in two NUL characters,
// counted in its length.
using capture_device_list = std::vector<std::pair<std::wstring, std::wstring>>;

// The built-in devices, listed after the machine's own cameras and
// microphones on every machine, so that a room can be hosted with no
// hardware: a test-pattern camera (SMPTE colour bars in the top half, a
// moving mark below; YUY2 and RGB24 at 320x240, 640x480 and 1280x720, at any
// frame rate) and a test-tone microphone (a steady 1 kHz sine; 16 or 8-bit
// PCM, 1 or 2 channels, 44100 or 48000 Hz). First the friendly name, then
// the device path to pass to set_device_names.
inline constexpr const wchar_t* castbay_test_camera_name = L"Castbay Test Pattern Camera";
inline constexpr const wchar_t* castbay_test_camera_path = L"castbay:test-pattern-camera";
inline constexpr const wchar_t* castbay_test_microphone_name = L"Castbay Test Tone Microphone";
inline constexpr const wchar_t* castbay_test_microphone_path = L"castbay:test-tone-microphone";

// Implemented by the host. The slot order is part of the binary contract.
//
// Every call must return quickly and must not throw. From inside a callback
// never call an operation of i_live_av_capture nor free_cap_manager(): the
// poll-thread callbacks run while the manager's poll thread, which those
// operations stop and wait for, is inside them.
class CASTBAY_API i_live_av_capture_callback {
 public:
  // Host's thread, when the video device has chosen its output format.
  virtual void on_video_format(int width, int height, int bits_per_pixel) = 0;
  // Host's thread, when the audio device has chosen its output format, and
  // again when it passes that format to the publisher: twice for each room
  // hosted, once for a preview.
  virtual void on_audio_format(int channels, int sample_rate, int bits_per_sample) = 0;
  // Poll thread, once per captured frame, in the device's own format (YUY2
  // top row first, or RGB24 as B, G, R bytes bottom row first), whether or
  // not publishing succeeded. Valid only during the call.
  virtual void on_video_frame(unsigned char* data, int size) = 0;
  // Poll thread, once per captured buffer of interleaved PCM. Valid only
  // during the call.
  virtual void on_audio_frame(unsigned char* data, int size) = 0;
  // `format` is a printf format followed by its arguments. Level 0: state
  // messages, on the host's thread during the operation that causes them;
  // the messages of opening the publisher ("output context alloc success
  // for rtmp publisher url:%s" and the ones after it, up to "stream head
  // writed!") carry the address as one extra argument whether or not the
  // format has a place for it, the others carry only their own arguments. A
  // device that fails while running ("video capture device failed: %s",
  // "audio capture device failed: %s") is reported on the poll thread.
  // Level 3: one line per packet written, with the packet's pts as a long
  // long (poll thread; the host's thread for the packets finished while the
  // room closes).
  virtual void on_log(int level, std::string format, ...) = 0;
  // Poll thread. The server or the muxer refused a packet: 0 video, 1 audio.
  // The room goes on; the next frame is tried again.
  virtual void on_status(int code) = 0;
  // Never called by this library.
  virtual void clean() = 0;
  // Called by free_cap_manager(), which owns the registered object.
  virtual ~i_live_av_capture_callback() = default;
};

// The capture manager. All operations are called from the host's thread,
// never from inside a callback.
class CASTBAY_API i_live_av_capture {
 public:
  // Appends one entry per video input device (audio == 0) or audio input
  // device (any other value). 0 listed; 1 the category has no device;
  // negative: the devices cannot be enumerated.
  virtual int list_devices(int audio, capture_device_list* devices) = 0;
  // Device paths for the next room or preview; empty selects the first device.
  virtual void set_device_names(std::wstring video_device, std::wstring audio_device) = 0;
  // Video bit rate per pixel (0.8 unless set); applied at once while a room runs.
  virtual void set_video_quality(float level) = 0;
  // Registers the callback; an earlier object is neither used nor destroyed.
  virtual void set_callback(i_live_av_capture_callback* callback) = 0;
  // Requested capture size and rate (fps 0 means 20); enables video.
  virtual void set_video_param(int width, int height, int fps) = 0;
  // Requested sound format and the audio bit rate; enables audio.
  virtual void set_audio_param(int sample_rate, int bits_per_sample, int channels,
                               int bit_rate) = 0;
  // Starts capture and publishing to `url` (null keeps the previous address).
  // 0 running (or already running); -1 the camera or -2 the microphone did
  // not start; -3 the camera or -4 the microphone could not be opened; -6
  // the address could not be published to; -10 neither video nor audio was
  // requested. On failure everything started is stopped again.
  virtual int host_room(const char* url) = 0;
  // Stops capture and publishing; waits for the poll thread.
  virtual void unhost_room() = 0;
  // Starts capture for local display only.
  virtual void preview() = 0;
  // Same as unhost_room().
  virtual void stop_preview() = 0;
  // Whether captured sound is published (it is delivered to the host either way).
  virtual void enable_audio(bool enabled) = 0;
  // Reads or writes the publishing counters (see capture_stats).
  virtual void access_stats(capture_stats* stats) = 0;
  virtual ~i_live_av_capture();
};

// Returns a new capture manager.
CASTBAY_API i_live_av_capture* create_cap_manager();
// Stops the manager and destroys its registered callback object (which the
// host therefore creates with new). The manager itself is destroyed
// afterwards through its virtual destructor (delete).
CASTBAY_API void free_cap_manager(i_live_av_capture* manager);
