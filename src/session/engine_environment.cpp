#include "session/engine_environment.h"

#include "carve/content_check.h"
#include "engine/recovery_target.h"

namespace keldrive {

ScanEnvironment MakeScanEnvironment(const std::string& scanFolder, const std::string& root) {
  ScanEnvironment environment;
  environment.currentScanFolder = [scanFolder] { return scanFolder; };
  environment.previewFolder = JoinPath(root, "Preview");  // removed when the program ends
  environment.contentCheck = SignatureContentCheck();
  return environment;
}

}  // namespace keldrive
