// A private PulseAudio daemon for tests: its own socket, runtime directory
// and home inside a temporary directory, one null sink (no hardware), and
// the sink's monitor as a microphone that hears whatever is played into the
// sink. Started as whichever user runs the tests (root in CI), stopped by
// its process id. A desktop's own sound server is never contacted.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "process.h"
#include "temp_dir.h"

namespace lrk::test {

class pulse_server {
 public:
  // Starts the daemon and waits until it answers; throws std::runtime_error
  // when it does not within a few seconds.
  explicit pulse_server(const std::string& sink_name = "lrk_test_sink",
                        const std::string& sink_description = "Lrk Test Sink");
  ~pulse_server();
  pulse_server(const pulse_server&) = delete;
  pulse_server& operator=(const pulse_server&) = delete;

  // "unix:DIR/native", the value for PULSE_SERVER.
  const std::string& address() const { return address_; }
  // Sets PULSE_SERVER to this server for the whole process: do it before
  // any sound client starts (environment changes race with other threads).
  void use_in_this_process() const;

  const std::string& sink_name() const { return sink_name_; }
  // The sink's monitor source ("<sink>.monitor") and the name a device list
  // shows for it ("Monitor of <description>").
  std::string monitor_source_name() const { return sink_name_ + ".monitor"; }
  std::string monitor_friendly_name() const { return "Monitor of " + sink_description_; }

  // Plays a steady sine of `frequency` Hz into the sink until stop_tone()
  // (a server module, so nothing of the test has to feed it).
  void play_tone(int frequency);
  void stop_tone();

  // Whether the daemon answers a query within two seconds.
  bool answers() const;
  pid_t pid() const;
  void pause();   // SIGSTOP: a server that hangs
  void resume();  // SIGCONT
  void kill();    // SIGKILL, reaped: a server that vanishes

 private:
  // Runs pactl against this server; its output, or throws on failure.
  std::string pactl(const std::string& arguments) const;

  temp_dir dir_;
  std::string sink_name_;
  std::string sink_description_;
  std::string address_;
  std::unique_ptr<child_process> daemon_;
  int tone_module_ = -1;
};

// Points this process's sound clients (PULSE_SERVER) at an address where
// no server listens, for tests that must reach no sound server at all.
void use_no_sound_server();

}  // namespace lrk::test
