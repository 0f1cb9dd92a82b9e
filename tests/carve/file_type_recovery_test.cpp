#include "carve/file_type_recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "carve_test_support.h"
#include "carve_walk.h"
#include "engine/scan_log_name.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive::testing {
namespace {

using namespace std::string_literals;

// An engine attached to an in-memory medium, its log started in a scan folder of its own.
struct Carver {
  TempDir dir;
  MemoryDevice device;
  CFileTypeRecovery engine;
  CarveContext context;
  std::uint64_t found = 0;

  explicit Carver(std::vector<std::uint8_t> bytes)
      : device(std::move(bytes)),
        engine(ScanEnvironment{[this] { return dir.File("scan"); }, dir.File("preview"), nullptr}) {
    const std::uint64_t sectors = device.device.totalSectors;
    EXPECT_EQ(engine.AttachDevice(ShareDevice(device.device), 0, sectors, u'E'), result::kSuccess);
    EXPECT_EQ(engine.BeginCarveScan(), result::kSuccess);
  }

  ResultCode CarveAt(std::uint64_t sector, std::uint64_t& step) {
    const CarveCandidate candidate{.medium = &device.device,
                                   .sectorSize = 512,
                                   .sector = device.Sector(sector),
                                   .hitSector = sector,
                                   .totalSectors = device.device.totalSectors};
    return engine.CarveAt(context, candidate, step, found);
  }

  std::vector<FoundFile> Listed() {
    std::vector<FoundFile> out;
    EXPECT_EQ(engine.ListFolder(nullptr, 0, out), result::kSuccess);
    return out;
  }
};

std::vector<std::uint8_t> Jpeg(std::size_t size) {
  std::vector<std::uint8_t> file(size, 0x55);
  Put(file, 0, "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00"s);
  Put(file, size - 2, "\xFF\xD9"s);
  return file;
}

std::vector<std::uint8_t> Wave(std::size_t size) {
  std::vector<std::uint8_t> file(size, 0x55);
  Put(file, 0, "RIFF"s);
  PutLe(file, 4, size - 8, 4);
  Put(file, 8, "WAVEfmt "s);
  return file;
}

// A file the walk steps over sends it to the first sector after the file; one that may
// hold other files sends it to the next sector.
TEST(FileTypeRecovery, CarveAtStepsOverOrIntoTheFile) {
  struct Case {
    std::vector<std::uint8_t> file;
    std::string name;
    std::uint64_t step;
  };
  const std::vector<Case> cases = {{Jpeg(5000), "100.jpg", 10}, {Wave(5000), "100.wav", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> medium(300 * 512);
    std::copy(c.file.begin(), c.file.end(), medium.begin() + 100 * 512);
    Carver carver(medium);
    std::uint64_t step = 0;
    ASSERT_EQ(carver.CarveAt(100, step), result::kSuccess);
    EXPECT_EQ(step, c.step);
    EXPECT_EQ(carver.found, 1u);
    const auto listed = carver.Listed();
    ASSERT_EQ(listed.size(), 1u);
    const FoundFile& record = listed[0];
    EXPECT_EQ(record.Name(), c.name);
    EXPECT_EQ(record.size, 5000u);
    EXPECT_EQ(record.entrySector, 100u);
    EXPECT_EQ(record.sourceEngine, 4u);
    EXPECT_EQ(record.clusterBytes, 0xFFFFFFFFu);
    EXPECT_EQ(record.contentOk, 1u);
    EXPECT_EQ(record.isFolder, 0u);
    EXPECT_EQ(record.driveLetter, u'E');
    EXPECT_EQ(record.recordNumber, 1u);

    // Nothing is carved from a sector of zeros: step 1, no record.
    step = 0;
    EXPECT_EQ(carver.CarveAt(200, step), result::kInvalidParameter);
    EXPECT_EQ(step, 1u);
    EXPECT_EQ(carver.found, 1u);
    EXPECT_EQ(carver.engine.GetFoundCount(), 1u);
  }
}

std::int32_t Cancel(void*, std::int32_t, std::int32_t, std::int32_t, std::uint64_t, std::uint64_t,
                    std::uint64_t, std::int32_t) {
  return result::kCancelled;
}

TEST(FileTypeRecovery, CancelWhileSizingPassesUpAndRecordsNothing) {
  std::vector<std::uint8_t> medium(300 * 512, 0x11);
  Put(medium, 0, "8BPS"s);  // sized chunk by chunk, reporting progress
  Carver carver(medium);
  carver.engine.SetProgressCallbacks(Cancel, nullptr, nullptr, 90);
  std::uint64_t step = 0;
  EXPECT_EQ(carver.CarveAt(0, step), result::kCancelled);
  EXPECT_EQ(step, 1u);
  EXPECT_EQ(carver.found, 0u);
  EXPECT_EQ(carver.engine.GetFoundCount(), 0u);
}

TEST(FileTypeRecovery, CarvedFilesLieInNoFolder) {
  std::vector<std::uint8_t> medium(64 * 512);
  const auto jpeg = Jpeg(1500);
  const auto wave = Wave(700);
  std::copy(jpeg.begin(), jpeg.end(), medium.begin() + 8 * 512);
  std::copy(wave.begin(), wave.end(), medium.begin() + 20 * 512);
  Carver carver(medium);
  std::uint64_t step = 0;
  ASSERT_EQ(carver.CarveAt(20, step), result::kSuccess);
  ASSERT_EQ(carver.CarveAt(8, step), result::kSuccess);

  const auto listed = carver.Listed();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].Name(), "20.wav");  // sorted by name
  EXPECT_EQ(listed[1].Name(), "8.jpg");
  std::vector<FoundFile> inFolder;
  EXPECT_EQ(carver.engine.ListFolder(&listed[0], 0, inFolder), result::kSuccess);
  EXPECT_TRUE(inFolder.empty());
  EXPECT_EQ(carver.engine.ListFolder(nullptr, 5, inFolder), result::kInvalidParameter);

