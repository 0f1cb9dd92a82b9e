#pragma once

#include <string>

#include "engine/scan_environment.h"

namespace keldrive {

// The environment engines run in: the logs of a scan go to `scanFolder`, previews to the
// scan-log root, and found files are checked against their signatures.
ScanEnvironment MakeScanEnvironment(const std::string& scanFolder, const std::string& root);

}  // namespace keldrive
