// The console's interrupts on Windows, told on a thread of the console's own.
#include "platform/interrupt.h"

#include <windows.h>

#include <csignal>

namespace platform {
namespace {

// After a close event the system ends the process when the handler returns, or after five
// seconds: held that long, the action can remove what it was writing.
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
