// The NTFS deleted-file scan on volumes built byte by byte, for the cases no driver makes
// on purpose: a fragmented MFT, a loop of parent folders, a parent that now holds a file.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "ntfs/fast_ntfs_recovery.h"
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

constexpr std::uint16_t kDeleted = 0;
constexpr std::uint16_t kDeletedFolder = record_flags::kDirectory;
constexpr std::uint16_t kLiveFolder = record_flags::kInUse | record_flags::kDirectory;

// 512-byte sectors and clusters; the MFT lies in two pieces: records 0-15 from cluster 16,
// records 16-63 from cluster 400.
class CraftedScan : public ::testing::Test {
 protected:
  CraftedScan() : volume_(4 << 20, 512, 1, 16) {
    Put(0, RecordBuilder(0).Add(NonResidentAttribute(
               {.runList = EncodeRuns({{.count = 32, .delta = 16}, {.count = 96, .delta = 384}}),
                .highestVcn = 127,
                .allocatedSize = 64 * 1024,
                .realSize = 64 * 1024})));
    Put(5, Folder(5, kLiveFolder, 5, u"."));
  }

  static std::uint64_t SectorOf(std::uint32_t record) {
    return record < 16 ? 16 + 2 * record : 400 + 2 * (record - 16);
  }
  void Put(std::uint32_t record, const RecordBuilder& builder) {
    volume_.PutRecord(SectorOf(record), builder.Build());
  }
  static RecordBuilder Folder(std::uint32_t number, std::uint16_t flags, std::uint32_t parent,
                              const std::u16string& name) {
    return RecordBuilder(number, 1024, flags)
        .Add(ResidentAttribute(0x30, FileNameValue(parent, name)));
  }
  static RecordBuilder File(std::uint32_t number, std::uint32_t parent, const std::u16string& name,
                            const std::string& content) {
    return RecordBuilder(number, 1024, kDeleted)
        .Add(ResidentAttribute(0x30, FileNameValue(parent, name)))
        .Add(ResidentAttribute(0x80, Bytes(content.begin(), content.end())));
  }

  // Scans the volume; every file found, by the path its folders give.
  std::map<std::string, FoundFile> Scan() {
    auto medium = std::make_unique<platform::MemoryMedium>(volume_.image);
    SectorDevice device;
    EXPECT_EQ(AttachImage(device, std::move(medium)), result::kSuccess);
    const std::uint64_t sectors = device.totalSectors;
    EXPECT_EQ(engine_.AttachDevice(std::move(device), 0, sectors, 1), result::kSuccess);
    EXPECT_EQ(engine_.Scan(""), result::kSuccess);
    std::vector<FoundFile> all;
    engine_.ListFilesByType("*.txt|*.other", all);
    std::map<std::string, FoundFile> files;
    for (const FoundFile& file : all) {
      std::string parent;
      engine_.GetParentPath(file, parent);
      files[parent + std::string(file.Name())] = file;
    }
    return files;
  }

  testing::VolumeBuilder volume_;
  keldrive::testing::TempDir dir_;
  CFastNtfsRecovery engine_{
      ScanEnvironment{[this] { return dir_.File("scan"); }, dir_.File("p"), nullptr}};
};

// A volume made by NTFS 3.0 (Windows 2000) keeps its update sequence at 0x2A.
TEST_F(CraftedScan, ReadsRecordsOfTheOlderHeader) {
  Put(20, Folder(20, kLiveFolder, 5, u"Old").UpdateSequenceAt(0x2A));
  Put(21, File(21, 20, u"w2k.txt", std::string(600, 'w')).UpdateSequenceAt(0x2A));
  const auto files = Scan();
  ASSERT_TRUE(files.contains("Old/w2k.txt"));
  EXPECT_EQ(files.at("Old/w2k.txt").size, 600u);
}

TEST_F(CraftedScan, ReadsAFragmentedMftInRunOrder) {
  Put(20, Folder(20, kLiveFolder, 5, u"Docs"));
  Put(21, File(21, 20, u"a.txt", "hello"));
  Put(3, File(3, 5, u"system.txt", "records up to 11 are the volume's own"));
  const auto files = Scan();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.begin()->first, "Docs/a.txt");
  EXPECT_EQ(files.begin()->second.startCluster, 21u);
  EXPECT_EQ(files.begin()->second.size, 5u);
}

TEST_F(CraftedScan, EndsALoopOfParentsAndFilesLostParentsUnderLostFolders) {
  Put(30, Folder(30, kDeletedFolder, 31, u"Loop A"));
  Put(31, Folder(31, kDeletedFolder, 30, u"Loop B"));
  Put(22, File(22, 30, u"looped.txt", "round and round"));
  // Record 25 held the folder of orphan.txt and now holds a file.
  Put(25, RecordBuilder(25, 1024, record_flags::kInUse)
              .Add(ResidentAttribute(0x30, FileNameValue(5, u"new.txt"))));
  Put(23, File(23, 25, u"orphan.txt", "where did my folder go"));
  const auto files = Scan();
  EXPECT_TRUE(files.contains("LostFolder25/orphan.txt"));
  const auto looped = std::find_if(files.begin(), files.end(), [](const auto& entry) {
    return entry.second.Name() == "looped.txt";
  });
  ASSERT_NE(looped, files.end()) << "found by type even though its folders loop";
}

TEST_F(CraftedScan, PrefersTheWin32NameAndTheUnnamedDataSize) {
  Put(24, RecordBuilder(24, 1024, kDeleted)
              .Add(ResidentAttribute(0x30, FileNameValue(5, u"LONGNA~1.TXT", 2, 11)))
              .Add(ResidentAttribute(0x30, FileNameValue(5, u"Long name.txt", 1, 11)))
              .Add(ResidentAttribute(0x80, Bytes(300, 'x'))));
  // Only a named stream: the size is the file name's.
  Put(26, RecordBuilder(26, 1024, kDeleted)
              .Add(ResidentAttribute(0x30, FileNameValue(5, u"stream.txt", 1, 77)))
              .Add(ResidentAttribute(0x80, Bytes(500, 'y'), u"ads")));
  const auto files = Scan();
  ASSERT_TRUE(files.contains("Long name.txt"));
  EXPECT_EQ(files.at("Long name.txt").size, 300u);
  ASSERT_TRUE(files.contains("stream.txt"));
  EXPECT_EQ(files.at("stream.txt").size, 77u);
}

}  // namespace
}  // namespace keldrive
