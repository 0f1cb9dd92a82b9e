#include "platform/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace keldrive::platform {
namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
  if (interrupted.exchange(true)) ::_exit(130);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return interrupted.load(); }

}  // namespace keldrive::platform
