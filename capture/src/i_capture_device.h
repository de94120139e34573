// A capture device as the manager drives it. The slot order is fixed.
#pragma once

#include <string>

#include "capture_data.h"

class i_capture_device {
 public:
  // Host's thread. Builds the graph for the device whose path is `name`
  // (the first device when empty). 0, or a code of device_result.
  virtual int open_device(std::wstring name) = 0;
  // Releases the graph and the sink; run by stop_capture.
  virtual void close_device() = 0;
  // Host's thread. Connects and runs the graph: 0, -4, -5 or -6.
  virtual int start_capture() = 0;
  // Host's thread. Stops and closes the graph and empties the queue; 0.
  virtual int stop_capture() = 0;
  // Host's thread, after open_device: chooses and sets the output format.
  virtual int set_output_format() = 0;
  // Host's thread: the requested format, an array laid out per device.
  virtual void set_capture_param(const int* params) = 0;
  // Host's thread: passes the chosen format to the publisher.
  virtual int set_encode_param(float quality) = 0;
  // Poll thread: publishes one record and hands its bytes to the host.
  virtual int process_data(const capture_data& item) = 0;
  // Poll thread: the oldest queued record, or a default record.
  virtual capture_data get_capture_data() = 0;
  virtual ~i_capture_device() = default;
};
