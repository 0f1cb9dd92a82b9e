#include "platform/mount_table.h"

#include <gtest/gtest.h>

#include "disk/medium_queries.h"
#include "support/temp_dir.h"

namespace keldrive::platform {
namespace {

TEST(MountTable, ParsesOptionalFieldsAndEscapes) {
  testing::TempDir dir;
  const std::string path = dir.File("mountinfo");
  testing::WriteFile(path,
                     "28 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                     "40 28 8:17 / /media/My\\040Photos rw shared:5 master:2 - vfat /dev/sdb1 rw\n"
                     "41 28 8:17 /DCIM /srv/dcim rw - vfat /dev/sdb1 rw\n"
                     "garbage line\n"
                     "42 28 0:45 / /mnt/btrfs rw - btrfs /dev/sdc2 rw\n");
  const auto mounts = ReadMountTable(path);
  ASSERT_EQ(mounts.size(), 4u);
  EXPECT_EQ(mounts[1].mountPoint, "/media/My Photos");
  EXPECT_EQ(mounts[1].fileSystem, "vfat");
  EXPECT_EQ(mounts[1].source, "/dev/sdb1");

  EXPECT_EQ(FindMountPoint(mounts, "8:17", "/dev/sdb1"), "/media/My Photos");
  EXPECT_EQ(FindMountPoint(mounts, "8:34", "/dev/sdc2"), "/mnt/btrfs")
      << "found by the device path when the numbers differ";
  EXPECT_EQ(FindMountPoint(mounts, "8:99", "/dev/sdz9"), "");
  EXPECT_TRUE(ReadMountTable(dir.File("missing")).empty());
}

TEST(MediumQueries, AnswerForAFolderAndAFile) {
  testing::TempDir dir;
  std::uint64_t freeBytes = 0;
  EXPECT_EQ(GetFreeBytes(dir.path().string(), freeBytes), result::kSuccess);
  EXPECT_GT(freeBytes, 0u);
  EXPECT_EQ(GetFreeBytes(dir.File("missing/folder"), freeBytes), result::kFileNotFound);

  std::string name;
  EXPECT_EQ(GetFileSystemName(dir.path().string(), name), result::kSuccess);
  EXPECT_FALSE(name.empty());

  testing::WriteFile(dir.File("a.img"), std::string(1234, 'x'));
  std::uint64_t size = 0;
  EXPECT_EQ(GetFileSize(dir.File("a.img"), size), result::kSuccess);
  EXPECT_EQ(size, 1234u);
  EXPECT_EQ(GetFileSize(dir.File("b.img"), size), result::kFileNotFound);
}

}  // namespace
}  // namespace keldrive::platform
