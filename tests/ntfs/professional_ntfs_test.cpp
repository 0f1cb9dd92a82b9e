// The professional NTFS scan on media built byte by byte: file records anywhere, placed by
// the MFT they belong to, the one met on the medium or the one their number implies.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "disk/file_system_detection.h"
#include "ntfs/professional_ntfs_recovery.h"
#include "ntfs_builders.h"
#include "platform/memory_medium.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

using testing::Bytes;
using testing::EncodeRuns;
using testing::FileNameValue;
using testing::NonResidentAttribute;
using testing::RecordBuilder;
using testing::ResidentAttribute;

constexpr std::uint16_t kLive = record_flags::kInUse;
constexpr std::uint16_t kDeleted = 0;
constexpr std::uint16_t kFolder = record_flags::kInUse | record_flags::kDirectory;

RecordBuilder Folder(std::uint32_t number, std::uint32_t parent, const std::u16string& name) {
  return RecordBuilder(number, 1024, kFolder)
      .Add(ResidentAttribute(0x30, FileNameValue(parent, name)));
}

RecordBuilder File(std::uint32_t number, std::uint32_t parent, const std::u16string& name,
                   const std::string& content, std::uint16_t flags = kDeleted) {
  return RecordBuilder(number, 1024, flags)
      .Add(ResidentAttribute(0x30, FileNameValue(parent, name)))
      .Add(ResidentAttribute(0x80, Bytes(content.begin(), content.end())));
}

// A 2 MiB medium of 512-byte sectors whose first sector holds a boot sector that points
// at an MFT (sector 32) that is not there, as after a format that was cut short.
class ProfessionalNtfsScan : public ::testing::Test {
 protected:
  ProfessionalNtfsScan() : volume_(2 << 20, 512, 8, 4) {}

  void Put(std::uint64_t sector, const RecordBuilder& record) {
    volume_.PutRecord(sector, record.Build());
  }

  // Walks the medium as the combined engine does and lists every file by its path.
  std::map<std::string, FoundFile> Scan() {
    auto medium = std::make_unique<platform::MemoryMedium>(volume_.image);
    SectorDevice device;
    EXPECT_EQ(AttachImage(device, std::move(medium)), result::kSuccess);
    const std::uint64_t sectors = device.totalSectors;
    EXPECT_EQ(engine_.AttachDevice(std::move(device), 0, sectors, 1, 512), result::kSuccess);
    EXPECT_EQ(engine_.CreateLog(""), result::kSuccess);
    const std::span<std::uint8_t> image(volume_.image);
    for (std::uint64_t s = 1; s < sectors; ++s) {
      const auto sector = image.subspan(s * 512, 512);
      if (CProfessionalNtfsRecovery::IsRecordCandidate(sector, 1024)) {
        Bytes record(image.begin() + static_cast<std::ptrdiff_t>(s * 512),
                     image.begin() + static_cast<std::ptrdiff_t>(
                                         std::min<std::uint64_t>(image.size(), s * 512 + 1024)));
        record.resize(1024);
        engine_.HandleRecord(record, s);
      } else if (IsNtfsBootSector(sector)) {
        engine_.HandleBootSector(sector, s);
      }
    }
    EXPECT_EQ(engine_.FolderPass(), result::kSuccess);
    std::vector<FoundFile> all;
    engine_.ListFilesByType("*.txt|*.other", all);
    std::map<std::string, FoundFile> files;
    for (const FoundFile& file : all) {
      std::string parent;
      engine_.GetParentPath(file, parent);
      for (char& c : parent) c = c == '\\' ? '/' : c;
      files[parent + std::string(file.Name())] = file;
    }
    return files;
  }

  std::string Recover(const FoundFile& file) {
    const std::string target = dir_.File("out/" + std::to_string(file.recordNumber));
    EXPECT_EQ(engine_.RecoverItem(file, target, 0), result::kSuccess);
    const Bytes bytes = testing::ReadFileBytes(target);
    return {bytes.begin(), bytes.end()};
  }

  testing::VolumeBuilder volume_;
  keldrive::testing::TempDir dir_;
  CProfessionalNtfsRecovery engine_{
      ScanEnvironment{[this] { return dir_.File("scan"); }, dir_.File("p"), nullptr}};
};

