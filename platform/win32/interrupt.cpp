// The console's interrupts on Windows: the console calls its handlers on a thread of
// its own.
#include "platform/interrupt.h"

#include <windows.h>

#include <csignal>

namespace platform {
namespace {

// After a close, log-off or shut-down event the system ends the process as soon as the
// handler returns, and at the latest after about five seconds: the handler holds on
// that long, so that the action can remove what it was writing and the program end.
constexpr DWORD kCloseGraceMs = 5000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      RequestStop(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
      RequestStop(SIGBREAK);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      RequestStop(SIGTERM);
      ::Sleep(kCloseGraceMs);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchInterrupts() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

}  // namespace platform
