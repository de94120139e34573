// Runs a call that may block for as long as the system pleases (stopping a
// capture graph) on a thread of its own, and waits for it only so long. A
// call that does not finish in time goes on alone; it must own (share)
// everything it uses and never call back into its caller.
#pragma once

#include <chrono>
#include <functional>

// True when `call` finished within `limit`.
bool run_bounded(std::function<void()> call, std::chrono::milliseconds limit);
