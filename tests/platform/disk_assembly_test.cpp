#include "platform/disk_assembly.h"

#include <gtest/gtest.h>

// The Windows disk list from made-up IOCTL answers: no machine running the tests has the
// disks, and Wine has no \\.\PhysicalDriveN at all.
namespace keldrive::platform {
namespace {

constexpr std::uint64_t kMiB = 1 << 20;

VolumeFacts Mounted(int device, std::uint64_t start, char16_t letter, std::string fileSystem) {
  VolumeFacts v;
  v.volumeName = "\\\\?\\Volume{" + std::to_string(device) + "-" + std::to_string(start) + "}\\";
  v.deviceNumber = device;
  v.startBytes = start;
  v.lengthBytes = 100 * kMiB;
  v.driveLetter = letter;
  v.mountPoint = letter != 0 ? std::string(1, static_cast<char>(letter)) + ":\\" : "";
  v.fileSystem = std::move(fileSystem);
  v.spaceKnown = true;
  v.totalBytes = 100 * kMiB;
  v.freeBytes = 40 * kMiB;
  return v;
}

TEST(DiskAssembly, PartitionsTakeTheVolumeAtTheirOffset) {
  DiskFacts disk{.deviceNumber = 1, .lengthBytes = 1024 * kMiB};
  disk.partitions = {
      {.number = 2, .startBytes = 300 * kMiB, .lengthBytes = 200 * kMiB, .type = 0x07},
      {.number = 0, .startBytes = 600 * kMiB, .lengthBytes = 300 * kMiB, .type = 0x0F},
      {.number = 5, .startBytes = 601 * kMiB, .lengthBytes = 100 * kMiB, .type = 0x0B},
      {.number = 1, .startBytes = 1 * kMiB, .lengthBytes = 200 * kMiB, .type = 0x0C},
  };
  const std::vector<VolumeFacts> volumes = {
      Mounted(1, 300 * kMiB, u'E', "NTFS"), Mounted(1, 601 * kMiB, 0, "FAT32"),
      Mounted(0, 1 * kMiB, u'C', "NTFS"),  // another disk's volume at the same offset
  };
  const auto disks = AssembleDisks({disk}, volumes, true);
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks[0].devicePath, "\\\\.\\PhysicalDrive1");
  const auto& v = disks[0].volumes;
  ASSERT_EQ(v.size(), 3u) << "the extended container is no volume";
  EXPECT_EQ(v[0].partitionNumber, 1);
  EXPECT_EQ(v[0].driveLetter, 0) << "C: lies on disk 0";
  EXPECT_TRUE(v[0].fileSystem.empty());
  EXPECT_EQ(v[1].partitionNumber, 2);
  EXPECT_EQ(v[1].driveLetter, u'E');
  EXPECT_EQ(v[1].fileSystem, "NTFS");
  EXPECT_EQ(v[1].devicePath, "\\\\?\\Volume{1-314572800}") << "opened without the backslash";
  EXPECT_TRUE(v[1].spaceKnown);
  EXPECT_EQ(v[1].freeBytes, 40 * kMiB);
  EXPECT_EQ(v[2].partitionNumber, 5);
  EXPECT_EQ(v[2].fileSystem, "FAT32");
  EXPECT_TRUE(v[2].mountPoint.empty());
  EXPECT_EQ(v[2].startBytes, 601 * kMiB);
}

TEST(DiskAssembly, WholeDiskFileSystemAndOrder) {
  const DiskFacts stick{.deviceNumber = 3, .lengthBytes = 64 * kMiB, .usbOrCardBus = true};
  const DiskFacts empty{.deviceNumber = 0, .lengthBytes = 512 * kMiB};
  const auto disks = AssembleDisks({stick, empty}, {Mounted(3, 0, u'F', "FAT")}, true);
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].number, 0) << "by device number";
  EXPECT_TRUE(disks[0].volumes.empty());
  ASSERT_EQ(disks[1].volumes.size(), 1u);
  EXPECT_EQ(disks[1].volumes[0].partitionNumber, 0);
  EXPECT_EQ(disks[1].volumes[0].driveLetter, u'F');
  EXPECT_TRUE(disks[1].usbOrCardBus);

  EXPECT_TRUE(AssembleDisks({stick}, {Mounted(3, 0, u'F', "FAT")}, false)[0].volumes.empty());
}

}  // namespace
}  // namespace keldrive::platform
