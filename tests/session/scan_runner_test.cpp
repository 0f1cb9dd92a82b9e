#include "session/scan_runner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/memory_medium.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

// The demo image as an area of its own.
ScanArea DemoArea(const std::string& path) {
  ImageLayout layout;
  EXPECT_EQ(ListImageAreas(path, layout), result::kSuccess);
  EXPECT_EQ(layout.areas.size(), 1u);
  return layout.areas.front();
}

TEST(RunScan, OpensTheMediumOnceAndRecordsTheScan) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/demo.img.gz", dir, "demo.img");
  ScanCatalogue catalogue(dir.File("scanlog"));
  int opens = 0;
  const MediumOpener counting = [&](const MediumSource& source,
                                    std::unique_ptr<platform::Medium>& out) {
    ++opens;
    out = std::make_unique<platform::MemoryMedium>(testing::ReadFileBytes(source.path),
                                                   source.path);
    return result::kSuccess;
  };
  ScanRequest request;
  request.area = DemoArea(image);
  ScanOutcome outcome = RunScan(catalogue, request, nullptr, counting);
  ASSERT_EQ(outcome.result, result::kSuccess) << outcome.message;
  EXPECT_EQ(opens, 1) << "engine selection and the engine share one open medium";
  EXPECT_EQ(testing::ListAllFiles(*outcome.scan.engine).size(), 16u);

  const ScanRecord& record = outcome.scan.record;
  EXPECT_EQ(record.state, ScanState::kFinished);
  EXPECT_EQ(record.logs.size(), 1u);
  EXPECT_EQ(record.found, outcome.scan.engine->GetFoundCount());
  ScanRecord saved;
  ASSERT_EQ(ScanCatalogue::LoadRecord(record.folder, saved), result::kSuccess);
  EXPECT_EQ(saved.area.sectors, record.area.sectors);
  EXPECT_EQ(saved.identity.writeTime, record.identity.writeTime);
  ASSERT_EQ(catalogue.History().Entries().size(), 1u);
  EXPECT_EQ(catalogue.History().Entries()[0].kind, ScanKind::kDeleted);
}

TEST(RunScan, AStoppedScanKeepsWhatItFoundForBrowsing) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/demo.img.gz", dir, "demo.img");
  ScanCatalogue catalogue(dir.File("scanlog"));
  ScanRequest request;
  request.area = DemoArea(image);
  std::uint64_t number = 0;
  {
    // Stopped once the walk is done: everything is found, and the folders that lead to the
    // files must still be written.
    ScanOutcome outcome = RunScan(catalogue, request, [](const ScanProgress& progress) {
      return progress.percent >= 80 ? ResultCancelled : result::kSuccess;
    });
    ASSERT_EQ(outcome.result, ResultCancelled);
    EXPECT_EQ(outcome.scan.record.state, ScanState::kStopped);
    number = outcome.scan.record.number;
  }
  // Browsed later, by another process, from the logs alone.
  ScanOutcome loaded = LoadScan(catalogue, request.area, number);
  ASSERT_EQ(loaded.result, result::kSuccess) << loaded.message;
  const auto files = testing::ListAllFiles(*loaded.scan.engine);
  EXPECT_FALSE(files.empty()) << "the stopped scan's folders lead to its files";
  EXPECT_EQ(files.size(), 16u);
}

TEST(LoadScan, AReplacedImageIsNeverReadThroughItsOldLogs) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/demo.img.gz", dir, "s.img");
  ScanCatalogue catalogue(dir.File("scanlog"));
  ScanRequest request;
  request.area = DemoArea(image);
  ASSERT_EQ(RunScan(catalogue, request, nullptr).result, result::kSuccess);
  ASSERT_EQ(LoadScan(catalogue, request.area, std::nullopt).result, result::kSuccess);

  // cp other.img s.img
  testing::ExtractFixture("fat/fat32.img.gz", dir, "s.img");
  std::filesystem::last_write_time(image, std::filesystem::file_time_type::clock::now() +
                                              std::chrono::seconds(5));
  ImageLayout layout;
  ASSERT_EQ(ListImageAreas(image, layout), result::kSuccess);
  const ScanOutcome stale = LoadScan(catalogue, layout.areas.front(), std::nullopt);
  EXPECT_EQ(stale.problem, ScanProblem::kMediumChanged);
  EXPECT_FALSE(stale.scan.engine);
  const ScanOutcome byNumber = LoadScan(catalogue, layout.areas.front(), 1);
  EXPECT_EQ(byNumber.problem, ScanProblem::kMediumChanged) << "not even when asked for by number";
}

}  // namespace
}  // namespace keldrive
