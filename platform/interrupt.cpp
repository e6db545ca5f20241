#include "platform/interrupt.h"

#include <signal.h>

#include <csignal>

#include "platform/io_error.h"

namespace platform {
namespace {

// A signal handler can only reach state of the whole process.
volatile std::sig_atomic_t g_stop_signal = 0;
volatile std::sig_atomic_t g_stop_requested = 0;

void OnSignal(int signal) {
  g_stop_signal = signal;
  g_stop_requested = 1;
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read or wait returns with EINTR
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void RequestStop(int signal) {
  g_stop_signal = signal;
  g_stop_requested = 1;
}

bool StopRequested() { return g_stop_requested != 0; }

int StopSignal() { return g_stop_signal; }

void ClearStopRequest() {
  g_stop_requested = 0;
  g_stop_signal = 0;
}

void RaiseIfStopRequested() {
  if (StopRequested()) RaiseIoError(kOperationAborted);
}

}  // namespace platform
