#include "disk/volume_table.h"

#include <gtest/gtest.h>

#include "support/fake_system_tree.h"

namespace keldrive {
namespace {

using platform::PlatformDisk;
using platform::PlatformVolume;

constexpr std::uint64_t kCylinder = 16065;

PlatformDisk Disk(int number, std::uint64_t sectors, std::uint32_t sectorSize = 512) {
  PlatformDisk disk;
  disk.number = number;
  disk.devicePath = "/dev/disk" + std::to_string(number);
  disk.lengthBytes = sectors * sectorSize;
  disk.hasGeometry = true;
  disk.geometry.bytesPerSector = sectorSize;
  disk.geometry.tracksPerCylinder = 255;
  disk.geometry.sectorsPerTrack = 63;
  disk.geometry.cylinders = sectors / kCylinder;
  return disk;
}

PlatformVolume Volume(std::uint64_t startSector, std::uint64_t sectors,
                      const std::string& fileSystem = "NTFS", std::uint32_t sectorSize = 512) {
  PlatformVolume volume;
  volume.partitionNumber = 1;
  volume.startBytes = startSector * sectorSize;
  volume.lengthBytes = sectors * sectorSize;
  volume.hasPosition = true;
  volume.fileSystem = fileSystem;
  return volume;
}

std::vector<VolumeRecord> Build(const std::vector<PlatformDisk>& disks) {
  VolumeTable table;
  BuildVolumeTable(table, disks);
  std::vector<VolumeRecord> records;
  ListAllVolumes(table, records);
  return records;
}

TEST(VolumeTable, GapIsMadeOnlyBeyondOneCylinder) {
  struct Case {
    std::uint64_t partitionStart;
    bool gapBefore;
  };
  for (const Case c : {Case{63 + kCylinder, false}, Case{63 + kCylinder + 1, true}}) {
    PlatformDisk disk = Disk(0, 1'000'000);
    disk.volumes = {Volume(c.partitionStart, 1'000'000 - c.partitionStart)};
    const auto records = Build({disk});
    ASSERT_EQ(records.size(), c.gapBefore ? 2u : 1u) << c.partitionStart;
    if (c.gapBefore) {
      EXPECT_EQ(records[0].start, 63u);
      EXPECT_EQ(records[0].length, kCylinder + 1);
      EXPECT_EQ(records[0].type, 0);
      EXPECT_EQ(records[0].partitionNumber, 0);
      EXPECT_EQ(records[0].totalBytes, (kCylinder + 1) * 512);
      EXPECT_EQ(records[0].freeBytes, records[0].totalBytes);
      EXPECT_EQ(records[1].start, c.partitionStart);
    }
  }
}

TEST(VolumeTable, SmallStretchesAroundAVolumeAreNotGaps) {
  // A volume from sector 2048 to 1 MiB before the end: both stretches are under a cylinder.
  PlatformDisk disk = Disk(0, 10'000'000);
  disk.volumes = {Volume(2048, 10'000'000 - 2048 - 2048)};
  const auto records = Build({disk});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].start, 2048u);
  EXPECT_EQ(records[0].type, 7);
}

