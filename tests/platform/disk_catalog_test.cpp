#include "platform/disk_catalog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "disk/medium_queries.h"
#include "platform/path_info.h"
#include "support/fake_system_tree.h"

namespace keldrive::platform {
namespace {

std::vector<std::string> Names(const std::vector<PlatformDisk>& disks) {
  std::vector<std::string> names;
  for (const PlatformDisk& disk : disks) names.push_back(disk.name);
  return names;
}

TEST(ListDisks, ListsRealDisksInAStableOrderAndLoopDevicesLast) {
  testing::FakeSystemTree tree;
  for (const char* name : {"sdaa", "loop1", "sdb", "nvme10n1", "sda", "nvme2n1", "vda"}) {
    tree.AddDisk({.name = name, .sectors512 = 1000, .backingFile = "/images/x.img"});
  }
  tree.AddDisk({.name = "loop0", .sectors512 = 1000});  // nothing attached
  tree.AddDisk({.name = "ram0", .sectors512 = 1000});
  tree.AddDisk({.name = "zram0", .sectors512 = 1000});
  tree.AddDisk({.name = "sr0", .sectors512 = 1000});
  tree.AddDisk({.name = "sdc", .sectors512 = 0});  // a card reader without a card

  std::vector<PlatformDisk> disks;
  ASSERT_EQ(ListDisks(tree.roots(), false, disks), result::kSuccess);
  EXPECT_EQ(Names(disks), (std::vector<std::string>{"nvme2n1", "nvme10n1", "sda", "sdb", "sdaa",
                                                    "vda", "loop1"}));
  for (std::size_t i = 0; i < disks.size(); ++i) EXPECT_EQ(disks[i].number, static_cast<int>(i));
  EXPECT_EQ(disks.back().backingFile, "/images/x.img");
}

TEST(ListDisks, DescribesSizeSectorSizeAndBus) {
  testing::FakeSystemTree tree;
  tree.AddDisk({.name = "sda", .sectors512 = 7'814'037'168, .logicalSectorSize = 4096});
  tree.AddDisk({.name = "sdb", .sectors512 = 60'000'000, .bus = "usb"});
  tree.AddDisk({.name = "sdc", .sectors512 = 1000, .removableFlag = true});
  tree.AddDisk({.name = "mmcblk0", .sectors512 = 1000, .bus = "mmc"});

  std::vector<PlatformDisk> disks;
  ASSERT_EQ(ListDisks(tree.roots(), false, disks), result::kSuccess);
  ASSERT_EQ(Names(disks), (std::vector<std::string>{"mmcblk0", "sda", "sdb", "sdc"}));
  EXPECT_EQ(disks[1].lengthBytes, 7'814'037'168ull * 512) << "sysfs counts 512-byte units";
  EXPECT_EQ(disks[1].geometry.bytesPerSector, 4096u);
  EXPECT_EQ(disks[1].devicePath, tree.roots().dev + "/sda");

  // A USB stick whose medium is not marked removable is still removable by its bus.
  EXPECT_TRUE(IsRemovableDisk(0, tree.roots())) << "memory card";
  EXPECT_FALSE(IsRemovableDisk(1, tree.roots())) << "internal disk";
  EXPECT_TRUE(IsRemovableDisk(2, tree.roots())) << "USB bus";
  EXPECT_TRUE(IsRemovableDisk(3, tree.roots())) << "removable flag";
  EXPECT_FALSE(IsRemovableDisk(4, tree.roots())) << "no such disk";

  std::uint64_t length = 0;
  EXPECT_EQ(GetDiskLength(2, length, tree.roots()), result::kSuccess);
  EXPECT_EQ(length, 60'000'000ull * 512);
  EXPECT_EQ(GetDiskLength(9, length, tree.roots()), result::kFileNotFound);
}

TEST(ListDisks, DescribesPartitionsFromSysfsUdevAndTheMountTable) {
  testing::FakeSystemTree tree;
  tree.AddDisk({.name = "sdb", .sectors512 = 2'000'000, .majorMinor = "8:16"});
  tree.AddPartition("sdb", {.name = "sdb1",
                            .number = 1,
                            .start512 = 2048,
                            .sectors512 = 1'000'000,
                            .majorMinor = "8:17"});
  tree.AddPartition(
      "sdb",
      {.name = "sdb2", .number = 2, .start512 = 1'002'048, .sectors512 = 2, .majorMinor = "8:18"});
  tree.AddPartition("sdb", {.name = "sdb5",
                            .number = 5,
                            .start512 = 1'004'096,
                            .sectors512 = 900'000,
                            .majorMinor = "8:21"});
  tree.SetUdevProperties("8:17",
                         "ID_FS_TYPE=vfat\nID_FS_VERSION=FAT32\nID_FS_LABEL=CAMERA\n"
                         "ID_PART_ENTRY_SCHEME=dos\nID_PART_ENTRY_TYPE=0xc");
  tree.SetUdevProperties("8:18", "ID_PART_ENTRY_SCHEME=dos\nID_PART_ENTRY_TYPE=0x5");
  tree.SetUdevProperties("8:21",
                         "ID_FS_TYPE=ntfs\nID_PART_ENTRY_SCHEME=gpt\n"
                         "ID_PART_ENTRY_TYPE=ebd0a0a2-b9e5-4433-87c0-68b6b72699c7");
  const std::string mountPoint = tree.Dir("media/camera");
  tree.AddMount("8:17", mountPoint, "vfat", tree.roots().dev + "/sdb1");
  // A file system over a whole disk, known only from the mount table.
  tree.AddDisk({.name = "vda", .sectors512 = 100'000, .majorMinor = "254:0"});
  tree.AddMount("254:0", tree.Dir("root"), "ext4", tree.roots().dev + "/vda");

  std::vector<PlatformDisk> disks;
  ASSERT_EQ(ListDisks(tree.roots(), true, disks), result::kSuccess);
  ASSERT_EQ(disks.size(), 2u);
  ASSERT_EQ(disks[1].volumes.size(), 1u);
  EXPECT_EQ(disks[1].volumes[0].partitionNumber, 0);
  EXPECT_EQ(disks[1].volumes[0].fileSystem, "ext4");
  EXPECT_EQ(disks[1].volumes[0].lengthBytes, 100'000u * 512);
  EXPECT_EQ(disks[1].volumes[0].mountPoint, tree.Dir("root"));
  const auto& volumes = disks[0].volumes;
  ASSERT_EQ(volumes.size(), 2u) << "the extended partition holds no volume";

  EXPECT_EQ(volumes[0].partitionNumber, 1);
  EXPECT_EQ(volumes[0].startBytes, 2048u * 512);
  EXPECT_EQ(volumes[0].lengthBytes, 1'000'000u * 512);
  EXPECT_EQ(volumes[0].partitionType, 0x0C);
  EXPECT_EQ(volumes[0].fileSystem, "FAT32");
  EXPECT_EQ(volumes[0].label, "CAMERA");
  EXPECT_EQ(volumes[0].mountPoint, mountPoint);
  EXPECT_TRUE(volumes[0].spaceKnown);
  EXPECT_GT(volumes[0].totalBytes, 0u);

  EXPECT_EQ(volumes[1].partitionNumber, 5);
  EXPECT_EQ(volumes[1].partitionType, 0x07) << "GPT basic data stands for type 7";
  EXPECT_EQ(volumes[1].fileSystem, "NTFS");
  EXPECT_TRUE(volumes[1].mountPoint.empty());
  EXPECT_FALSE(volumes[1].spaceKnown);
}

TEST(ListDisks, FailsWhenTheKernelsListIsMissing) {
  SystemRoots roots;
  roots.sys = "/nonexistent-keldrive-sys";
  std::vector<PlatformDisk> disks;
  EXPECT_NE(ListDisks(roots, true, disks), result::kSuccess);
  std::unique_ptr<FileHandle> handle;
  EXPECT_NE(OpenDisk(0, handle, roots), result::kSuccess);
}

// Runs a shell command; true when it succeeded.
bool Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[256];
  std::string text;
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
  if (output != nullptr) *output = text;
  return ::pclose(pipe) == 0;
}

// Attaches a small partitioned image to a real loop device and finds it in the real
// enumeration. Needs root and a machine that allows loop devices.
TEST(ListDisks, FindsARealLoopDeviceWithItsPartitions) {
  if (!HasAdministratorRights() || !Shell("command -v losetup")) {
    GTEST_SKIP() << "needs root and losetup";
  }
  testing::TempDir dir;
  const std::string image = dir.File("parted.img");
  std::vector<std::uint8_t> bytes(8 << 20);
  // A hand-made MBR: a FAT32 partition at 2048 of 4096 sectors, an NTFS one at 8192.
  const auto entry = [&](int index, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
    std::uint8_t* e = bytes.data() + 446 + 16 * index;
    e[4] = type;
    for (int i = 0; i < 4; ++i) {
      e[8 + i] = static_cast<std::uint8_t>(start >> (8 * i));
      e[12 + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
  };
  entry(0, 0x0C, 2048, 4096);
  entry(1, 0x07, 8192, 8192);
  bytes[510] = 0x55;
  bytes[511] = 0xAA;
  testing::WriteFile(image, bytes);

  std::string device;
  if (!Shell("losetup -f --show -P " + image, &device)) GTEST_SKIP() << "no loop device here";
  while (!device.empty() && device.back() == '\n') device.pop_back();
  Shell("partx -a " + device);  // some containers do not scan partitions by themselves
  const std::string name = std::filesystem::path(device).filename().string();

  std::vector<PlatformDisk> disks;
  const ResultCode rc = ListDisks(SystemRoots{}, true, disks);
  const bool partitionsShown = std::filesystem::exists("/sys/block/" + name + "/" + name + "p2");
  Shell("losetup -d " + device);
  ASSERT_EQ(rc, result::kSuccess);
  if (!partitionsShown) GTEST_SKIP() << "the kernel made no partition entries for " << device;

  const auto found = std::find_if(disks.begin(), disks.end(),
                                  [&](const PlatformDisk& d) { return d.name == name; });
  ASSERT_NE(found, disks.end()) << device << " is not listed";
  EXPECT_EQ(found->lengthBytes, bytes.size());
  EXPECT_EQ(std::filesystem::path(found->backingFile), std::filesystem::path(image));
  ASSERT_EQ(found->volumes.size(), 2u);
  EXPECT_EQ(found->volumes[0].startBytes, 2048u * 512);
  EXPECT_EQ(found->volumes[0].lengthBytes, 4096u * 512);
  EXPECT_EQ(found->volumes[0].partitionType, 0x0C);
  EXPECT_EQ(found->volumes[1].startBytes, 8192u * 512);
  EXPECT_EQ(found->volumes[1].partitionType, 0x07);
}

}  // namespace
}  // namespace keldrive::platform
