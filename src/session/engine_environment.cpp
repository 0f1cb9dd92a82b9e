#include "session/engine_environment.h"

#include "carve/content_check.h"

namespace keldrive {

ScanEnvironment MakeScanEnvironment(const std::string& scanFolder, const std::string& root) {
  ScanEnvironment environment;
  environment.currentScanFolder = [scanFolder] { return scanFolder; };
  environment.previewFolder = root;
  environment.contentCheck = SignatureContentCheck();
  return environment;
}

}  // namespace keldrive
