// Scans and recoveries of media that fail: unreadable sectors inside files, volumes cut
// short. What is not whole never looks whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/memory_medium.h"
#include "platform/utf8_path.h"
#include "session/recovery_plan.h"
#include "session/scan_runner.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

// Scans the image file `path` through a medium in memory holding `bytes`, whose reads fail
// at `bad` (512-byte sectors).
ScanOutcome ScanFailing(ScanCatalogue& catalogue, const std::string& path,
                        const std::vector<std::uint8_t>& bytes, std::vector<std::uint64_t> bad) {
  const MediumOpener opener = [&](const MediumSource& source,
                                  std::unique_ptr<platform::Medium>& out) {
    auto medium = std::make_unique<platform::MemoryMedium>(bytes, source.path);
    for (const std::uint64_t sector : bad) medium->FailSector(sector);
    out = std::move(medium);
    return result::kSuccess;
  };
  ImageLayout layout;
  EXPECT_EQ(ListImageAreas(path, layout), result::kSuccess);
  ScanRequest request;
  request.area = layout.areas.front();
  return RunScan(catalogue, request, nullptr, opener);
}

// `path` inside `folder`, with "/" between names as the scan lists them.
std::string RelativeTo(const std::string& path, const std::string& folder) {
  const std::u8string text =
      std::filesystem::relative(platform::PathFromUtf8(path), platform::PathFromUtf8(folder))
          .generic_u8string();
  return std::string(text.begin(), text.end());
}

RecoveryResult RecoverAll(LoadedScan& scan, const std::string& target) {
  std::vector<RecoveryItem> items;
  for (const auto& [path, file] : testing::ListAllFiles(*scan.engine)) {
    if (file.isFolder == 0) items.push_back({0, file, path, 0});
  }
  RecoveryOptions options;
  options.target = target;
  options.keepPaths = true;
  const auto jobs = PlanRecovery(items, {&scan.record}, options);
  return RunRecovery(jobs, {&scan}, nullptr);
}

std::map<std::string, std::vector<std::uint8_t>> Contents(const RecoveryResult& result,
                                                          const std::string& target) {
  std::map<std::string, std::vector<std::uint8_t>> out;
  for (const FileOutcome& file : result.files) {
    if (file.code == result::kSuccess) {
      out[RelativeTo(file.target, target)] = testing::ReadFileBytes(file.target);
    }
  }
  return out;
}

// The first sector of the second cluster of the largest deleted file the scan lists.
struct Victim {
  std::string path;
  std::uint64_t sector = 0;
  std::uint64_t offset = 0;  // of that sector in the file
};
Victim LargestFile(IFileRecoveryParse& engine) {
  Victim victim;
  std::uint64_t largest = 0;
  for (const auto& [path, file] : testing::ListAllFiles(engine)) {
    if (file.isFolder != 0 || file.size <= largest) continue;
    largest = file.size;
    victim.path = path;
    const std::uint64_t sectorsPerCluster = file.clusterBytes / 512;
    victim.sector = file.volumeStartSector + file.dataAreaSector +
                    (file.startCluster - 2 + 1) * sectorsPerCluster;
    victim.offset = file.clusterBytes;
  }
  return victim;
}