  std::int32_t count = -1;
  EXPECT_EQ(carver.engine.CountFolderFiles(nullptr, 0, count), result::kSuccess);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(carver.engine.CountFolderFiles(&listed[0], 0, count), result::kSuccess);
  EXPECT_EQ(count, 0);
  std::string parents = "untouched";
  EXPECT_EQ(carver.engine.GetParentPath(listed[1], parents), result::kSuccess);
  EXPECT_EQ(parents, "untouched");

  std::vector<FoundFile> photos;
  EXPECT_EQ(carver.engine.ListFilesByType("*.jpg", photos), 1);
  ASSERT_EQ(photos.size(), 1u);
  EXPECT_EQ(photos[0].entrySector, 8u);
}

struct TruthRow {
  std::string image;
  std::uint64_t sector = 0;
  std::uint64_t fileBytes = 0;
  std::uint64_t carvedBytes = 0;
  std::string sha256;
};

std::vector<TruthRow> Truth() {
  std::vector<TruthRow> rows;
  for (const auto& f : LoadTruthTable("carve/truth.tsv")) {
    rows.push_back(
        {f.at(0), std::stoull(f.at(1)), std::stoull(f.at(4)), std::stoull(f.at(5)), f.at(6)});
  }
  return rows;
}

// The fixtures walked as the combined engine walks them: every carved file comes back
// from the medium with the size it was carved with, the real files of exact size byte
// for byte, however their size falls on the sectors.
TEST(FileTypeRecovery, CarvedFilesAreRecoveredAndPreviewedByteExact) {
  const auto truth = Truth();
  for (const char* image : {"pictures", "documents", "media"}) {
    SCOPED_TRACE(image);
    Carver carver(LoadFixture("carve/"s + image + ".img.gz"));
    ASSERT_EQ(WalkAndCarve(carver.engine, carver.context, carver.device.device, 64 * 1024, true,
                           carver.found),
              result::kSuccess);
    std::map<std::uint64_t, FoundFile> bySector;
    for (const FoundFile& record : carver.Listed()) bySector[record.entrySector] = record;
    EXPECT_EQ(carver.found, bySector.size());

    for (const TruthRow& row : truth) {
      if (row.image != image || row.carvedBytes == 0) continue;
      SCOPED_TRACE(row.sector);
      ASSERT_TRUE(bySector.contains(row.sector));
      const FoundFile& record = bySector[row.sector];
      const std::string target = carver.dir.File("out/" + std::string(record.Name()));
      ASSERT_EQ(carver.engine.RecoverItem(record, target, 0), result::kSuccess);
      const auto written = ReadFileBytes(target);
      ASSERT_EQ(written.size(), row.carvedBytes);
      EXPECT_EQ(Sha256Hex(std::span(written).first(row.fileBytes)), row.sha256);

      std::string tempPath;
      std::vector<std::uint8_t> buffer(64 * 1024);
      auto size = static_cast<std::uint32_t>(buffer.size());
      ASSERT_EQ(carver.engine.ExtractForPreview(record, tempPath, buffer, size, nullptr, nullptr),
                result::kSuccess);
      if (tempPath.empty()) {
        // Previewed in memory, up to the buffer's capacity.
        ASSERT_EQ(size, std::min<std::uint64_t>(row.carvedBytes, buffer.size()));
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + size, written.begin()));
      } else {
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(ReadFileBytes(tempPath), written);
      }
    }
  }
}