// Without any MFT met, records are placed in the scanned partition and their folders are
// looked for where a contiguous MFT through the record would hold them (here from 100).
TEST_F(ProfessionalNtfsScan, ListsLiveAndDeletedFilesButNoFoldersOrSystemFiles) {
  Put(100 + 2 * 70, Folder(70, 5, u"Docs"));
  Put(100 + 2 * 71, File(71, 70, u"live.txt", "still in use", kLive));
  Put(100 + 2 * 72, File(72, 70, u"gone.txt", "deleted"));
  Put(100 + 2 * 9, File(9, 5, u"system.txt", "records up to 11 are the volume's own"));
  const auto files = Scan();
  ASSERT_EQ(files.size(), 2u);
  ASSERT_TRUE(files.contains("Docs/live.txt"));
  ASSERT_TRUE(files.contains("Docs/gone.txt"));
  const FoundFile& live = files.at("Docs/live.txt");
  EXPECT_EQ(live.sourceEngine, static_cast<std::uint32_t>(SourceEngine::kProfessionalNtfs));
  EXPECT_EQ(live.isDeleted, 0u);
  EXPECT_EQ(files.at("Docs/gone.txt").isDeleted, 1u);
  EXPECT_EQ(live.entrySector, 100u + 2 * 71);
  EXPECT_EQ(live.volumeStartSector, 0u);
  EXPECT_EQ(Recover(live), "still in use");
}

// The old "$MFT" (runs from cluster 50 of two-sector clusters, met at sector 300) puts
// the old volume at sector 200, whatever the new boot sector says; the file's data is
// read there.
TEST_F(ProfessionalNtfsScan, AnOldMftMetOnTheMediumGivesTheOldVolumeStart) {
  Put(300, RecordBuilder(0, 1024, kLive)
               .Add(ResidentAttribute(0x30, FileNameValue(5, u"$MFT")))
               .Add(NonResidentAttribute({.runList = EncodeRuns({{.count = 64, .delta = 50}}),
                                          .highestVcn = 63,
                                          .allocatedSize = 64 * 1024,
                                          .realSize = 64 * 1024})));
  Put(300 + 2 * 40, Folder(40, 5, u"Old"));
  Put(300 + 2 * 41,
      RecordBuilder(41, 1024, kDeleted)
          .Add(ResidentAttribute(0x30, FileNameValue(40, u"far.txt")))
          .Add(NonResidentAttribute({.runList = EncodeRuns({{.count = 1, .delta = 400}}),
                                     .highestVcn = 0,
                                     .allocatedSize = 1024,
                                     .realSize = 11})));
  volume_.PutBytes((200 + 400 * 2) * 512, {'o', 'l', 'd', ' ', 'c', 'l', 'u', 's', 't', 'e', 'r'});
  const auto files = Scan();
  ASSERT_TRUE(files.contains("Old/far.txt"));
  const FoundFile& far = files.at("Old/far.txt");
  EXPECT_EQ(far.volumeStartSector, 200u);
  EXPECT_EQ(far.clusterBytes, 1024u) << "the record's allocated size over its clusters";
  EXPECT_EQ(Recover(far), "old cluster");
  ASSERT_EQ(engine_.MftTable().count(300), 1u);
}

// The old volume's backup boot sector (its last sector, at 1999) is all that tells where
// the volume began (sector 1000): its records' data counts from there.
TEST_F(ProfessionalNtfsScan, AnOldBackupBootSectorGivesTheVolumeStartOfItsRecords) {
  Bytes boot(volume_.image.begin(), volume_.image.begin() + 512);
  testing::Put64(boot, 0x28, 999);  // the volume's sectors, the backup not counted
  testing::Put64(boot, 0x30, 10);   // its MFT at cluster 10: sector 1080
  volume_.PutBytes(1999 * 512, boot);
  Put(1080 + 2 * 64,
      RecordBuilder(64, 1024, kDeleted)
          .Add(ResidentAttribute(0x30, FileNameValue(5, u"moved.txt")))
          .Add(NonResidentAttribute({.runList = EncodeRuns({{.count = 1, .delta = 20}}),
                                     .highestVcn = 0,
                                     .allocatedSize = 4096,
                                     .realSize = 5})));
  volume_.PutBytes((1000 + 20 * 8) * 512, {'h', 'e', 'l', 'l', 'o'});
  const auto files = Scan();
  ASSERT_TRUE(files.contains("moved.txt"));
  EXPECT_EQ(files.at("moved.txt").volumeStartSector, 1000u);
  EXPECT_EQ(Recover(files.at("moved.txt")), "hello");
}

