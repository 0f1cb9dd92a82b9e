#include "ntfs/boot_sector.h"

#include <gtest/gtest.h>

#include <memory>

#include "ntfs/volume_geometry.h"
#include "ntfs_builders.h"
#include "platform/memory_medium.h"

namespace keldrive {
namespace {

using testing::VolumeBuilder;

TEST(NtfsBootSector, ReadsTheThreeFieldsAndTellsForeignFromDamaged) {
  VolumeBuilder v(4096, 512, 8, 0x123456789A);
  NtfsBootSector boot;
  ASSERT_EQ(ParseNtfsBootSector(v.image, boot), ParseStatus::kOk);
  EXPECT_EQ(boot.bytesPerSector, 512u);
  EXPECT_EQ(boot.sectorsPerCluster, 8);
  EXPECT_EQ(boot.mftCluster, 0x123456789Au);

  testing::Put16(v.image, 0x0B, 0);
  ASSERT_EQ(ParseNtfsBootSector(v.image, boot), ParseStatus::kOk);
  EXPECT_EQ(boot.bytesPerSector, 512u) << "0 bytes per sector means 512";

  const std::span<const std::uint8_t> bytes(v.image);
  EXPECT_EQ(ParseNtfsBootSector(bytes.first(511), boot), ParseStatus::kDamaged);
  testing::Bytes fat = v.image;
  std::copy_n("MSDOS5.0", 8, fat.begin() + 3);
  EXPECT_EQ(ParseNtfsBootSector(fat, boot), ParseStatus::kNotThisStructure);
  testing::Bytes noClusters = v.image;
  noClusters[0x0D] = 0;
  EXPECT_EQ(ParseNtfsBootSector(noClusters, boot), ParseStatus::kDamaged);
}

TEST(NtfsGeometry, RecordLayoutFollowsTheSectorSizeAlone) {
  struct Case {
    std::uint32_t bytesPerSector;
    std::uint32_t sectorsPerRecord;
    std::uint32_t recordSize;
  };
  const Case cases[] = {
      {512, 2, 1024},
      {1024, 1, 1024},
      {2048, 1, 2048},
      {4096, 1, 4096},
      // Sizes without a layout of their own are laid out as 512-byte sectors, so a record
      // never outgrows one 8 KiB record read.
      {16384, 2, 1024},
      {8192, 2, 1024},
      {1536, 2, 1024},
  };
  for (const Case& c : cases) {
    NtfsBootSector boot{.bytesPerSector = c.bytesPerSector, .sectorsPerCluster = 1};
    NtfsGeometry g;
    ASSERT_TRUE(MakeNtfsGeometry(boot, 0, 100, 0, g));
    EXPECT_EQ(g.sectorsPerRecord, c.sectorsPerRecord) << c.bytesPerSector;
    EXPECT_EQ(g.recordSize, c.recordSize) << c.bytesPerSector;
    EXPECT_EQ(g.chunkSize, c.recordSize * 1024) << c.bytesPerSector;
    EXPECT_GE(RecordReadSectors(g) * g.bytesPerSector, g.recordSize) << c.bytesPerSector;
  }
}

TEST(NtfsGeometry, MftStartsAtItsClusterFromThePartitionStart) {
  NtfsBootSector boot{.bytesPerSector = 512, .sectorsPerCluster = 128, .mftCluster = 3};
  NtfsGeometry g;
  ASSERT_TRUE(MakeNtfsGeometry(boot, 2048, 1 << 20, u'E', g));
  EXPECT_EQ(g.mftStartSector, 2048u + 128 * 3);
  EXPECT_EQ(g.ClusterBytes(), 65536u);
  EXPECT_EQ(g.driveLetter, u'E');

  boot.mftCluster = UINT64_MAX / 64;
  EXPECT_FALSE(MakeNtfsGeometry(boot, 0, 1, 0, g)) << "an MFT beyond 64-bit sectors";

  std::uint64_t sector = 0;
  EXPECT_TRUE(ClusterToSector(g, 5, sector));
  EXPECT_EQ(sector, 2048u + 5 * 128);
  EXPECT_FALSE(ClusterToSector(g, -1, sector));
  EXPECT_FALSE(ClusterToSector(g, INT64_MAX, sector));
}

TEST(NtfsBootSector, ReadsTheFirstSectorOfThePartitionInDeviceSectors) {
  VolumeBuilder v(64 * 1024, 4096, 1, 4);
  testing::Bytes disk(16 * 512 + v.image.size(), 0xEE);  // 16 sectors before the partition
  std::copy(v.image.begin(), v.image.end(), disk.begin() + 16 * 512);
  SectorDevice device;
  ASSERT_EQ(AttachImage(device, std::make_unique<platform::MemoryMedium>(disk)), result::kSuccess);
  NtfsBootSector boot;
  ASSERT_EQ(ReadNtfsBootSector(device, 16, 512, boot), result::kSuccess);
  EXPECT_EQ(boot.bytesPerSector, 4096u);
  EXPECT_EQ(boot.mftCluster, 4u);
  EXPECT_EQ(ReadNtfsBootSector(device, 0, 512, boot), result::kInvalidParameter) << "not NTFS";
  EXPECT_EQ(ReadNtfsBootSector(device, disk.size() / 512 - 1, 512, boot), result::kInvalidParameter)
      << "a read beyond the medium";
}

}  // namespace
}  // namespace keldrive
