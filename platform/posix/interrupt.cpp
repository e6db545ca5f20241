// The terminal's interrupts on POSIX systems: signals.
#include "platform/interrupt.h"

#include <signal.h>

#include <initializer_list>

namespace platform {
namespace {

void OnSignal(int signal) { RequestStop(signal); }

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read or wait returns with EINTR
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace platform
