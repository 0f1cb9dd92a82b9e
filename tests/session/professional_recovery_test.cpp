#include "session/professional_recovery.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ntfs/ntfs_builders.h"
#include "platform/memory_medium.h"
#include "session/scan_runner.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

ScanArea OnlyArea(const std::string& image) {
  ImageLayout layout;
  EXPECT_EQ(ListImageAreas(image, layout), result::kSuccess);
  return layout.whole;
}

// What the carver found: the sector each carved file begins at, with its name and size.
std::map<std::uint64_t, std::pair<std::string, std::uint64_t>> Carved(IFileRecoveryParse& engine) {
  std::map<std::uint64_t, std::pair<std::string, std::uint64_t>> carved;
  auto* professional = dynamic_cast<CProfessionalRecovery*>(&engine);
  EXPECT_NE(professional, nullptr);
  if (professional == nullptr) return carved;
  std::vector<FoundFile> files;
  professional->Carver().ListFolder(nullptr, 0, files);
  for (const FoundFile& file : files) {
    carved[file.entrySector] = {std::string(file.Name()), file.size};
  }
  return carved;
}

ScanOutcome DeepScan(ScanCatalogue& catalogue, const ScanArea& area, bool whole = false,
                     ResumeChoice resume = ResumeChoice::kFresh,
                     const ScanProgressSink& progress = nullptr) {
  ScanRequest request;
  request.area = area;
  request.mode = RecoveryMode::kDeep;
  request.whole = whole;
  request.resume = resume;
  return RunScan(catalogue, request, progress);
}

// The first sectors of the live and the deleted pictures of the fixture.
struct Pictures {
  std::set<std::uint64_t> live, deleted;
};
Pictures LivePhotosTruth() {
  Pictures pictures;
  for (const auto& row : testing::LoadTruthTable("fat/live_photos_truth.tsv")) {
    if (row[4] != "jpg" && row[4] != "png") continue;
    (row[1] == "live" ? pictures.live : pictures.deleted).insert(std::stoull(row[7]));
  }
  return pictures;
}

TEST(ProfessionalRecovery, CarvesOnlyFreeSpaceUnlessTheWholeAreaIsAskedFor) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/live_photos.img.gz", dir, "v.img");
  const std::string before = testing::Sha256Hex(testing::ReadFileBytes(image));
  const Pictures truth = LivePhotosTruth();
  ASSERT_FALSE(truth.live.empty());
  ASSERT_FALSE(truth.deleted.empty());
  ScanCatalogue catalogue(dir.File("scanlog"));

  ScanOutcome free = DeepScan(catalogue, OnlyArea(image));
  ASSERT_EQ(free.result, result::kSuccess) << free.message;
  const auto carvedFree = Carved(*free.scan.engine);
  for (const std::uint64_t sector : truth.live) {
    EXPECT_FALSE(carvedFree.contains(sector)) << "a live picture at " << sector << " was carved";
  }
  for (const std::uint64_t sector : truth.deleted) {
    EXPECT_TRUE(carvedFree.contains(sector)) << "the deleted picture at " << sector;
  }
  // Found by the FAT scan and carved again at the same sector: listed once.
  std::vector<FoundFile> listed;
  free.scan.engine->ListFilesByType("*.jpg", listed);
  std::map<std::uint64_t, int> perSector;
  for (const FoundFile& file : listed) {
    if (file.sourceEngine == static_cast<std::uint32_t>(SourceEngine::kCarving)) {
      ++perSector[file.entrySector];
    }
  }
  for (const std::uint64_t sector : truth.deleted) EXPECT_EQ(perSector[sector], 0) << sector;

  ScanOutcome whole = DeepScan(catalogue, OnlyArea(image), true);
  ASSERT_EQ(whole.result, result::kSuccess) << whole.message;
  const auto carvedWhole = Carved(*whole.scan.engine);
  for (const std::uint64_t sector : truth.live) {
    EXPECT_TRUE(carvedWhole.contains(sector)) << "the live picture at " << sector;
  }
  EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(image)), before) << "only ever read";
}

