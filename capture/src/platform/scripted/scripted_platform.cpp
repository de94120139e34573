#include "platform/scripted/scripted_platform.h"

#include <algorithm>
#include <cstring>

namespace capture_platform::scripted {

namespace {

struct source_state {
  device_category category;
  scripted_device device;
  std::optional<media_type> set_format;  // guarded by the script's lock
  int suggested = 0;                     // guarded by the script's lock
};

struct graph_state {
  std::shared_ptr<source_state> source;
  std::shared_ptr<i_sample_sink> sink;
  bool sink_added = false;
  bool connected = false;
  bool running = false;
  bool destroyed = false;
  int stop_calls = 0;
  std::optional<media_type> connected_type;
  // Held for one delivery; stop waits for it, so no delivery follows a stop.
  std::mutex delivery_lock;
};

class bytes_sample : public i_media_sample {
 public:
  explicit bytes_sample(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  int actual_data_length() const override { return static_cast<int>(bytes_.size()); }
  void copy_to(std::uint8_t* destination) const override {
    if (!bytes_.empty()) std::memcpy(destination, bytes_.data(), bytes_.size());
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
};

}  // namespace

struct script {
  struct failure {
    step at;
    int code;
    std::wstring device;
  };

  mutable std::mutex lock;  // guards everything below
  std::condition_variable stops_released;
  bool holding_stops = false;
  std::vector<scripted_device> video;
  std::vector<scripted_device> audio;
  std::vector<failure> failures;
  std::function<void(const graph_probe&)> run_hook;
  std::int64_t tick = 1'000'000;
  std::vector<std::shared_ptr<graph_state>> graphs;
  std::vector<std::wstring> bound;

  // The scripted result of `at` (0 when none); the caller holds `lock`.
  int code_for(step at, const std::wstring& device = {}) const {
    for (const failure& f : failures)
      if (f.at == at && (f.device.empty() || f.device == device)) return f.code;
    return 0;
  }
  int code_of(step at, const std::wstring& device = {}) const {
    std::lock_guard guard(lock);
    return code_for(at, device);
  }
};

namespace {

class scripted_source : public i_capture_source {
 public:
  scripted_source(std::shared_ptr<script> s, std::shared_ptr<source_state> state)
      : script_(std::move(s)), state_(std::move(state)) {}

  int capability_count(int* count) override {
    if (int code = script_->code_of(step::capability_count, path())) return code;
    *count = static_cast<int>(state_->device.formats.size());
    return ok;
  }
  int capability(int index, media_type* type) override {
    if (int code = script_->code_of(step::capability, path())) return code;
    if (index < 0 || index >= static_cast<int>(state_->device.formats.size())) return e_fail;
    *type = state_->device.formats[index];
    return ok;
  }
  int set_format(const media_type& type) override {
    std::lock_guard guard(script_->lock);
    if (int code = script_->code_for(step::set_format, path())) return code;
    state_->set_format = type;
    return ok;
  }
  int current_format(media_type* type) override {
    std::lock_guard guard(script_->lock);
    if (int code = script_->code_for(step::current_format, path())) return code;
    std::optional<media_type> current = state_->set_format ? state_->set_format
                                                           : state_->device.default_format;
    if (!current && !state_->device.formats.empty()) current = state_->device.formats.front();
    if (!current) return e_fail;
    *type = *current;
    return ok;
  }
  bool has_output() override { return state_->device.has_output; }
  int suggest_buffer_size(int bytes) override {
    std::lock_guard guard(script_->lock);
    if (int code = script_->code_for(step::suggest_buffer_size, path())) return code;
    state_->suggested = bytes;
    return ok;
  }

  const std::shared_ptr<source_state>& state() const { return state_; }

 private:
  const std::wstring& path() const { return state_->device.path; }

  std::shared_ptr<script> script_;
  std::shared_ptr<source_state> state_;
};

class scripted_moniker : public i_device_moniker {
 public:
  scripted_moniker(std::shared_ptr<script> s, device_category category, scripted_device device)
      : script_(std::move(s)), category_(category), device_(std::move(device)) {}

  int display_name(std::wstring* name) override {
    if (int code = script_->code_of(step::display_name, device_.path)) return code;
    *name = device_.path;
    return ok;
  }
  int friendly_name(std::wstring* name) override {
    if (int code = script_->code_of(step::friendly_name, device_.path)) return code;
    *name = device_.name;
    return ok;
  }
  int bind(std::shared_ptr<i_capture_source>* source) override {
    {
      std::lock_guard guard(script_->lock);
      script_->bound.push_back(device_.path);
      if (int code = script_->code_for(step::bind, device_.path)) return code;
    }
    auto state = std::make_shared<source_state>(source_state{category_, device_, {}, 0});
    *source = std::make_shared<scripted_source>(script_, std::move(state));
    return ok;
  }

