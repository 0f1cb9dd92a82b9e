#pragma once

#include <string>
#include <vector>

#include "platform/result_code.h"

namespace keldrive::platform {

// Creates the folder and every missing folder above it; success when it exists already.
ResultCode CreateFolderTree(const std::string& path);

// Creates one folder whose parent exists, failing with kAlreadyExists when anything of
// that name is there already: two processes asking for the same name never both succeed.
ResultCode CreateFolderExclusive(const std::string& path);

// Deletes the folder with everything in it. Symbolic links inside are removed, never
// followed, so nothing outside the folder is touched. A missing folder is not an error.
ResultCode DeleteFolderTree(const std::string& path);

// The names in a folder, without "." and "..", sorted by their bytes so that every
// system lists them in the same order.
ResultCode ListFolder(const std::string& path, std::vector<std::string>& names);

}  // namespace keldrive::platform
