#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>

namespace keldrive::platform {
namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the console starts; returning TRUE keeps the process.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  if (interrupted.exchange(true)) ExitProcess(130);
  return TRUE;
}

}  // namespace

void InstallInterruptHandler() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptRequested() {
  return interrupted.load();
}

}  // namespace keldrive::platform