 private:
  std::shared_ptr<script> script_;
  device_category category_;
  scripted_device device_;
};

class scripted_graph : public i_capture_graph {
 public:
  scripted_graph(std::shared_ptr<script> s, std::shared_ptr<graph_state> state, std::size_t index)
      : script_(std::move(s)), state_(std::move(state)), index_(index) {}
  ~scripted_graph() override {
    std::lock_guard delivery(state_->delivery_lock);
    std::lock_guard guard(script_->lock);
    state_->destroyed = true;
    state_->running = false;
    state_->sink.reset();
  }

  int create_builder() override { return script_->code_of(step::create_builder); }
  int bind_builder() override { return script_->code_of(step::bind_builder); }
  int add_source(std::shared_ptr<i_capture_source> source) override {
    if (!source) return e_fail;
    if (int code = script_->code_of(step::add_source)) return code;
    std::lock_guard guard(script_->lock);
    state_->source = static_cast<scripted_source&>(*source).state();
    return ok;
  }
  int query_media_control() override { return script_->code_of(step::query_media_control); }
  int find_stream_config() override { return script_->code_of(step::find_stream_config); }
  int create_sink(std::shared_ptr<i_sample_sink> sink) override {
    if (int code = script_->code_of(step::create_sink)) return code;
    std::lock_guard guard(script_->lock);
    state_->sink = std::move(sink);
    return ok;
  }
  int add_sink() override {
    if (int code = script_->code_of(step::add_sink)) return code;
    std::lock_guard guard(script_->lock);
    state_->sink_added = state_->sink != nullptr;
    return state_->sink_added ? ok : e_fail;
  }
  int connect() override {
    std::shared_ptr<i_sample_sink> sink;
    media_type type;
    {
      std::lock_guard guard(script_->lock);
      if (int code = script_->code_for(step::connect, source_path())) return code;
      if (!state_->source || !state_->sink_added || state_->connected) return e_fail;
      const source_state& source = *state_->source;
      std::optional<media_type> current =
          source.set_format ? source.set_format : source.device.default_format;
      if (!current && !source.device.formats.empty()) current = source.device.formats.front();
      if (!current) return e_fail;
      type = *current;
      sink = state_->sink;
    }
    if (!sink->check_media_type(type)) return e_fail;
    std::lock_guard guard(script_->lock);
    state_->connected = true;
    state_->connected_type = type;
    return ok;
  }
  int run() override {
    std::function<void(const graph_probe&)> hook;
    {
      std::lock_guard guard(script_->lock);
      if (int code = script_->code_for(step::run, source_path())) return code;
      if (!state_->connected) return e_fail;
      state_->running = true;
      hook = script_->run_hook;
    }
    if (hook) hook(graph_probe(script_, index_));
    return ok;
  }
  void stop() override {
    {
      std::unique_lock guard(script_->lock);
      ++state_->stop_calls;
      script_->stops_released.wait(guard, [&] { return !script_->holding_stops; });
    }
    std::lock_guard delivery(state_->delivery_lock);
    std::lock_guard guard(script_->lock);
    state_->running = false;
  }

 private:
  // The caller holds the script's lock.
  std::wstring source_path() const { return state_->source ? state_->source->device.path : L""; }

