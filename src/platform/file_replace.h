#pragma once

#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// Puts `from` in the place of `to` in one step: at every moment `to` is either the old
// file or the new one. The folder is flushed afterwards so the change survives a crash.
// Both paths must lie in the same folder.
ResultCode ReplaceFile(const std::string& from, const std::string& to);

// Deletes one file; a missing file is not an error.
ResultCode RemoveFile(const std::string& path);

}  // namespace keldrive::platform