// Real files laid out with slack and gaps and no file system: each comes back byte-exact
// from its first sector, but for programs, which are never carved.
TEST(ProfessionalRecovery, FilesOfARawImageComeBackByteExact) {
  const std::set<std::string> neverCarved = {"exe"};
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("carve_raw/raw.img.gz", dir, "raw.img");
  ScanCatalogue catalogue(dir.File("scanlog"));
  ScanOutcome scan = DeepScan(catalogue, OnlyArea(image));
  ASSERT_EQ(scan.result, result::kSuccess) << scan.message;
  std::map<std::uint64_t, FoundFile> carved;
  auto* professional = dynamic_cast<CProfessionalRecovery*>(scan.scan.engine.get());
  ASSERT_NE(professional, nullptr);
  std::vector<FoundFile> files;
  professional->Carver().ListFolder(nullptr, 0, files);
  for (const FoundFile& file : files) carved[file.entrySector] = file;

  std::size_t exact = 0;
  const auto truth = testing::LoadTruthTable("carve_raw/truth.tsv");
  for (const auto& row : truth) {
    const std::uint64_t sector = std::stoull(row[0]);
    const std::string& ext = row[2];
    SCOPED_TRACE(row[7] + " at " + row[0]);
    if (neverCarved.contains(ext)) continue;
    ASSERT_TRUE(carved.contains(sector));
    const std::string target = dir.File("out/" + std::to_string(sector));
    ASSERT_EQ(scan.scan.engine->RecoverItem(carved[sector], target, 0), result::kSuccess);
    const auto written = testing::ReadFileBytes(target);
    EXPECT_EQ(written.size(), std::stoull(row[3]));
    EXPECT_EQ(testing::Sha256Hex(written), row[4]);
    ++exact;
  }
  EXPECT_EQ(exact, truth.size() - 1);
}

TEST(ProfessionalRecovery, WhatTheWalkFindsDoesNotDependOnItsReadSize) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("carve_raw/raw.img.gz", dir, "raw.img");
  std::map<std::uint64_t, std::pair<std::string, std::uint64_t>> first;
  for (const std::uint32_t bytes : {64u * 1024, 1024u * 1024}) {
    ScanCatalogue catalogue(dir.File("scanlog" + std::to_string(bytes)));
    SectorDevice medium;
    ASSERT_EQ(OpenImageFile(image, medium), result::kSuccess);
    CProfessionalRecovery engine(ScanEnvironment{
        [&] { return dir.File("logs" + std::to_string(bytes)); }, dir.File("p"), nullptr});
    engine.SetReadBytes(bytes);
    engine.AttachDevice(ShareDevice(medium), 0, medium.totalSectors, 1, 512);
    ASSERT_EQ(engine.Scan(""), result::kSuccess);
    const auto carved = Carved(engine);
    EXPECT_GT(carved.size(), 30u);
    if (first.empty()) {
      first = carved;
    } else {
      EXPECT_EQ(carved, first) << "files that reach into the next read are stepped over alike";
    }
  }
}

TEST(ProfessionalRecovery, AStoppedScanGoesOnFromWhereItStoppedAndFindsWhatOneScanFinds) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("carve_raw/raw.img.gz", dir, "raw.img");
  const ScanArea area = OnlyArea(image);

  ScanCatalogue once(dir.File("once"));
  ScanOutcome whole = DeepScan(once, area);
  ASSERT_EQ(whole.result, result::kSuccess);
  const auto expected = Carved(*whole.scan.engine);

  ScanCatalogue twice(dir.File("twice"));
  std::uint64_t total = 0;
  {
    ScanOutcome stopped =
        DeepScan(twice, area, false, ResumeChoice::kFresh, [&](const ScanProgress& progress) {
          total = progress.sectorsTotal;
          return progress.sectorsTotal != 0 && progress.sectorsDone * 2 >= progress.sectorsTotal
                     ? ResultCancelled
                     : result::kSuccess;
        });
    ASSERT_EQ(stopped.result, ResultCancelled);
    EXPECT_EQ(stopped.scan.record.state, ScanState::kStopped);
  }
  ASSERT_EQ(twice.History().Entries().size(), 1u);
  const ScanResumePoint stoppedAt = twice.History().Entries()[0].resume;
  EXPECT_GT(stoppedAt.sectorsDone, 0u) << "cancelling records the position";
  EXPECT_LT(stoppedAt.sectorsDone, total);

  ScanOutcome resumed = DeepScan(twice, area, false, ResumeChoice::kResume);
  ASSERT_EQ(resumed.result, result::kSuccess) << resumed.message;
  EXPECT_TRUE(resumed.resumed);
  EXPECT_EQ(resumed.scan.record.number, 1u) << "in the earlier scan's folder";
  EXPECT_EQ(Carved(*resumed.scan.engine), expected);
  EXPECT_EQ(twice.Scans().size(), 1u);
}

