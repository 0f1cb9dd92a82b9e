// The NTFS deleted-file scan on a medium with bad sectors in its master file table.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "disk/byte_reader.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "platform/memory_medium.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

// The byte offset of MFT record `number` in an image: the record whose header says so.
std::uint64_t RecordOffset(const std::vector<std::uint8_t>& image, std::uint32_t number) {
  for (std::size_t offset = 0; offset + 1024 <= image.size(); offset += 1024) {
    ByteReader read(std::span<const std::uint8_t>(image).subspan(offset, 1024));
    const std::uint32_t magic = read.le32();
    read.seek(0x2C);
    if (magic == 0x454C4946 && read.le32() == number) {
      return offset;
    }
  }
  ADD_FAILURE() << "no record " << number;
  return 0;
}

struct FailingScan {
  testing::TempDir dir;
  CFastNtfsRecovery engine{
      ScanEnvironment{[this] { return dir.File("scan"); }, dir.File("preview"), nullptr}};
  std::shared_ptr<UnreadableSectors> unreadable;

  // Scans the image with reads failing at the given 512-byte sectors.
  FailingScan(const std::vector<std::uint8_t>& image, const std::vector<std::uint64_t>& bad) {
    auto medium = std::make_unique<platform::MemoryMedium>(image, "ntfs.img");
    for (const std::uint64_t sector : bad) medium->FailSector(sector);
    SectorDevice device;
    EXPECT_EQ(AttachImage(device, std::move(medium)), result::kSuccess);
    unreadable = device.unreadable;
    const std::uint64_t sectors = device.totalSectors;
    EXPECT_EQ(engine.AttachDevice(std::move(device), 0, sectors, 1), result::kSuccess);
    EXPECT_EQ(engine.Scan(""), result::kSuccess);
  }
};

TEST(FailingMft, AnUnreadableRecordLosesOnlyItself) {
  const std::vector<std::uint8_t> image = testing::LoadFixture("ntfs/ntfs512.img.gz");
  FailingScan sound(image, {});
  const auto all = testing::ListAllFiles(sound.engine);
  ASSERT_TRUE(all.contains("docs/archive_deleted.bin"));

  struct Case {
    std::uint32_t record;  // whose first sector fails
    const char* lost;      // the file listed by no other record, or ""
  };
  const Case cases[] = {
      {70, ""},                          // a live file: nothing deleted is lost
      {71, "docs/archive_deleted.bin"},  // a deleted file amid others in one read
  };
  for (const Case& c : cases) {
    FailingScan scan(image, {RecordOffset(image, c.record) / 512});
    auto expected = all;
    expected.erase(c.lost);
    const auto listed = testing::ListAllFiles(scan.engine);
    std::set<std::string> want, got;
    for (const auto& [path, file] : expected) want.insert(path);
    for (const auto& [path, file] : listed) got.insert(path);
    EXPECT_EQ(got, want) << "record " << c.record;
    EXPECT_EQ(scan.unreadable->Count(), 1u) << "record " << c.record;
    EXPECT_EQ(scan.engine.UnreadableMftRecords(), 1u) << "record " << c.record;
  }
}

TEST(FailingMft, AnUnreadableFirstRecordIsReadFromTheMirror) {
  const std::vector<std::uint8_t> image = testing::LoadFixture("ntfs/ntfs512.img.gz");
  FailingScan sound(image, {});
  const auto all = testing::ListAllFiles(sound.engine);
  const std::uint64_t record0 = RecordOffset(image, 0) / 512;
  // The boot sector names the cluster of $MFTMirr.
  ByteReader boot(image);
  boot.seek(0x0B);
  const std::uint64_t bytesPerSector = boot.le16();
  const std::uint64_t sectorsPerCluster = boot.u8();
  boot.seek(0x38);
  const std::uint64_t mirror = boot.le64() * sectorsPerCluster * bytesPerSector / 512;
  ASSERT_NE(mirror, 0u);

  FailingScan scan(image, {record0});
  EXPECT_EQ(testing::ListAllFiles(scan.engine).size(), all.size());
  ASSERT_EQ(scan.engine.DamageNotes().size(), 1u);
  EXPECT_NE(scan.engine.DamageNotes()[0].find("$MFTMirr was used"), std::string::npos);

  FailingScan both(image, {record0, mirror});
  EXPECT_TRUE(testing::ListAllFiles(both.engine).empty());
  ASSERT_EQ(both.engine.DamageNotes().size(), 1u);
  EXPECT_NE(both.engine.DamageNotes()[0].find("file table cannot be found"), std::string::npos);
}

}  // namespace
}  // namespace keldrive
