// The FAT deleted-file scan and recovery on a medium with bad sectors.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "fat/fast_fat_recovery.h"
#include "platform/memory_medium.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

struct Layout {
  std::uint64_t fatStart = 0;  // sectors from the volume start
  std::uint64_t sectorsPerFat = 0;
  std::uint64_t rootStart = 0;  // FAT12/16: the fixed root area
};

Layout LayoutOf(const std::vector<std::uint8_t>& image) {
  const auto u16 = [&](std::size_t at) { return image[at] | image[at + 1] << 8; };
  Layout layout;
  layout.fatStart = static_cast<std::uint64_t>(u16(14));
  const std::uint64_t fats = image[16];
  layout.sectorsPerFat = static_cast<std::uint64_t>(u16(22));
  if (layout.sectorsPerFat == 0) {
    layout.sectorsPerFat = static_cast<std::uint64_t>(u16(36)) | std::uint64_t(u16(38)) << 16;
  }
  layout.rootStart = layout.fatStart + fats * layout.sectorsPerFat;
  return layout;
}

// A scan of an image whose reads fail at chosen sectors, and the recovered files.
struct FailingFatScan {
  testing::TempDir dir;
  std::unique_ptr<CFastFatRecovery> engine;
  std::shared_ptr<UnreadableSectors> unreadable;

  FailingFatScan(const std::vector<std::uint8_t>& image, const std::vector<std::uint64_t>& bad) {
    auto medium = std::make_unique<platform::MemoryMedium>(image, "fat.img");
    for (const std::uint64_t sector : bad) medium->FailSector(sector);
    SectorDevice device;
    EXPECT_EQ(AttachImage(device, std::move(medium)), result::kSuccess);
    unreadable = device.unreadable;
    const std::string scanFolder = dir.File("scan");
    engine = std::make_unique<CFastFatRecovery>(
        ScanEnvironment{[scanFolder] { return scanFolder; }, dir.File("preview"), nullptr});
    const std::uint64_t sectors = device.totalSectors;
    EXPECT_EQ(engine->AttachDevice(std::move(device), 0, sectors, u'\x01'), result::kSuccess);
    EXPECT_EQ(engine->Scan(""), result::kSuccess);
  }

  // Every listed file with the sha256 of what recovering it gives, or its failure.
  std::map<std::string, std::string> Recovered() {
    std::map<std::string, std::string> out;
    int n = 0;
    for (const auto& [path, file] : testing::ListAllFiles(*engine)) {
      if (file.isFolder != 0) continue;
      const std::string target = dir.File("out" + std::to_string(n++));
      const ResultCode rc = engine->RecoverItem(file, target, 0);
      out[path] = rc == result::kSuccess ? testing::Sha256Hex(testing::ReadFileBytes(target))
                                         : "failed " + std::to_string(rc);
    }
    return out;
  }
};

TEST(FailingFat, UnreadableFirstTableIsReadFromTheSecondCopy) {
  for (const char* name : {"fat/fat16.img.gz", "fat/fat32.img.gz"}) {
    const std::vector<std::uint8_t> image = testing::LoadFixture(name);
    const Layout layout = LayoutOf(image);
    const auto sound = FailingFatScan(image, {}).Recovered();
    ASSERT_FALSE(sound.empty()) << name;

    std::vector<std::uint64_t> firstTable;
    for (std::uint64_t i = 0; i < layout.sectorsPerFat; ++i)
      firstTable.push_back(layout.fatStart + i);
    struct Case {
      const char* what;
      std::vector<std::uint64_t> bad;
    };
    const Case cases[] = {
        {"its first two sectors", {layout.fatStart, layout.fatStart + 1}},
        {"all of it", firstTable},
    };
    for (const Case& c : cases) {
      FailingFatScan scan(image, c.bad);
      EXPECT_EQ(scan.Recovered(), sound) << name << ", " << c.what;
      EXPECT_EQ(scan.unreadable->Count(), c.bad.size()) << name << ", " << c.what;
    }
  }
}

TEST(FailingFat, ImpossibleEntriesInTheFirstTableAreReadFromTheSecondCopy) {
  std::vector<std::uint8_t> image = testing::LoadFixture("fat/fat32.img.gz");
  const Layout layout = LayoutOf(image);
  const auto sound = FailingFatScan(image, {}).Recovered();
  // Garbage over the first table's first sector: entries beyond any cluster.
  for (std::size_t i = 8; i < 512; ++i) image[layout.fatStart * 512 + i] = 0x5A;
  EXPECT_EQ(FailingFatScan(image, {}).Recovered(), sound);
}

TEST(FailingFat, AFolderGoesOnPastAnUnreadableSector) {
  const std::vector<std::uint8_t> image = testing::LoadFixture("fat/fat16.img.gz");
  const std::uint64_t root = LayoutOf(image).rootStart;
  FailingFatScan sound(image, {});
  const auto before = testing::ListAllFiles(*sound.engine);
  // The root's entries moved one sector on: with its first sector unreadable, the scan
  // finds them all past the sector it could not read.
  std::vector<std::uint8_t> moved = image;
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(root * 512), 8 * 512,
              moved.begin() + static_cast<std::ptrdiff_t>((root + 1) * 512));
  FailingFatScan scan(moved, {root});
  std::set<std::string> want, got;
  for (const auto& [path, file] : before) want.insert(path);
  for (const auto& [path, file] : testing::ListAllFiles(*scan.engine)) got.insert(path);
  EXPECT_EQ(got, want);
  EXPECT_EQ(scan.unreadable->Count(), 1u);
}

}  // namespace
}  // namespace keldrive
