#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace keldrive::platform {

bool StderrIsTerminal() {
  return ::isatty(STDERR_FILENO) != 0;
}

bool StdinIsTerminal() {
  return ::isatty(STDIN_FILENO) != 0;
}

int TerminalColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace keldrive::platform