struct RecoverLog {
  std::vector<std::int32_t> errors;
  std::int32_t answer = 0;
};

std::int32_t RecordRecover(void* context, std::int32_t, std::int32_t, std::int32_t error,
                           const std::string&) {
  auto* log = static_cast<RecoverLog*>(context);
  log->errors.push_back(error);
  return log->answer;
}

// A sector that cannot be read leaves zeros in its place, what can be read around it is
// written, and the file never comes out as a success.
TEST(FileTypeRecovery, UnreadableSectorIsReportedAndTheRestKept) {
  std::vector<std::uint8_t> medium(64 * 512);
  const auto jpeg = Jpeg(5000);
  std::copy(jpeg.begin(), jpeg.end(), medium.begin() + 4 * 512);
  Carver carver(medium);
  std::uint64_t step = 0;
  ASSERT_EQ(carver.CarveAt(4, step), result::kSuccess);
  const FoundFile record = carver.Listed().at(0);
  carver.device.medium->FailSector(7);

  auto expected = jpeg;
  std::fill(expected.begin() + 3 * 512, expected.begin() + 4 * 512, 0);
  for (const std::int32_t answer : {0, static_cast<std::int32_t>(result::kCancelled)}) {
    SCOPED_TRACE(answer);
    RecoverLog log{.answer = answer};
    carver.engine.SetProgressCallbacks(nullptr, RecordRecover, &log, 100);
    const std::string target = carver.dir.File("out/" + std::to_string(answer) + ".jpg");
    EXPECT_EQ(carver.engine.RecoverItem(record, target, 0),
              answer == 0 ? result::kReadFault : result::kCancelled);
    EXPECT_EQ(ReadFileBytes(target), expected);
    ASSERT_FALSE(log.errors.empty());
    EXPECT_EQ(log.errors.back(), result::kReadFault);
  }
  // Without a callback the error ends the copy at once.
  carver.engine.SetProgressCallbacks(nullptr, nullptr, nullptr, 100);
  EXPECT_EQ(carver.engine.RecoverItem(record, carver.dir.File("out/plain.jpg"), 0),
            result::kReadFault);
}

// A scan that goes on keeps the files of the earlier one and adds to them.
TEST(FileTypeRecovery, ResumedScanGoesOnWithTheEarlierLog) {
  std::vector<std::uint8_t> medium(64 * 512);
  const auto jpeg = Jpeg(1500);
  std::copy(jpeg.begin(), jpeg.end(), medium.begin() + 8 * 512);
  std::copy(jpeg.begin(), jpeg.end(), medium.begin() + 30 * 512);
  TempDir dir;
  const auto environment =
      ScanEnvironment{[&] { return dir.File("scan"); }, dir.File("preview"), nullptr};
  MemoryDevice device(medium);
  CarveContext context;
  const auto carveAt = [&](CFileTypeRecovery& engine, std::uint64_t sector) {
    std::uint64_t step = 0;
    std::uint64_t found = 0;
    const CarveCandidate candidate{.medium = &device.device,
                                   .sector = device.Sector(sector),
                                   .hitSector = sector,
                                   .totalSectors = device.device.totalSectors};
    return engine.CarveAt(context, candidate, step, found);
  };
  std::string logName;
  {
    CFileTypeRecovery first(environment);
    ASSERT_EQ(first.AttachDevice(ShareDevice(device.device), 0, 64, 0), result::kSuccess);
    ASSERT_EQ(first.BeginCarveScan(), result::kSuccess);
    ASSERT_EQ(carveAt(first, 8), result::kSuccess);
    logName = std::filesystem::path(first.Log()->RecordsPath()).filename().string();
    EXPECT_TRUE(logName.starts_with(kFileTypeLogPrefix));
  }
  CFileTypeRecovery second(environment);
  ASSERT_EQ(second.AttachDevice(ShareDevice(device.device), 0, 64, 0), result::kSuccess);
  EXPECT_EQ(second.ResumeCarveScan("Pro_Fat_0_2024339 5", 512), result::kInvalidParameter);
  EXPECT_EQ(second.ResumeCarveScan("File_Type_0_19991231 0", 512), result::kFileNotFound);
  ASSERT_EQ(second.ResumeCarveScan(logName, 512), result::kSuccess);
  EXPECT_EQ(second.GetFoundCount(), 1u);
  ASSERT_EQ(carveAt(second, 30), result::kSuccess);
  std::vector<FoundFile> listed;
  ASSERT_EQ(second.ListFolder(nullptr, 0, listed), result::kSuccess);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].Name(), "30.jpg");
  EXPECT_EQ(listed[0].recordNumber, 2u);
  EXPECT_EQ(listed[1].Name(), "8.jpg");
}

}  // namespace
}  // namespace keldrive::testing