TEST(VolumeTable, GapsBetweenAndAfterVolumesComeInStartOrder) {
  PlatformDisk disk = Disk(0, 4'000'000, 4096);
  disk.volumes = {Volume(2'000'000, 500'000, "FAT32", 4096), Volume(256, 100'000, "FAT", 4096)};
  const auto records = Build({disk});
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].start, 256u);
  EXPECT_EQ(records[0].type, 6);
  EXPECT_EQ(records[1].start, 100'256u);
  EXPECT_EQ(records[1].length, 2'000'000u - 100'256u);
  EXPECT_EQ(records[1].totalBytes, records[1].length * 4096) << "gaps count the disk's sectors";
  EXPECT_EQ(records[2].type, 11);
  EXPECT_EQ(records[3].start, 2'500'000u);
  EXPECT_EQ(records[3].length, 1'500'000u);
}

TEST(VolumeTable, OverlapsAndShortDisksNeverWrapIntoHugeGaps) {
  PlatformDisk overlapping = Disk(0, 5'000'000);
  overlapping.volumes = {Volume(2048, 3'000'000), Volume(100'000, 1000)};
  // A disk whose size is less than the end of its last volume.
  PlatformDisk shortDisk = Disk(1, 1'000'000);
  shortDisk.volumes = {Volume(2048, 2'000'000)};
  for (const VolumeRecord& record : Build({overlapping, shortDisk})) {
    EXPECT_LE(record.start + record.length, 5'000'000u);
    if (record.type == 0) {
      EXPECT_EQ(record.diskNumber, 0);
      EXPECT_EQ(record.start, 3'002'048u) << "the gap follows the end of the outer volume";
    }
  }
}

TEST(VolumeTable, DiskWithoutVolumesIsListedWhole) {
  PlatformDisk empty = Disk(0, 123'456);
  PlatformVolume wholeDiskFileSystem = Volume(0, 123'456, "ext4");
  wholeDiskFileSystem.partitionNumber = 0;
  wholeDiskFileSystem.mountPoint = "/";
  empty.volumes = {wholeDiskFileSystem};
  PlatformDisk zeroSectorSize = Disk(1, 2000);
  zeroSectorSize.geometry.bytesPerSector = 0;
  const auto records = Build({empty, zeroSectorSize});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].start, 0u);
  EXPECT_EQ(records[0].length, 123'456u) << "the true length, not whole cylinders";
  EXPECT_EQ(records[0].partitionNumber, 0);
  EXPECT_EQ(records[0].totalBytes, 123'456u * 512);
  EXPECT_EQ(records[0].usedBytes, 0u);
  EXPECT_EQ(records[0].mountPoint, "/") << "shown, so the system disk is recognised";
  EXPECT_EQ(records[1].length, 2000u) << "no sector size is taken as 512";
}

TEST(VolumeTable, KeepsVolumesWithAKnownType) {
  struct Case {
    const char* fileSystem;
    std::uint8_t tableType;
    bool kept;
    std::uint8_t type;
  };
  const Case cases[] = {
      {"ntfs", 0, true, 7},       {"FAT32", 0x83, true, 11}, {"FAT", 0, true, 6},
      {"ext4", 0x83, true, 0x83}, {"ext4", 0, false, 0},     {"", 0x0C, true, 0x0C},
  };
  for (const Case& c : cases) {
    PlatformDisk disk = Disk(0, 1'000'000);
    PlatformVolume volume = Volume(2048, 900'000, c.fileSystem);
    volume.partitionType = c.tableType;
    disk.volumes = {volume};
    const auto records = Build({disk});
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].partitionNumber != 0, c.kept) << c.fileSystem;
    if (c.kept) {
      EXPECT_EQ(records[0].type, c.type) << c.fileSystem;
    }
  }
}

TEST(VolumeTable, SpaceComesFromTheMountedFileSystemOrTheLength) {
  PlatformDisk disk = Disk(0, 1'000'000);
  PlatformVolume mounted = Volume(2048, 400'000);
  mounted.spaceKnown = true;
  mounted.totalBytes = 200'000'000;
  mounted.freeBytes = 50'000'000;
  PlatformVolume unmounted = Volume(402'048, 500'000, "FAT32");
  disk.volumes = {mounted, unmounted};
  const auto records = Build({disk});
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[0].usedBytes, 150'000'000u);
  EXPECT_EQ(records[1].totalBytes, 500'000u * 512);
  EXPECT_EQ(records[1].freeBytes, 0u);
}

TEST(VolumeTable, LetterlessRecordsAreNumberedInTableOrder) {
  PlatformDisk disk0 = Disk(0, 10'000'000);
  PlatformVolume c = Volume(2048, 2'000'000);
  c.driveLetter = u'C';
  PlatformVolume recovery = Volume(2'002'048, 1'000'000);
  PlatformVolume d = Volume(3'002'048, 6'997'000);
  d.driveLetter = u'D';
  disk0.volumes = {d, recovery, c};
  PlatformDisk disk1 = Disk(1, 500'000);

  VolumeTable table;
  BuildVolumeTable(table, {disk0, disk1});
  std::vector<char16_t> letters;
  VolumeRecord record;
  while (NextVolume(table, record) == 1) letters.push_back(record.driveLetter);
  EXPECT_EQ(letters, (std::vector<char16_t>{u'C', 2, u'D', 4}));
  EXPECT_EQ(NextVolume(table, record), 0) << "the cursor stays at the end";
}

TEST(FindMissingVolumes, ReportsEveryRecordOfARemovedDisk) {
  testing::FakeSystemTree tree;
  tree.AddDisk({.name = "sda", .sectors512 = 2'000'000, .majorMinor = "8:0"});
  tree.AddDisk({.name = "sdb", .sectors512 = 1'000'000, .bus = "usb", .majorMinor = "8:16"});
  tree.AddPartition(
      "sdb",
      {.name = "sdb1", .number = 1, .start512 = 2048, .sectors512 = 400'000, .majorMinor = "8:17"});
  tree.SetUdevProperties("8:17", "ID_FS_TYPE=vfat\nID_FS_VERSION=FAT32");

  VolumeTable table;
  ASSERT_EQ(EnumerateVolumes(table, tree.roots()), 1);
  std::vector<VolumeRecord> before;
  ListAllVolumes(table, before);
  ASSERT_EQ(before.size(), 3u) << "sda whole, sdb1 and the gap after it";

  tree.RemoveDisk("sdb");
  std::vector<VolumeRecord> missing;
  FindMissingVolumes(table, before, missing, tree.roots());
  ASSERT_EQ(missing.size(), 2u);
  EXPECT_EQ(missing[0].diskNumber, 1);
  EXPECT_EQ(missing[0].fileSystemName, "FAT32");
  EXPECT_EQ(missing[1].start, 402'048u);
}

TEST(EnumerateVolumes, FailsWithoutTheKernelsDiskList) {
  platform::SystemRoots roots;
  roots.sys = "/nonexistent-keldrive-sys";
  VolumeTable table;
  table.disks[0].push_back(VolumeRecord{});
  EXPECT_EQ(EnumerateVolumes(table, roots), 0);
  EXPECT_TRUE(table.disks.empty());
}

}  // namespace
}  // namespace keldrive
