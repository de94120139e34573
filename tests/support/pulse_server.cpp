#include "pulse_server.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace lrk::test {
namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// Runs a shell command; its exit status, with its output in `out`.
int run(const std::string& command, std::string* out) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buf[256];
  while (fgets(buf, sizeof buf, pipe))
    if (out) *out += buf;
  return pclose(pipe);
}

}  // namespace

pulse_server::pulse_server(const std::string& sink_name, const std::string& sink_description)
    : sink_name_(sink_name), sink_description_(sink_description) {
  const std::filesystem::path& d = dir_.path();
  const std::string home = (d / "home").string();
  const std::string runtime = (d / "runtime").string();
  std::filesystem::create_directories(home);
  std::filesystem::create_directories(runtime);
  // The daemon refuses a runtime directory others may enter.
  chmod(runtime.c_str(), 0700);
  const std::string socket = (d / "native").string();
  address_ = "unix:" + socket;
  // The description is parsed twice (module arguments, then a property
  // list), so it is quoted twice.
  const std::string null_sink = "module-null-sink sink_name=" + sink_name_ +
                                " sink_properties='device.description=\"" + sink_description_ +
                                "\"'";
  daemon_ = std::make_unique<child_process>(
      std::vector<std::string>{"env", "HOME=" + home, "XDG_RUNTIME_DIR=" + runtime,
                               "PULSE_RUNTIME_PATH=" + runtime, "pulseaudio", "-n",
                               "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                               "--disable-shm=yes", "--realtime=no", "--high-priority=no",
                               "--log-target=stderr", "-L",
                               "module-native-protocol-unix socket=" + socket + " auth-anonymous=1",
                               "-L", null_sink},
      (d / "pulseaudio.log").string());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!answers()) {
    if (!daemon_->running() || std::chrono::steady_clock::now() > deadline) {
      std::string log;
      run("cat " + quoted((d / "pulseaudio.log").string()), &log);
      throw std::runtime_error("the test PulseAudio daemon did not start:\n" + log);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

pulse_server::~pulse_server() { daemon_->stop(); }

void pulse_server::use_in_this_process() const { setenv("PULSE_SERVER", address_.c_str(), 1); }

std::string pulse_server::pactl(const std::string& arguments) const {
  std::string out;
  // Bounded: a stopped daemon never answers.
  if (run("timeout 5 pactl -s " + quoted(address_) + " " + arguments, &out) != 0)
    throw std::runtime_error("pactl " + arguments + " failed: " + out);
  return out;
}

bool pulse_server::answers() const {
  return run("timeout 2 pactl -s " + quoted(address_) + " info >/dev/null", nullptr) == 0;
}

void pulse_server::play_tone(int frequency) {
  stop_tone();
  tone_module_ = std::stoi(pactl("load-module module-sine sink=" + sink_name_ +
                                 " frequency=" + std::to_string(frequency)));
}

void pulse_server::stop_tone() {
  if (tone_module_ < 0) return;
  pactl("unload-module " + std::to_string(tone_module_));
  tone_module_ = -1;
}

pid_t pulse_server::pid() const { return daemon_->pid(); }
void pulse_server::pause() { daemon_->pause(); }
void pulse_server::resume() { daemon_->resume(); }

void pulse_server::kill() {
  if (daemon_->pid() > 0) ::kill(daemon_->pid(), SIGKILL);
  daemon_->stop();
}

void use_no_sound_server() {
  // A socket path that cannot exist: connections fail at once.
  setenv("PULSE_SERVER", "unix:/nonexistent/lrk-no-sound-server/native", 1);
}

}  // namespace lrk::test
