// The map of clusters in use that the free-space walk of a FAT volume follows, on volumes
// whose boot sector claims more than the medium holds and on tables with unreadable sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "fat/fast_fat_recovery.h"
#include "platform/memory_medium.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

// What the boot sector says; the volume has one reserved sector, then its tables.
struct Layout {
  std::uint16_t bytesPerSector = 512;
  std::uint8_t sectorsPerCluster = 1;
  std::uint8_t fats = 1;
  std::uint32_t sectorsPerFat = 0;
  std::uint32_t totalSectors = 0;
  bool fat32 = false;
};

// A medium of `mediumBytes` starting with a volume of `layout`; FAT16 entries are set with
// SetEntry.
struct SmallFat {
  Layout layout;
  std::vector<std::uint8_t> bytes;

  SmallFat(const Layout& l, std::size_t mediumBytes) : layout(l), bytes(mediumBytes) {
    Put(0x0B, 2, l.bytesPerSector);
    bytes[0x0D] = l.sectorsPerCluster;
    Put(0x0E, 2, 1);
    bytes[0x10] = l.fats;
    Put(0x11, 2, l.fat32 ? 0 : 16);  // a root area of one 512-byte sector
    bytes[0x15] = 0xF8;
    Put(0x20, 4, l.totalSectors);
    if (l.fat32) {
      Put(0x24, 4, l.sectorsPerFat);
      Put(0x2C, 4, 2);
      std::memcpy(bytes.data() + 0x52, "FAT32   ", 8);
    } else {
      Put(0x16, 2, l.sectorsPerFat);
    }
    bytes[510] = 0x55;
    bytes[511] = 0xAA;
  }
  void Put(std::size_t at, std::size_t width, std::uint32_t value) {
    for (std::size_t i = 0; i < width; ++i) {
      bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
  }
  void SetEntry(std::uint32_t cluster, std::uint16_t value) {
    Put(layout.bytesPerSector + std::size_t{cluster} * 2, 2, value);
  }
  std::uint64_t DataAreaSector() const {
    return 1 + std::uint64_t{layout.fats} * layout.sectorsPerFat + 1;
  }
};

// An engine attached to the medium, which fails reads of the `bad` 512-byte sectors.
struct Attached {
  testing::TempDir dir;
  platform::MemoryMedium* medium = nullptr;  // owned by the engine's device
  std::unique_ptr<CFastFatRecovery> engine;

  explicit Attached(std::vector<std::uint8_t> bytes, const std::vector<std::uint64_t>& bad = {}) {
    auto owned = std::make_unique<platform::MemoryMedium>(std::move(bytes));
    for (const std::uint64_t sector : bad) owned->FailSector(sector);
    medium = owned.get();
    SectorDevice device;
    EXPECT_EQ(AttachImage(device, std::move(owned)), result::kSuccess);
    const std::string folder = dir.File("scan");
    engine = std::make_unique<CFastFatRecovery>(
        ScanEnvironment{[folder] { return folder; }, dir.File("preview"), nullptr});
    const std::uint64_t sectors = device.totalSectors;
    EXPECT_EQ(engine->AttachDevice(std::move(device), 0, sectors, u'\x01'), result::kSuccess);
  }

  // Builds the map; how many reads of the medium that took.
  std::size_t BuildMap() {
    const std::size_t before = medium->ReadRequests().size();
    EXPECT_EQ(engine->BuildUsedClusterMap(), result::kSuccess);
    return medium->ReadRequests().size() - before;
  }

  // The free-space walk from the volume start, as (sector, length) in the volume's sectors.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> FreeExtents() {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    std::uint64_t sector = 0, length = 0;
    for (int i = 0; i < 100; ++i) {
      engine->NextFreeExtent(sector, length);
      if (length == 0) break;
      out.emplace_back(sector, length);
      sector += length;
    }
    return out;
  }
};

TEST(FatUsedClusterMap, AVolumeClaimingTwoTo28ClustersOnATinyMediumIsMappedAtOnce) {
  // A 1 GiB table naming 2^28 clusters, on 64 KiB. Each cluster used to be looked up in a
  // table that is not there: in 4096-byte sectors with a window allocated for each.
  for (const std::uint16_t bytesPerSector : {std::uint16_t{512}, std::uint16_t{4096}}) {
    SCOPED_TRACE(bytesPerSector);
    Attached volume(SmallFat({.bytesPerSector = bytesPerSector,
                              .fats = 2,
                              .sectorsPerFat = (1u << 30) / bytesPerSector,
                              .totalSectors = 0xFFFFFFFF,
                              .fat32 = true},
                             64 * 1024)
                        .bytes);
    ASSERT_EQ(volume.engine->Geometry().clusterCount, 0x0FFFFFF5u);
    EXPECT_LE(volume.BuildMap(), 2u);
    // The medium ends inside the first table: there is no data area to walk.
    EXPECT_TRUE(volume.FreeExtents().empty());
  }
}

TEST(FatUsedClusterMap, ACutShortVolumeIsWalkedToTheEndOfItsMedium) {
  // 39,960 clusters of 4 sectors claimed, 2,008 and one sector of a cluster on the medium.
  SmallFat fat({.sectorsPerCluster = 4, .sectorsPerFat = 157, .totalSectors = 160000}, 8192 * 512);
  const std::uint64_t data = fat.DataAreaSector();
  fat.SetEntry(2, 3);
  fat.SetEntry(3, 0xFFFF);
  fat.SetEntry(4, 30000);  // names a cluster past the medium
  fat.SetEntry(600, 0xFFFF);
  fat.SetEntry(20000, 0xFFFF);
  Attached volume(fat.bytes);
  volume.BuildMap();
  const std::vector<std::pair<std::uint64_t, std::uint64_t>> want{
      {data + 3 * 4, 595 * 4},                    // clusters 5 to 599
      {data + 599 * 4, 8192 - (data + 599 * 4)},  // from cluster 601 to the last sector
  };
  EXPECT_EQ(volume.FreeExtents(), want);
}

TEST(FatUsedClusterMap, AnUnreadableStretchOfTheTableIsReadOnce) {
  // One table, no copy to fall back on: 8,000 clusters, 32 table sectors from sector 1.
  constexpr std::uint32_t kTableSectors = 32;
  SmallFat fat({.sectorsPerFat = kTableSectors, .totalSectors = 1 + 32 + 1 + 8000},
               (1 + 32 + 1 + 8000) * 512);
  const std::uint64_t data = fat.DataAreaSector();
  fat.SetEntry(2, 3);
  fat.SetEntry(3, 0xFFFF);
  fat.SetEntry(600, 0xFFFF);  // in table sector 2, after the bad one below
  const std::vector<std::pair<std::uint64_t, std::uint64_t>> sound{{data + 2, 596},
                                                                   {data + 599, 8000 - 599}};

  std::vector<std::uint64_t> wholeTable;
  for (std::uint64_t i = 1; i <= kTableSectors; ++i) wholeTable.push_back(i);
  struct Case {
    const char* what;
    std::vector<std::uint64_t> bad;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> free;
  };
  const Case cases[] = {
      // Its entries are all free: the walk is the sound one, the table after it still read.
      {"the second table sector", {2}, sound},
      {"the whole table", wholeTable, {{data, 8000}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Attached volume(fat.bytes, c.bad);
    // At most one pass over the table, sector by sector, not one for each entry.
    EXPECT_LE(volume.BuildMap(), 2 * kTableSectors);
    EXPECT_EQ(volume.FreeExtents(), c.free);
  }
}

}  // namespace
}  // namespace keldrive
