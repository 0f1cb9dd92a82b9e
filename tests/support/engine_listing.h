#pragma once

#include <map>
#include <string>

#include "engine/recovery_engine.h"

namespace keldrive::testing {

// Every file an engine's scan lists, by its path ("Photos/2019/beach.jpg"), walking the
// folders from the root as a user browsing them would.
std::map<std::string, FoundFile> ListAllFiles(IFileRecoveryParse& engine);

}  // namespace keldrive::testing
