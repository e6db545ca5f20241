// A request to stop the action in progress (a terminal's interrupt, or the window closed):
// long operations poll it and end with EInOutError kOperationAborted.
#pragma once

namespace platform {

inline constexpr int kOperationAborted = 995;

// SIGINT, SIGTERM and SIGHUP request a stop instead of ending the process, cutting blocking
// reads short. On Windows the console's Ctrl-C, Ctrl-Break and close (log-off, shut-down)
// events request it as SIGINT, SIGBREAK and SIGTERM.
void CatchInterrupts();

// `signal`: the signal that asked, 0 for the window. Safe in a signal handler, any thread.
void RequestStop(int signal = 0);
bool StopRequested();
// The signal of the request, or 0.
int StopSignal();
void ClearStopRequest();

// Raises EInOutError kOperationAborted when a stop is requested.
void RaiseIfStopRequested();

}  // namespace platform
