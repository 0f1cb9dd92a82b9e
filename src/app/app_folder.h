#pragma once

#include <string>

#include "platform/result_code.h"

namespace keldrive {

// The folder of the running program, with forward slashes and ending in "/". The settings
// file "config.ini" and the "Languages" folder lie here.
ResultCode AppFolder(std::string& out);

// The folder that holds the scan history, one numbered folder per scan and the preview
// files: the user's application-data folder + "/Keldrive/ScanLog". Only finds it.
ResultCode LocateScanLogRoot(std::string& out);

// Finds the scan-log root and creates it when it is missing.
ResultCode PrepareScanLogRoot(std::string& out);

}  // namespace keldrive
