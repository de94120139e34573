// One captured sample as it waits in a device's queue: the bytes exactly as
// the device delivered them, shared (never copied again) by the queue, the
// hand-offs and the encoder, and freed with the last reference.
#pragma once

#include <cstdint>
#include <memory>

using sample_bytes_ptr = std::shared_ptr<std::uint8_t[]>;

struct capture_data {
  capture_data() = default;
  capture_data(sample_bytes_ptr bytes, int byte_count, std::int64_t start, std::int64_t end)
      : data(std::move(bytes)), size(byte_count), start_time(start), end_time(end) {}
  virtual ~capture_data() = default;
  capture_data(const capture_data&) = default;
  capture_data& operator=(const capture_data&) = default;

  sample_bytes_ptr data;       // null in a default record
  int size = 0;                // valid bytes in data
  std::int64_t start_time = 0; // capture time in ms since the device started
  std::int64_t end_time = 0;   // equal to start_time; nothing reads it
};

// A new, uninitialised byte array for one sample (never null, even for 0 bytes).
inline sample_bytes_ptr allocate_sample_bytes(int size) {
  return std::make_shared_for_overwrite<std::uint8_t[]>(size > 0 ? static_cast<std::size_t>(size) : 1);
}
