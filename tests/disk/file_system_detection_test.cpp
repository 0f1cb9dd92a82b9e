#include "disk/file_system_detection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/fixtures.h"

namespace keldrive {
namespace {

// Volume starts written by mkfs.fat, mkntfs and mkfs.ext4 (see make_detection_fixtures.sh).
std::vector<std::uint8_t> Start(const std::string& name) {
  auto bytes = testing::LoadFixture("disk/" + name + "_start.bin.gz");
  EXPECT_EQ(bytes.size(), kClassifyBytes) << name;
  return bytes;
}

// Bytes written over a volume start.
struct Patch {
  std::size_t offset;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> Le(std::uint64_t value, std::size_t width) {
  std::vector<std::uint8_t> out(width);
  for (std::size_t i = 0; i < width; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return out;
}
Patch Le8(std::size_t offset, std::uint64_t value) {
  return {offset, Le(value, 1)};
}
Patch Le16(std::size_t offset, std::uint64_t value) {
  return {offset, Le(value, 2)};
}
Patch Le32(std::size_t offset, std::uint64_t value) {
  return {offset, Le(value, 4)};
}
Patch Le64(std::size_t offset, std::uint64_t value) {
  return {offset, Le(value, 8)};
}
Patch Text(std::size_t offset, const std::string& text) {
  return {offset, std::vector<std::uint8_t>(text.begin(), text.end())};
}
Patch Ext32(std::size_t offset, std::uint64_t value) {
  return Le32(kExtSuperblockOffset + offset, value);
}

std::vector<std::uint8_t> Patched(const std::string& fixture, const std::vector<Patch>& patches) {
  auto bytes = Start(fixture);
  for (const Patch& p : patches) {
    if (p.offset + p.bytes.size() <= bytes.size()) {
      std::memcpy(bytes.data() + p.offset, p.bytes.data(), p.bytes.size());
    }
  }
  return bytes;
}

const char* KindName(FileSystemKind kind) {
  switch (kind) {
    case FileSystemKind::kNtfs:
      return "NTFS";
    case FileSystemKind::kFat:
      return "FAT";
    case FileSystemKind::kExt:
      return "ext";
    case FileSystemKind::kOther:
      return "other";
  }
  return "?";
}

TEST(FileSystemDetection, FormattedVolumesAreRecognised) {
  struct Case {
    const char* fixture;
    FileSystemKind kind;
    bool fat12Or16;
    bool fat32;
  };
  const Case cases[] = {
      {"fat12", FileSystemKind::kFat, true, false},
      {"fat16", FileSystemKind::kFat, true, false},
      {"fat32", FileSystemKind::kFat, false, true},
      {"ntfs_4096", FileSystemKind::kNtfs, false, false},
      {"ntfs_65536", FileSystemKind::kNtfs, false, false},  // 128 sectors per cluster
      {"ext4_1024", FileSystemKind::kExt, false, false},
      {"ext4_4096", FileSystemKind::kExt, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    const auto start = Start(c.fixture);
    EXPECT_STREQ(KindName(ClassifyFileSystem(start)), KindName(c.kind));
    EXPECT_EQ(IsFat12Or16BootSector(start), c.fat12Or16);
    EXPECT_EQ(IsFat32BootSector(start), c.fat32);
    EXPECT_FALSE(IsEncryptedVolume(start));
  }
  EXPECT_EQ(Start("ntfs_65536")[13], 128) << "the fixture really has 64 KiB clusters";
}

TEST(FileSystemDetection, ChangedFieldsDecideTheKind) {
  struct Case {
    const char* what;
    const char* fixture;
    std::vector<Patch> patches;
    FileSystemKind kind;
  };
  using K = FileSystemKind;
  std::vector<std::uint8_t> bitLockerToGo(8, 0x78);
  bitLockerToGo.insert(bitLockerToGo.end(), 19, 0xFF);
  bitLockerToGo.insert(bitLockerToGo.end(), {0x00, 0x1F, 0x2C});
  // What FAT16 keeps at 16..23: two FATs, 512 root entries, 16-bit total, media, FAT size.
  const auto fat16Fields = Start("fat16");
  const Patch fatValues{16, {fat16Fields.begin() + 16, fat16Fields.begin() + 24}};

  const Case cases[] = {
      // NTFS
      {"NTFS bytes per sector 0 passes", "ntfs_4096", {Le16(11, 0)}, K::kNtfs},
      {"NTFS bytes per sector 4096", "ntfs_4096", {Le16(11, 4096)}, K::kNtfs},
      {"NTFS bytes per sector 520", "ntfs_4096", {Le16(11, 520)}, K::kOther},
      {"NTFS reserved sectors 1", "ntfs_4096", {Le16(14, 1)}, K::kOther},
      {"NTFS with FAT values at 16..23 is FAT", "ntfs_4096", {fatValues}, K::kFat},
      {"NTFS with a FAT count at 16", "ntfs_4096", {Le8(16, 2)}, K::kOther},
      {"NTFS with a 32-bit total at 32", "ntfs_4096", {Le32(32, 1000)}, K::kOther},
      {"NTFS media byte and 24..31 are not looked at",
       "ntfs_4096",
       {Le8(21, 0xF0), Le64(24, 0x1122334455667788)},
       K::kNtfs},
      {"NTFS 3 sectors per cluster", "ntfs_4096", {Le8(13, 3)}, K::kOther},
      {"NTFS total sectors 0", "ntfs_4096", {Le64(40, 0)}, K::kOther},
      {"NTFS without 55 AA", "ntfs_4096", {Le8(511, 0xAB)}, K::kOther},
      {"NTFS name in lower case", "ntfs_4096", {Text(3, "ntfs    ")}, K::kOther},
      // FAT
      {"BitLocker signature on FAT32", "fat32", {Text(3, "-FVE-FS-")}, K::kOther},
      {"BitLocker To Go marker on FAT32", "fat32", {{480, bitLockerToGo}}, K::kOther},
      {"FAT32 bytes per sector 0", "fat32", {Le16(11, 0)}, K::kOther},
      {"FAT32 bytes per sector 520", "fat32", {Le16(11, 520)}, K::kOther},
      {"FAT32 bytes per sector 4096", "fat32", {Le16(11, 4096)}, K::kFat},
      {"FAT32 sectors per cluster 0", "fat32", {Le8(13, 0)}, K::kOther},
      {"FAT32 sectors per cluster 3", "fat32", {Le8(13, 3)}, K::kOther},
      {"FAT32 without its type text", "fat32", {Text(82, "FAT     ")}, K::kOther},
      {"FAT32 without FATs", "fat32", {Le8(16, 0)}, K::kOther},
      {"FAT32 without 55 AA", "fat32", {Le8(510, 0x54)}, K::kOther},
      {"FAT32 FAT region beyond the volume wraps round",
       "fat32",
       {Le32(36, 0x00100000)},
       K::kOther},
      {"FAT16 bytes per sector 0", "fat16", {Le16(11, 0)}, K::kOther},
      {"FAT16 sectors per cluster 0", "fat16", {Le8(13, 0)}, K::kOther},
      {"FAT16 16-bit FAT size 0", "fat16", {Le16(22, 0)}, K::kOther},
      {"FAT16 counts from the 32-bit total", "fat16", {Le16(19, 0), Le32(32, 32768)}, K::kFat},
      {"FAT12 without any total", "fat12", {Le16(19, 0)}, K::kOther},
      // ext
      {"ext 4 KiB blocks, first data block 1", "ext4_4096", {Ext32(20, 1)}, K::kOther},
      {"ext 1 KiB blocks, first data block 0", "ext4_1024", {Ext32(20, 0)}, K::kOther},
      {"ext block size shift far out of range", "ext4_4096", {Ext32(24, 200)}, K::kExt},
      {"ext bad magic", "ext4_4096", {Le16(kExtSuperblockOffset + 56, 0xEF54)}, K::kOther},
      {"ext no inodes", "ext4_4096", {Ext32(0, 0)}, K::kOther},
      {"ext no blocks", "ext4_4096", {Ext32(4, 0)}, K::kOther},
      {"ext no blocks per group", "ext4_4096", {Ext32(32, 0)}, K::kOther},
      {"ext no inodes per group", "ext4_4096", {Ext32(40, 0)}, K::kOther},
      {"ext first inode 2", "ext4_4096", {Ext32(84, 2)}, K::kOther},
      {"ext inodes not beyond the first inode", "ext4_4096", {Ext32(0, 11)}, K::kOther},
      {"ext group counts disagree", "ext4_4096", {Ext32(4, 0x00100000)}, K::kOther},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(KindName(ClassifyFileSystem(Patched(c.fixture, c.patches))), KindName(c.kind))
        << c.what;
  }
}

TEST(FileSystemDetection, EncryptedVolumeMarkers) {
  EXPECT_TRUE(IsEncryptedVolume(Patched("fat32", {Text(3, "-FVE-FS-")})));
  EXPECT_FALSE(IsFatBootSector(Patched("fat32", {Text(3, "-FVE-FS-")})));
  std::vector<std::uint8_t> almost(8, 0x78);
  almost.insert(almost.end(), 19, 0xFF);
  almost.insert(almost.end(), {0x00, 0x1F, 0x2D});
  EXPECT_FALSE(IsEncryptedVolume(Patched("fat32", {{480, almost}})));
}

TEST(FileSystemDetection, ShortBuffersFailEveryTest) {
  const auto fat = Start("fat32");
  const auto ntfs = Start("ntfs_4096");
  const auto ext = Start("ext4_4096");
  const std::span<const std::uint8_t> fat511(fat.data(), 511);
  const std::span<const std::uint8_t> ntfs511(ntfs.data(), 511);
  EXPECT_FALSE(IsFatBootSector(fat511));
  EXPECT_FALSE(IsFat32BootSector(fat511));
  EXPECT_FALSE(IsFat12Or16BootSector(fat511));
  EXPECT_FALSE(IsNtfsBootSector(ntfs511));
  EXPECT_FALSE(IsEncryptedVolume({}));
  EXPECT_TRUE(IsFatBootSector(std::span(fat.data(), 512)));
  EXPECT_TRUE(IsNtfsBootSector(std::span(ntfs.data(), 512)));

  // The superblock's last field examined is the first inode, 84..87.
  EXPECT_TRUE(IsExtSuperblock(std::span(ext.data() + kExtSuperblockOffset, 88)));
  EXPECT_FALSE(IsExtSuperblock(std::span(ext.data() + kExtSuperblockOffset, 87)));
  EXPECT_EQ(ClassifyFileSystem(std::span(ext.data(), kExtSuperblockOffset + 87)),
            FileSystemKind::kOther);
  EXPECT_EQ(ClassifyFileSystem(std::span(ext.data(), kExtSuperblockOffset)),
            FileSystemKind::kOther);
  EXPECT_EQ(ClassifyFileSystem({}), FileSystemKind::kOther);
}

}  // namespace
}  // namespace keldrive
