#include "app/scan_history.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>

#include "support/temp_dir.h"

namespace keldrive {
namespace {

namespace fs = std::filesystem;

// A scan-log root inside a temporary folder, with a volume whose free space the test sets.
struct HistoryFixture {
  testing::TempDir dir;
  std::string root = dir.File("ScanLog");
  std::uint64_t freeBytes = 1'000'000;

  FreeBytesQuery Query() {
    return [this](const std::string& volume, std::uint64_t& out) {
      if (volume != "/media/stick") return result::kPathNotFound;
      out = freeBytes;
      return result::kSuccess;
    };
  }
  ScanHistory Open() { return ScanHistory(root, Query()); }
  std::string Folder(int number) const { return root + "/" + std::to_string(number) + "/"; }
  void AddLog(const std::string& folder) const {
    testing::WriteFile(fs::path(folder) / "Fast_1", std::string("log"));
  }
};

void WriteHistory(const std::string& root, std::uint64_t scanNumber,
                  const std::vector<ScanHistoryEntry>& entries, std::size_t extraBytes = 0) {
  std::vector<std::uint8_t> bytes(8);
  for (std::size_t i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(scanNumber >> (8 * i));
  for (const ScanHistoryEntry& entry : entries) {
    std::array<std::uint8_t, kScanHistoryEntrySize> block{};
    ASSERT_EQ(SerializeScanHistoryEntry(entry, block), result::kSuccess);
    bytes.insert(bytes.end(), block.begin(), block.end());
  }
  bytes.resize(bytes.size() + extraBytes, 0xAB);
  testing::WriteFile(fs::path(root) / "config", bytes);
}

ScanHistoryEntry AreaEntry(std::string folder, std::uint64_t freeBytes) {
  ScanHistoryEntry entry;
  entry.diskNumber = 1;
  entry.firstSector = 2048;
  entry.sectorCount = 1000;
  entry.freeBytes = freeBytes;
  entry.scanFolder = std::move(folder);
  return entry;
}

void SetWriteTime(const std::string& path, std::int64_t seconds) {
  fs::last_write_time(path, std::chrono::file_clock::from_sys(
                                std::chrono::sys_seconds(std::chrono::seconds(seconds))));
}

TEST(ScanHistory, QuickScansUseNumberedFoldersAndEmptyALeftoverFirst) {
  HistoryFixture f;
  ScanHistory history = f.Open();
  EXPECT_EQ(history.ScanNumber(), 0u);
  EXPECT_TRUE(history.Entries().empty());
  EXPECT_FALSE(fs::exists(f.root)) << "loading creates nothing";

  // A folder "2" left by a run whose number was never saved.
  f.AddLog(f.Folder(2));
  ASSERT_EQ(history.BeginNewScanFolder(), result::kSuccess);
  EXPECT_EQ(history.GetCurrentScanFolder(), f.Folder(1));
  f.AddLog(f.Folder(1));
  ASSERT_EQ(history.BeginNewScanFolder(), result::kSuccess);
  EXPECT_EQ(history.GetCurrentScanFolder(), f.Folder(2));
  EXPECT_FALSE(fs::exists(f.Folder(2))) << "the leftover was emptied before use";
  EXPECT_TRUE(fs::exists(f.Folder(1) + "Fast_1")) << "the first scan's logs stay";
}

TEST(ScanHistory, ProfessionalScanFoundAgainUntilTheVolumeChanges) {
  HistoryFixture f;
  {
    ScanHistory history = f.Open();
    ASSERT_EQ(history.BeginNewScanFolder(), result::kSuccess);
    f.AddLog(history.GetCurrentScanFolder());
    ASSERT_EQ(history.RecordScanProgress("/media/stick", 1, 2048, 1000, {100, 50, 10, 400, 7},
                                         history.GetCurrentScanFolder(), ""),
              result::kSuccess);
    // Later progress of the same scan overwrites the resume point only.
    ASSERT_EQ(history.RecordScanProgress("/media/stick", 1, 2048, 1000, {100, 50, 20, 410, 9},
                                         history.GetCurrentScanFolder(), ""),
              result::kSuccess);
    EXPECT_EQ(history.Entries().size(), 1u);
  }
  EXPECT_FALSE(fs::exists(f.root + "/config.tmp"));
  EXPECT_EQ(fs::file_size(f.root + "/config"), 8 + kScanHistoryEntrySize);

  ScanHistory history = f.Open();
  EXPECT_EQ(history.ScanNumber(), 1u);
  ScanHistoryEntry found;
  ASSERT_TRUE(history.FindPartitionScan(1, 2048, 1000, "/media/stick", found));
  EXPECT_EQ(found.resume, (ScanResumePoint{100, 50, 20, 410, 9}));
  EXPECT_EQ(found.freeBytes, 1'000'000u);
  EXPECT_EQ(found.scanFolder, f.Folder(1));
  EXPECT_TRUE(history.EarlierScanFound());
  EXPECT_EQ(history.GetCurrentScanFolder(), f.Folder(1));

  EXPECT_FALSE(history.FindPartitionScan(1, 2048, 999, "/media/stick", found)) << "other area";
  EXPECT_FALSE(history.EarlierScanFound());
  EXPECT_EQ(history.Entries().size(), 1u);

  f.freeBytes -= 4096;  // a file was written to the volume
  EXPECT_FALSE(history.FindPartitionScan(1, 2048, 1000, "/media/stick", found));
  EXPECT_TRUE(history.Entries().empty());
  EXPECT_FALSE(fs::exists(f.Folder(1))) << "the stale logs were deleted";
  EXPECT_EQ(history.GetCurrentScanFolder(), f.Folder(1)) << "number 1 was handed out, not saved";
}

TEST(ScanHistory, AreasWithoutAMountedVolumeCountZeroFreeBytes) {
  HistoryFixture f;
  ScanHistory history = f.Open();
  ASSERT_EQ(history.RecordScanProgress("", 3, 0, 500, {}, f.Folder(1), ""), result::kSuccess);
  ASSERT_EQ(history.RecordScanProgress("/not/mounted", 4, 0, 500, {}, f.Folder(2), ""),
            result::kSuccess);
  EXPECT_EQ(history.Entries()[0].freeBytes, 0u);
  EXPECT_EQ(history.Entries()[1].freeBytes, 0u) << "a failed query counts 0";
  ScanHistoryEntry found;
  EXPECT_TRUE(history.FindPartitionScan(3, 0, 500, "", found));
}

TEST(ScanHistory, ChangedImageForgetsItsEntry) {
  HistoryFixture f;
  const std::string image = f.dir.File("card.img");
  testing::WriteFile(image, std::string(4096, '\0'));
  SetWriteTime(image, 1'500'000'000);
  ScanHistory history = f.Open();
  f.AddLog(f.Folder(1));
  ASSERT_EQ(history.RecordScanProgress("", 0, 0, 8, {0, 8, 4, 4, 1}, f.Folder(1), image),
            result::kSuccess);
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_EQ(history.Entries()[0].imagePath, image);
  EXPECT_NE(history.Entries()[0].imageWriteTime, 0u);

  ScanHistoryEntry found;
  EXPECT_TRUE(history.FindImageScan(image, found));
  EXPECT_EQ(found.resume.filesFound, 1u);
  EXPECT_FALSE(history.FindPartitionScan(0, 0, 8, "", found)) << "an image is not a disk area";
  EXPECT_FALSE(history.FindImageScan(f.dir.File("CARD.img"), found)) << "paths match exactly";
  EXPECT_EQ(history.Entries().size(), 1u);

  SetWriteTime(image, 1'500'000'001);
  EXPECT_FALSE(history.FindImageScan(image, found));
  EXPECT_TRUE(history.Entries().empty());
  EXPECT_FALSE(fs::exists(f.Folder(1)));
}

TEST(ScanHistory, InterruptedSaveIsCompletedOnLoad) {
  HistoryFixture f;
  fs::create_directories(f.root);
  WriteHistory(f.root, 5, {AreaEntry(f.Folder(5), 1'000'000)});
  fs::rename(f.root + "/config", f.root + "/config.tmp");

  ScanHistory history = f.Open();
  EXPECT_EQ(history.ScanNumber(), 5u);
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_TRUE(fs::exists(f.root + "/config"));
  EXPECT_FALSE(fs::exists(f.root + "/config.tmp"));

  // With both present, "config" is whole and the temporary file is an unfinished save.
  testing::WriteFile(fs::path(f.root) / "config.tmp", std::string("half"));
  EXPECT_EQ(f.Open().Entries().size(), 1u);
}

TEST(ScanHistory, FailedSaveKeepsThePreviousHistory) {
  HistoryFixture f;
  ScanHistory history = f.Open();
  ASSERT_EQ(history.RecordScanProgress("/media/stick", 1, 2048, 1000, {}, f.Folder(1), ""),
            result::kSuccess);
  const auto saved = testing::ReadFileBytes(f.root + "/config");
  fs::create_directory(f.root + "/config.tmp");  // cannot be created as a file now
  EXPECT_NE(history.RecordScanProgress("/media/stick", 2, 0, 10, {}, f.Folder(2), ""),
            result::kSuccess);
  EXPECT_EQ(testing::ReadFileBytes(f.root + "/config"), saved);

  EXPECT_EQ(history.RecordScanProgress("", 0, 0, 1, {}, std::string(300, 'x'), ""),
            result::kFilenameTooLong);
  EXPECT_EQ(history.Entries().size(), 2u) << "an entry the file cannot hold is not added";
}

TEST(ScanHistory, DamagedFileLoadsWhatIsWhole) {
  HistoryFixture f;
  fs::create_directories(f.root);
  testing::WriteFile(fs::path(f.root) / "config", std::vector<std::uint8_t>{1, 2, 3});
  EXPECT_EQ(f.Open().ScanNumber(), 0u) << "shorter than the scan number";
  EXPECT_TRUE(f.Open().Entries().empty());

  WriteHistory(f.root, 9, {AreaEntry(f.Folder(1), 1), AreaEntry(f.Folder(2), 2)}, 700);
  EXPECT_EQ(f.Open().ScanNumber(), 9u);
  EXPECT_EQ(f.Open().Entries().size(), 2u) << "the partial third entry is ignored";

  // Overwrite the first entry's folder with text that never ends.
  auto bytes = testing::ReadFileBytes(f.root + "/config");
  for (std::size_t i = 8 + 600; i < 8 + 1120; ++i) bytes[i] = 'x';
  testing::WriteFile(fs::path(f.root) / "config", bytes);
  ScanHistory history = f.Open();
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_EQ(history.Entries()[0].scanFolder, f.Folder(2));
  EXPECT_EQ(history.SkippedEntries(), 1u);
}

TEST(ScanHistory, NeverDeletesOutsideTheRoot) {
  HistoryFixture f;
  fs::create_directories(f.root);
  const std::string outside = f.dir.File("Documents");
  testing::WriteFile(fs::path(outside) / "thesis.doc", std::string("precious"));
  fs::create_directory_symlink(outside, f.root + "/7");
  // A tampered history: entries whose folders lead out of the root, all on a volume whose
  // free space has changed since.
  WriteHistory(f.root, 9,
               {AreaEntry(outside + "/", 1), AreaEntry(f.root + "/../Documents/", 1),
                AreaEntry(f.root + "/7/", 1), AreaEntry(f.root + "/", 1)});
  ScanHistory history = f.Open();
  ScanHistoryEntry found;
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(history.FindPartitionScan(1, 2048, 1000, "/media/stick", found));
  }
  EXPECT_TRUE(history.Entries().empty()) << "the entries themselves are dropped";
  EXPECT_TRUE(fs::exists(fs::path(outside) / "thesis.doc"));
  EXPECT_TRUE(fs::exists(f.root + "/config"));

  EXPECT_EQ(history.ForgetScanFolder(outside), result::kAccessDenied);
  EXPECT_EQ(history.ForgetScanFolder(f.root), result::kAccessDenied);
  EXPECT_EQ(history.ForgetScanFolder(f.dir.File("missing/")), result::kSuccess);
  EXPECT_TRUE(fs::exists(fs::path(outside) / "thesis.doc"));
}

TEST(ScanHistory, ForgetMatchesTheFolderWithoutCase) {
  HistoryFixture f;
  fs::create_directories(f.root);
  WriteHistory(f.root, 2, {AreaEntry(f.root + "/A/", 1), AreaEntry(f.root + "/b/", 1)});
  ScanHistory history = f.Open();
  EXPECT_EQ(history.ForgetScanFolder(f.root + "/a/"), result::kSuccess);
  ASSERT_EQ(history.Entries().size(), 1u);
  EXPECT_EQ(history.Entries()[0].scanFolder, f.root + "/b/");
}

TEST(ScanHistory, FindFileInFolderSkipsHiddenNames) {
  testing::TempDir dir;
  for (const char* name : {".Pro_Fat_old", "Pro_Fat_2", "Pro_Fat_1_Relation", "Fast_1"}) {
    testing::WriteFile(dir.path() / name, std::string("x"));
  }
  std::string name;
  ASSERT_EQ(ScanHistory::FindFileInFolder(dir.path().string(), "Pro_Fat_", name), result::kSuccess);
  EXPECT_EQ(name, "Pro_Fat_1_Relation");
  ASSERT_EQ(ScanHistory::FindFileInFolder(dir.path().string(), "File_Type_", name),
            result::kSuccess);
  EXPECT_EQ(name, "");
  EXPECT_EQ(ScanHistory::FindFileInFolder(dir.File("none"), "Fast_", name), result::kFileNotFound);
}

}  // namespace
}  // namespace keldrive
