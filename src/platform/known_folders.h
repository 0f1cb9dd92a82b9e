#pragma once

#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// The folder that holds the running program, without a trailing separator.
ResultCode ExecutableFolder(std::string& out);

// The user's folder for application data: CSIDL_APPDATA on Windows; elsewhere
// $XDG_DATA_HOME, or ~/.local/share when that is unset.
ResultCode ApplicationDataFolder(std::string& out);

// The XDG rule on its own, for given values of XDG_DATA_HOME and HOME (null when unset).
// An empty or relative XDG_DATA_HOME counts as unset, as the XDG base-directory rules
// say; the result is empty when neither variable gives a folder.
std::string DataHomeFrom(const char* xdgDataHome, const char* home);

}  // namespace keldrive::platform