// A scan stopped before its walk reached the volume's free space (which does not start at
// sector 0), maybe inside the quick pass, is started again rather than carried on.
TEST(ProfessionalRecovery, AScanStoppedBeforeItsWalkBeganStartsAgainWhenResumed) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/demo.img.gz", dir, "demo.img");
  const ScanArea area = OnlyArea(image);
  ScanCatalogue once(dir.File("once"));
  ScanOutcome whole = DeepScan(once, area);
  ASSERT_EQ(whole.result, result::kSuccess);
  ASSERT_GT(whole.scan.engine->GetFoundCount(), 0u);

  ScanCatalogue twice(dir.File("twice"));
  {
    ScanOutcome stopped = DeepScan(twice, area, false, ResumeChoice::kFresh,
                                   [](const ScanProgress&) { return ResultCancelled; });
    ASSERT_EQ(stopped.result, ResultCancelled);
  }
  ScanOutcome again = DeepScan(twice, area, false, ResumeChoice::kResume);
  ASSERT_EQ(again.result, result::kSuccess) << again.message;
  EXPECT_FALSE(again.resumed);
  EXPECT_EQ(again.scan.engine->GetFoundCount(), whole.scan.engine->GetFoundCount());
  EXPECT_EQ(twice.Scans().size(), 1u) << "the stopped scan's folder is gone";
}

TEST(ProfessionalRecovery, ResumingAScanThatReachedTheEndWalksNothing) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("carve_raw/raw.img.gz", dir, "raw.img");
  const ScanArea area = OnlyArea(image);
  ScanCatalogue catalogue(dir.File("scanlog"));
  ScanOutcome first = DeepScan(catalogue, area);
  ASSERT_EQ(first.result, result::kSuccess);
  const std::uint64_t found = first.scan.engine->GetFoundCount();
  first.scan = LoadedScan{};

  // The medium stays open in the loaded scan, so its requests can be counted afterwards.
  platform::MemoryMedium* opened = nullptr;
  const MediumOpener counting = [&](const MediumSource& source,
                                    std::unique_ptr<platform::Medium>& out) {
    auto medium = std::make_unique<platform::MemoryMedium>(testing::ReadFileBytes(source.path));
    opened = medium.get();
    out = std::move(medium);
    return result::kSuccess;
  };
  ScanRequest request;
  request.area = area;
  request.mode = RecoveryMode::kDeep;
  request.resume = ResumeChoice::kResume;
  ScanOutcome again = RunScan(catalogue, request, nullptr, counting);
  ASSERT_EQ(again.result, result::kSuccess) << again.message;
  EXPECT_TRUE(again.resumed);
  EXPECT_EQ(again.scan.engine->GetFoundCount(), found) << "the logs are loaded, nothing is added";
  ASSERT_NE(opened, nullptr);
  std::size_t requested = 0;
  for (const std::size_t bytes : opened->ReadRequests()) requested += bytes;
  EXPECT_LT(requested, 64u * 1024) << "only the classification of the area's start is read";
}

// A file record that runs past the end of one read of the walk is read again whole, at
// every read size, and its file is recovered from it.
TEST(ProfessionalRecovery, AFileRecordAcrossTheEndOfAReadIsReadAgainWhole) {
  testing::Bytes image(1 << 20, 0);
  const std::string text(700, 'r');  // past the record's first sector
  const testing::Bytes record =
      testing::RecordBuilder(70, 1024, 0)
          .Add(testing::ResidentAttribute(0x30, testing::FileNameValue(5, u"straddle.txt")))
          .Add(testing::ResidentAttribute(0x80, testing::Bytes(text.begin(), text.end())))
          .Build();
  std::copy(record.begin(), record.end(), image.begin() + 127 * 512);
  testing::TempDir dir;
  for (const std::uint32_t bytes : {64u * 1024, 1024u * 1024}) {
    SectorDevice medium;
    ASSERT_EQ(AttachImage(medium, std::make_unique<platform::MemoryMedium>(image)),
              result::kSuccess);
    const std::string logs = dir.File("logs" + std::to_string(bytes));
    CProfessionalRecovery engine(ScanEnvironment{[&] { return logs; }, dir.File("p"), nullptr});
    engine.SetReadBytes(bytes);
    engine.AttachDevice(ShareDevice(medium), 0, medium.totalSectors, 1, 512);
    ASSERT_EQ(engine.Scan(""), result::kSuccess);
    const auto files = testing::ListAllFiles(engine);
    ASSERT_TRUE(files.contains("straddle.txt")) << bytes;
    const FoundFile& file = files.at("straddle.txt");
    EXPECT_EQ(file.sourceEngine, static_cast<std::uint32_t>(SourceEngine::kProfessionalNtfs));
    EXPECT_EQ(file.entrySector, 127u);
    const std::string target = dir.File("out" + std::to_string(bytes));
    ASSERT_EQ(engine.RecoverItem(file, target, 0), result::kSuccess);
    const auto got = testing::ReadFileBytes(target);
    EXPECT_EQ(std::string(got.begin(), got.end()), text) << bytes;
  }
}

}  // namespace
}  // namespace keldrive
