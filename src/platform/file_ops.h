#pragma once

#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// Removes a file; a file that is not there is success.
ResultCode RemoveFile(const std::string& path);

}  // namespace keldrive::platform
