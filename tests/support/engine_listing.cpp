#include "support/engine_listing.h"

#include <gtest/gtest.h>

#include <vector>

namespace keldrive::testing {
namespace {

void Walk(IFileRecoveryParse& engine, const FoundFile* folder, int depth, const std::string& prefix,
          std::map<std::string, FoundFile>& files) {
  std::vector<FoundFile> children;
  EXPECT_EQ(engine.ListFolder(folder, depth, children), result::kSuccess);
  for (const FoundFile& child : children) {
    const std::string path = prefix + std::string(child.Name());
    if (child.isFolder != 0) {
      Walk(engine, &child, depth + 1, path + "/", files);
    } else {
      files[path] = child;
    }
  }
}

}  // namespace

std::map<std::string, FoundFile> ListAllFiles(IFileRecoveryParse& engine) {
  std::map<std::string, FoundFile> files;
  Walk(engine, nullptr, 0, "", files);
  return files;
}

}  // namespace keldrive::testing
