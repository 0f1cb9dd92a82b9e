#include "platform/terminal.h"

#include <windows.h>

namespace keldrive::platform {
namespace {

// Only a console answers GetConsoleMode; files, pipes and MSYS terminals do not.
bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool StderrIsTerminal() {
  return IsConsole(STD_ERROR_HANDLE);
}

bool StdinIsTerminal() {
  return IsConsole(STD_INPUT_HANDLE);
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) != 0) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
  return 80;
}

}  // namespace keldrive::platform