  std::shared_ptr<script> script_;
  std::shared_ptr<graph_state> state_;
  std::size_t index_;
};

std::shared_ptr<graph_state> state_at(const script& s, std::size_t index) {
  std::lock_guard guard(s.lock);
  return index < s.graphs.size() ? s.graphs[index] : nullptr;
}

}  // namespace

bool graph_probe::deliver(const std::vector<std::uint8_t>& bytes) const {
  std::shared_ptr<graph_state> state = state_at(*script_, index_);
  if (!state) return false;
  std::lock_guard delivery(state->delivery_lock);
  std::shared_ptr<i_sample_sink> sink;
  {
    std::lock_guard guard(script_->lock);
    if (!state->running || state->destroyed) return false;
    sink = state->sink;
  }
  if (!sink) return false;
  sink->receive(bytes_sample(bytes));
  return true;
}

void graph_probe::fail_device(const std::string& reason) const {
  std::shared_ptr<graph_state> state = state_at(*script_, index_);
  if (!state) return;
  std::lock_guard delivery(state->delivery_lock);
  std::shared_ptr<i_sample_sink> sink;
  {
    std::lock_guard guard(script_->lock);
    if (!state->running || state->destroyed) return;
    // A failed device delivers nothing more.
    state->running = false;
    sink = state->sink;
  }
  if (sink) sink->device_failed(reason);
}

namespace {
// Reads one field of a graph's state under the script's lock.
template <typename Read>
auto read_state(const script& s, std::size_t index, Read read) {
  std::shared_ptr<graph_state> state = state_at(s, index);
  static const graph_state none;
  std::lock_guard guard(s.lock);
  return read(state ? *state : none);
}
}  // namespace

std::wstring graph_probe::device_path() const {
  return read_state(*script_, index_, [](const graph_state& g) {
    return g.source ? g.source->device.path : std::wstring();
  });
}
bool graph_probe::running() const {
  return read_state(*script_, index_, [](const graph_state& g) { return g.running; });
}
bool graph_probe::connected() const {
  return read_state(*script_, index_, [](const graph_state& g) { return g.connected; });
}
bool graph_probe::destroyed() const {
  return read_state(*script_, index_, [](const graph_state& g) { return g.destroyed; });
}
int graph_probe::stop_calls() const {
  return read_state(*script_, index_, [](const graph_state& g) { return g.stop_calls; });
}
int graph_probe::suggested_buffer_size() const {
  return read_state(*script_, index_,
                    [](const graph_state& g) { return g.source ? g.source->suggested : 0; });
}
std::optional<media_type> graph_probe::connected_type() const {
  return read_state(*script_, index_, [](const graph_state& g) { return g.connected_type; });
}

scripted_platform::scripted_platform() : script_(std::make_shared<script>()) {}

scripted_platform::~scripted_platform() { release_stops(); }

void scripted_platform::add_device(device_category category, scripted_device device) {
  std::lock_guard guard(script_->lock);
  (category == device_category::video_input ? script_->video : script_->audio)
      .push_back(std::move(device));
}

void scripted_platform::fail(step s, int code, const std::wstring& device) {
  std::lock_guard guard(script_->lock);
  script_->failures.push_back({s, code, device});
}

void scripted_platform::clear_failures() {
  std::lock_guard guard(script_->lock);
  script_->failures.clear();
}

void scripted_platform::hold_stops() {
  std::lock_guard guard(script_->lock);
  script_->holding_stops = true;
}

void scripted_platform::release_stops() {
  std::lock_guard guard(script_->lock);
  script_->holding_stops = false;
  script_->stops_released.notify_all();
}

void scripted_platform::on_run(std::function<void(const graph_probe&)> hook) {
  std::lock_guard guard(script_->lock);
  script_->run_hook = std::move(hook);
}

void scripted_platform::set_tick(std::int64_t ms) {
  std::lock_guard guard(script_->lock);
  script_->tick = ms;
}

void scripted_platform::advance(std::int64_t ms) {
  std::lock_guard guard(script_->lock);
  script_->tick += ms;
}

std::int64_t scripted_platform::tick_count() {
  std::lock_guard guard(script_->lock);
  return script_->tick;
}

std::size_t scripted_platform::graph_count() const {
  std::lock_guard guard(script_->lock);
  return script_->graphs.size();
}

graph_probe scripted_platform::graph(std::size_t index) const { return graph_probe(script_, index); }

std::optional<graph_probe> scripted_platform::running_graph(device_category category) const {
  std::lock_guard guard(script_->lock);
  for (std::size_t i = script_->graphs.size(); i-- > 0;) {
    const graph_state& g = *script_->graphs[i];
    if (g.running && !g.destroyed && g.source && g.source->category == category)
      return graph_probe(script_, i);
  }
  return std::nullopt;
}

std::size_t scripted_platform::live_graph_count() const {
  std::lock_guard guard(script_->lock);
  return static_cast<std::size_t>(std::count_if(script_->graphs.begin(), script_->graphs.end(),
                                                [](const auto& g) { return !g->destroyed; }));
}

std::vector<std::wstring> scripted_platform::bound_paths() const {
  std::lock_guard guard(script_->lock);
  return script_->bound;
}

int scripted_platform::enumerate(device_category category,
                                 std::vector<std::shared_ptr<i_device_moniker>>* devices) {
  std::vector<scripted_device> listed;
  {
    std::lock_guard guard(script_->lock);
    if (int code = script_->code_for(step::enumerate)) return code;
    listed = category == device_category::video_input ? script_->video : script_->audio;
  }
  if (listed.empty()) return nothing_found;
  for (scripted_device& d : listed)
    devices->push_back(std::make_shared<scripted_moniker>(script_, category, std::move(d)));
  return ok;
}

int scripted_platform::create_graph(std::unique_ptr<i_capture_graph>* graph) {
  std::lock_guard guard(script_->lock);
  if (int code = script_->code_for(step::create_graph)) return code;
  script_->graphs.push_back(std::make_shared<graph_state>());
  *graph = std::make_unique<scripted_graph>(script_, script_->graphs.back(),
                                            script_->graphs.size() - 1);
  return ok;
}

}  // namespace capture_platform::scripted