TEST(FailingMedium, AnUnreadableSectorInsideAFileIsAZeroFilledHoleOfAnIncompleteFile) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/fat32.img.gz", dir, "fat32.img");
  const std::vector<std::uint8_t> bytes = testing::ReadFileBytes(image);
  ScanCatalogue catalogue(dir.File("scanlog"));

  ScanOutcome sound = ScanFailing(catalogue, image, bytes, {});
  ASSERT_EQ(sound.result, result::kSuccess) << sound.message;
  const auto expected = Contents(RecoverAll(sound.scan, dir.File("sound")), dir.File("sound"));
  const Victim victim = LargestFile(*sound.scan.engine);
  ASSERT_TRUE(expected.contains(victim.path));
  ASSERT_GT(expected.at(victim.path).size(), victim.offset + 512);

  ScanOutcome failing = ScanFailing(catalogue, image, bytes, {victim.sector});
  ASSERT_EQ(failing.result, result::kSuccess) << failing.message;
  const std::string target = dir.File("failing");
  const RecoveryResult result = RecoverAll(failing.scan, target);
  std::size_t incomplete = 0;
  for (const FileOutcome& file : result.files) {
    const std::string path = RelativeTo(file.target, target);
    if (path != victim.path) {
      EXPECT_EQ(file.code, result::kSuccess) << path;
      EXPECT_EQ(testing::ReadFileBytes(file.target), expected.at(path)) << path;
      continue;
    }
    ++incomplete;
    EXPECT_EQ(file.code, result::kDataError);
    EXPECT_EQ(file.unreadable, (std::vector<UnreadableStretch>{{victim.offset, 512}}));
    EXPECT_FALSE(std::filesystem::exists(platform::PathFromUtf8(file.target)))
        << "never under the name of a whole file";
    ASSERT_FALSE(file.incompleteAs.empty());
    EXPECT_NE(file.incompleteAs.find(" (incomplete)."), std::string::npos) << file.incompleteAs;
    // Everything around the hole as it is, the hole zeros.
    std::vector<std::uint8_t> want = expected.at(path);
    std::fill_n(want.begin() + static_cast<std::ptrdiff_t>(victim.offset), 512, std::uint8_t{0});
    EXPECT_EQ(testing::ReadFileBytes(file.incompleteAs), want);
    const std::string text = DescribeRecoveryFailure(file);
    EXPECT_NE(text.find("could not be read"), std::string::npos) << text;
    EXPECT_EQ(text.find("reused"), std::string::npos) << "a read error is not a reused cluster";
    EXPECT_NE(text.find("bytes " + std::to_string(victim.offset) + "-"), std::string::npos) << text;
  }
  EXPECT_EQ(incomplete, 1u);
  EXPECT_EQ(result.failed, 1u);
  EXPECT_EQ(failing.scan.medium.unreadable->Count(), 1u);
}

TEST(FailingMedium, ACutImageIsNamedDamagedAndEverythingBeforeTheCutIsRecovered) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/fat32.img.gz", dir, "fat32.img");
  std::vector<std::uint8_t> bytes = testing::ReadFileBytes(image);
  ScanCatalogue catalogue(dir.File("scanlog"));
  ScanOutcome sound = ScanFailing(catalogue, image, bytes, {});
  ASSERT_EQ(sound.result, result::kSuccess) << sound.message;
  EXPECT_FALSE(sound.scan.record.damaged) << sound.scan.record.notes;
  const auto whole = Contents(RecoverAll(sound.scan, dir.File("sound")), dir.File("sound"));

  // Cut where the largest file's second cluster begins: it and whatever follows are gone.
  const Victim victim = LargestFile(*sound.scan.engine);
  bytes.resize(victim.sector * 512);
  const std::string cut = dir.File("cut.img");
  std::ofstream(cut, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  ScanOutcome scan = ScanFailing(catalogue, cut, bytes, {});
  ASSERT_EQ(scan.result, result::kSuccess) << scan.message;
  EXPECT_TRUE(scan.scan.record.damaged);
  EXPECT_NE(scan.scan.record.notes.find("cut short"), std::string::npos) << scan.scan.record.notes;

  const auto listed = testing::ListAllFiles(*scan.scan.engine);
  const auto recovered = Contents(RecoverAll(scan.scan, dir.File("cut")), dir.File("cut"));
  std::size_t before = 0;
  for (const auto& [path, file] : listed) {
    if (file.isFolder != 0 || !whole.contains(path)) continue;
    const std::uint64_t last = file.volumeStartSector + file.dataAreaSector +
                               (file.startCluster - 2) * (file.clusterBytes / 512) +
                               (file.size + 511) / 512;
    if (last > victim.sector) continue;  // reaches past the cut
    ++before;
    ASSERT_TRUE(recovered.contains(path)) << path;
    EXPECT_EQ(recovered.at(path), whole.at(path)) << path;
  }
  EXPECT_GT(before, 0u);
}

}  // namespace
}  // namespace keldrive
