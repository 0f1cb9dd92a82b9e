#include "platform/same_storage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "platform/path_info.h"
#include "support/temp_dir.h"

namespace keldrive::platform {
namespace {

// Makes a block device node with the given numbers; false where the system forbids it.
bool MakeNode(const std::string& path, dev_t device) {
  return ::mknod(path.c_str(), S_IFBLK | 0600, device) == 0;
}

TEST(FolderIsOnDevice, KnowsTheDeviceAFolderLiesOn) {
  testing::TempDir dir;
  struct stat place {};
  ASSERT_EQ(::stat(dir.path().c_str(), &place), 0);
  if (!HasAdministratorRights() || !MakeNode(dir.File("same"), place.st_dev)) {
    GTEST_SKIP() << "needs root to make device nodes";
  }
  ASSERT_TRUE(MakeNode(dir.File("other"), makedev(major(place.st_dev) + 1, 77)));
  const std::string target = dir.File("not/made/yet");
  EXPECT_TRUE(FolderIsOnDevice(target, dir.File("same"))) << "judged by the nearest parent";
  EXPECT_FALSE(FolderIsOnDevice(target, dir.File("other")));
  EXPECT_FALSE(FolderIsOnDevice(target, dir.File("missing")));

  // The folder's file system on a partition of the disk given: sysfs puts the partition's
  // entry inside the disk's.
  const std::string number =
      std::to_string(major(place.st_dev)) + ":" + std::to_string(minor(place.st_dev));
  const std::filesystem::path disk = dir.path() / "sys/devices/x/block/sdz";
  std::filesystem::create_directories(disk / "sdz1");
  testing::WriteFile(disk / "dev", std::to_string(major(place.st_dev) + 1) + ":77\n");
  std::filesystem::create_directories(dir.path() / "sys/dev/block");
  std::filesystem::create_symlink(disk / "sdz1", dir.path() / "sys/dev/block" / number);
  SystemRoots roots;
  roots.sys = dir.File("sys");
  EXPECT_TRUE(FolderIsOnDevice(target, dir.File("other"), roots)) << "a partition of that disk";
}

}  // namespace
}  // namespace keldrive::platform
