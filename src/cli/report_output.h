#pragma once

#include <string>

#include "cli/command.h"
#include "platform/result_code.h"

namespace keldrive::cli {

// Puts a finished report in FILE (replacing it), or on standard output when FILE is empty.
// False, with the reason printed, when the file cannot be written.
bool DeliverReport(Context& context, const std::string& file, const std::string& text);

}  // namespace keldrive::cli
