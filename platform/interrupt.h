// A request to stop the action in progress: Ctrl-C, SIGTERM or SIGHUP on a terminal
// (on Windows the console's Ctrl-C, Ctrl-Break and close), or the window being closed. Long
// operations poll it between blocks and end with EInOutError kOperationAborted; whoever was writing
// removes its unfinished output.
#pragma once

namespace platform {

inline constexpr int kOperationAborted = 995;

// SIGINT, SIGTERM and SIGHUP request a stop instead of ending the process. Blocking
// reads and waits then return early (no automatic restart) so that the request is seen.
// On Windows the console's Ctrl-C, Ctrl-Break and close (log-off, shut-down) events
// request it as SIGINT, SIGBREAK and SIGTERM; a blocking read is not cut short there,
// and after a close the program has the five seconds the system grants to end.
void CatchInterrupts();

// Marks a stop as requested; `signal` is the signal that asked, 0 for the window. Safe
// to call from a signal handler and from any thread.
void RequestStop(int signal = 0);
bool StopRequested();
// The signal of the request, or 0.
int StopSignal();
void ClearStopRequest();

// Raises EInOutError kOperationAborted when a stop is requested.
void RaiseIfStopRequested();

}  // namespace platform
