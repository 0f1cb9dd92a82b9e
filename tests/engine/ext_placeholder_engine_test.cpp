#include "engine/ext_placeholder_engine.h"

#include <gtest/gtest.h>

namespace keldrive {
namespace {

TEST(CFastExtRecovery, FindsNothingAndReportsOnlyTheOpen) {
  CFastExtRecovery engine;
  EXPECT_EQ(engine.AttachDiskPartition(1'000'000, 2048, 100, u'E'), result::kFileNotFound);
  EXPECT_EQ(engine.Scan(""), result::kSuccess);
  EXPECT_EQ(engine.GetFoundCount(), 0u);
  std::vector<FoundFile> files;
  EXPECT_EQ(engine.ListFolder(nullptr, 0, files), result::kSuccess);
  EXPECT_EQ(engine.ListFilesByType("*.jpg", files), 0);
  EXPECT_TRUE(files.empty());
}

}  // namespace
}  // namespace keldrive
