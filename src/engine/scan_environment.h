#pragma once

#include <functional>
#include <string>

namespace keldrive {

// What an engine needs from the application around it: where the current scan keeps its
// logs (the scan history hands out a folder per scan) and where preview files go.
struct ScanEnvironment {
  // The folder of the current scan, asked for when a scan starts or a log is loaded.
  std::function<std::string()> currentScanFolder;
  // The scan-log root, where previews are written ("tmp.jpg", "tmp.avi", documents).
  std::string previewFolder;
};

}  // namespace keldrive
