#include "platform/interrupt.h"

#include <algorithm>
#include <atomic>

#include "platform/io_error.h"

namespace platform {
namespace {

// 0, or the signal that asked for a stop + 1 (the window's is 0). Set from a signal handler
// or the console's handler thread: an atomic that needs no lock.
std::atomic<int> g_stop = 0;
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

void RequestStop(int signal) { g_stop = signal + 1; }

bool StopRequested() { return g_stop != 0; }

int StopSignal() { return std::max(g_stop.load() - 1, 0); }

void ClearStopRequest() { g_stop = 0; }

void RaiseIfStopRequested() {
  if (StopRequested()) RaiseIoError(kOperationAborted);
}

}  // namespace platform
