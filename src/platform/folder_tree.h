#pragma once

#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// Creates a folder and every missing parent; an existing folder is success.
ResultCode CreateFolderTree(const std::string& path);

}  // namespace keldrive::platform