// Parents that are not where a contiguous MFT would put them (an MFT in fragments whose
// record 0 is gone) are the folder records of that number the walk met; parents never
// met become "LostFolder%d".
TEST_F(ProfessionalNtfsScan, FindsParentsAmongTheFolderRecordsMetAndFilesTheRestUnderLostFolders) {
  Put(500, Folder(30, 5, u"Far away"));
  Put(800, Folder(31, 30, u"Deeper"));
  Put(900, File(90, 31, u"fragment.txt", "in another MFT run"));
  Put(960, File(91, 33, u"orphan.txt", "its folder is gone"));
  const auto files = Scan();
  EXPECT_TRUE(files.contains("Far away/Deeper/fragment.txt"));
  EXPECT_TRUE(files.contains("LostFolder33/orphan.txt"));
}

// Two volumes whose folders share record number 30: the first one looked up is kept.
TEST_F(ProfessionalNtfsScan, TwoVolumesSharingAFolderNumberKeepTheFirst) {
  Put(100 + 2 * 30, Folder(30, 5, u"First"));
  Put(100 + 2 * 40, File(40, 30, u"one.txt", "1"));
  Put(1000 + 2 * 30, Folder(30, 5, u"Second"));
  Put(1000 + 2 * 41, File(41, 30, u"two.txt", "2"));
  const auto files = Scan();
  EXPECT_TRUE(files.contains("First/one.txt"));
  EXPECT_TRUE(files.contains("First/two.txt"));
  EXPECT_EQ(files.size(), 2u);
}

TEST_F(ProfessionalNtfsScan, ListsNamedStreamsAsFilesBesideTheirFile) {
  Put(100 + 2 * 50, File(50, 5, u"tagged.txt", "body")
                        .Add(ResidentAttribute(0x80, Bytes{'n', 'o', 't', 'e'}, u"summary"))
                        .Add(ResidentAttribute(0x80, Bytes{'j'}, u"$J")));
  const auto files = Scan();
  ASSERT_TRUE(files.contains("tagged.txt"));
  ASSERT_TRUE(files.contains("tagged.txt:summary"));
  EXPECT_FALSE(files.contains("tagged.txt:$J")) << "the file system's own streams are not listed";
  EXPECT_EQ(Recover(files.at("tagged.txt")), "body");
  EXPECT_EQ(Recover(files.at("tagged.txt:summary")), "note");
}

TEST(ProfessionalNtfsRecordTest, AcceptsOnlyWholeRecordsOfTheMediumsSize) {
  struct Case {
    const char* what;
    std::uint32_t recordBytes;  // as built
    std::uint32_t expected;     // the medium's record size
    void (*damage)(Bytes&);
    bool candidate;
  };
  const Case cases[] = {
      {"a 1024-byte record on 512-byte sectors", 1024, 1024, nullptr, true},
      {"a 4096-byte record on 4096-byte sectors", 4096, 4096, nullptr, true},
      {"a 1024-byte record on 4096-byte sectors", 1024, 4096, nullptr, false},
      {"a 4096-byte record on 512-byte sectors", 4096, 1024, nullptr, false},
      {"the update sequence number differs from the word at 0x1FE", 1024, 1024,
       [](Bytes& b) { b[0x1FE] ^= 0xFF; }, false},
      {"bytes in use beyond the record", 1024, 1024,
       [](Bytes& b) { testing::Put32(b, 0x18, 1025); }, false},
      {"no \"FILE\"", 1024, 1024, [](Bytes& b) { b[0] = 'B'; }, false},
      {"an NTFS 3.0 header", 1024, 1024, nullptr, true},
  };
  for (const Case& c : cases) {
    RecordBuilder builder(70, c.recordBytes);
    if (std::string_view(c.what).ends_with("3.0 header")) builder.UpdateSequenceAt(0x2A);
    Bytes record = builder.Build();
    if (c.damage != nullptr) c.damage(record);
    EXPECT_EQ(
        CProfessionalNtfsRecovery::IsRecordCandidate(std::span(record).first(512), c.expected),
        c.candidate)
        << c.what;
  }
}

TEST(ProfessionalNtfsRecordTest, DefaultClusterSizeGrowsWithTheVolume) {
  struct Case {
    std::uint64_t mib;
    std::uint32_t sectorBytes;
    std::uint32_t sectors;
  };
  for (const Case& c :
       {Case{7, 512, 8}, Case{8, 512, 1}, Case{512, 512, 1}, Case{513, 512, 2}, Case{2048, 512, 4},
        Case{2049, 512, 8}, Case{56, 4096, 8}, Case{57, 4096, 1}}) {
    EXPECT_EQ(CProfessionalNtfsRecovery::DefaultSectorsPerCluster(
                  c.mib * 1024 * 1024 / c.sectorBytes, c.sectorBytes),
              c.sectors)
        << c.mib << " MiB of " << c.sectorBytes;
  }
}

}  // namespace
}  // namespace keldrive
