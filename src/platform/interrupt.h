#pragma once

namespace keldrive::platform {

// Lets a long command stop cleanly on Ctrl+C: after InstallInterruptHandler, the first
// interrupt only sets a flag that the work polls; a second one ends the process at once.
void InstallInterruptHandler();
bool InterruptRequested();

}  // namespace keldrive::platform
