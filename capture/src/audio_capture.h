// The microphone: picks the PCM format that matches the request exactly,
// sizes the capture buffers to whole encoder frames, tells the host and the
// publisher, and hands every captured buffer to both.
#pragma once

#include <optional>

#include "dshow_capture.h"
#include "platform/media_type.h"

class live_capture_manager;

class audio_capture : public dshow_capture {
 public:
  audio_capture(std::shared_ptr<capture_platform::i_capture_platform> platform,
                live_capture_manager* manager);

  // Chooses and sets the output format; 0 in every case. A negotiation
  // without an exact match keeps no earlier choice: capture then runs in
  // the device's current format, which is remembered for the publisher.
  int set_output_format() override;
  // {sample_rate, channels, bits_per_sample, bit_rate}.
  void set_capture_param(const int* params) override;
  // Passes the format the device delivers to the publisher and the host;
  // nothing when that format cannot be encoded or is unknown. 0.
  int set_encode_param(float quality) override;
  // Poll thread: publishes the buffer, then hands it to the host; returns
  // the sample frames the encoder left over.
  int process_data(const capture_data& item) override;

  // Host's thread, after the publisher opened: asks for capture buffers of
  // whole encoder frames (frame_size samples per channel). 0; -1 when the
  // device has no output.
  int set_record_buffer(int frame_size);

  // Host's thread: the format the device will deliver and the encoder
  // takes (8 or 16-bit PCM), if known.
  std::optional<capture_platform::media_type> encodable_format() const;
  const std::optional<capture_platform::media_type>& output_type() const { return output_type_; }

 private:
  template <typename... Args>
  void log(const char* format, Args... args) const;

  // Host's thread.
  int channels_ = 2;
  int sample_rate_ = 44100;
  int bits_per_sample_ = 16;
  int bit_rate_ = 64000;
  std::optional<capture_platform::media_type> output_type_;    // the exact match
  std::optional<capture_platform::media_type> current_type_;   // delivered without a match
  live_capture_manager* const manager_;
};
