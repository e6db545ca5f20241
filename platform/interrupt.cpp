#include "platform/interrupt.h"

#include <atomic>

#include "platform/io_error.h"

namespace platform {
namespace {

// Set from a signal handler or the console's handler thread: atomics that need no lock.
std::atomic<int> g_stop_signal = 0;
std::atomic<bool> g_stop_requested = false;
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

}  // namespace

void RequestStop(int signal) {
  g_stop_signal = signal;
  g_stop_requested = true;
}

bool StopRequested() { return g_stop_requested; }

int StopSignal() { return g_stop_signal; }

void ClearStopRequest() {
  g_stop_requested = false;
  g_stop_signal = 0;
}

void RaiseIfStopRequested() {
  if (StopRequested()) RaiseIoError(kOperationAborted);
}

}  // namespace platform
