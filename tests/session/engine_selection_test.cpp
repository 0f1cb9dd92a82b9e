#include "session/engine_selection.h"

#include <gtest/gtest.h>

#include "fat/fast_fat_recovery.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

TEST(SelectEngineForImage, GivesEachFileSystemItsEngineInDeletedMode) {
  testing::TempDir dir;
  const ScanEnvironment environment{[&] { return dir.File("scan"); }, dir.File("p"), nullptr};
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool engine;
  };
  const auto fat16 = testing::LoadFixture("fat/fat16.img.gz");
  std::vector<std::uint8_t> encrypted = fat16;
  std::copy_n("-FVE-FS-", 8, encrypted.begin() + 3);
  const Case cases[] = {
      {"FAT16", fat16, true},
      {"a BitLocker volume", encrypted, false},
      {"zeros", std::vector<std::uint8_t>(1 << 20), false},
      {"shorter than 16 KiB", std::vector<std::uint8_t>(fat16.begin(), fat16.begin() + 16000),
       false},
  };
  for (const Case& c : cases) {
    const std::string path = dir.File("medium.img");
    testing::WriteFile(path, c.bytes);
    const auto engine = SelectEngineForImage(path, 1, kDeletedRecoveryMode, environment);
    EXPECT_EQ(engine != nullptr, c.engine) << c.what;
    if (engine) {
      const auto* fat = dynamic_cast<CFastFatRecovery*>(engine.get());
      ASSERT_NE(fat, nullptr) << c.what;
      EXPECT_TRUE(fat->IsAttached());
    }
  }
  EXPECT_EQ(SelectEngineForImage(dir.File("missing.img"), 1, 0, environment), nullptr);
}

}  // namespace
}  // namespace keldrive
