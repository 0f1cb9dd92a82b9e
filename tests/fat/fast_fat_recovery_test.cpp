#include "fat/fast_fat_recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "carve/content_check.h"
#include "engine/recovery_target.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

enum Column {
  kPath,
  kDeleted,
  kKind,
  kSize,
  kSha256,
  kFirstCluster,
  kClusters,
  kContiguous,
  kScanName,
  kNotes
};

struct TruthFile {
  std::string scanPath;  // where the scan lists it: the scan names of its folders and its own
  std::uint64_t size;
  std::string sha256;
  bool exact;  // its data still lies where a deleted file is looked for
};

// The files a deleted-file scan of the fixture should list, by the path it lists them at.
std::map<std::string, TruthFile> ExpectedListing(const std::string& truthFile) {
  const auto rows = testing::LoadTruthTable(truthFile);
  std::map<std::string, std::string> scanNameOf;  // live path → scan name
  for (const auto& row : rows) scanNameOf[row[kPath]] = row[kScanName];
  std::map<std::string, TruthFile> expected;
  for (const auto& row : rows) {
    if (row[kKind] != "file" || row[kScanName] == "-") continue;
    std::string scanPath;
    const std::filesystem::path path(row[kPath]);
    std::string folder;
    for (auto part = path.begin(); part != path.end(); ++part) {
      if (part->string() == "/" || std::next(part) == path.end()) continue;
      folder += "/" + part->string();
      scanPath += scanNameOf[folder] + "/";
    }
    scanPath += row[kScanName];
    // Overwritten files cannot come back; a fragmented one can, past the clusters in use.
    const bool overwritten = row[kNotes].find("reused") != std::string::npos;
    expected[scanPath] = {scanPath, std::stoull(row[kSize]), row[kSha256],
                          row[kContiguous] == "yes" || !overwritten};
  }
  return expected;
}

struct ScannedImage {
  testing::TempDir dir;
  std::string image;
  std::unique_ptr<CFastFatRecovery> engine;

  explicit ScannedImage(const std::string& fixture) {
    image = testing::ExtractFixture(fixture, dir, "volume.img");
    const std::string scanFolder = dir.File("scan");
    engine = std::make_unique<CFastFatRecovery>(
        ScanEnvironment{[scanFolder] { return scanFolder; }, dir.File("preview"), nullptr});
    EXPECT_EQ(engine->AttachImageFile(image, u'\x01'), result::kSuccess);
    EXPECT_EQ(engine->Scan(""), result::kSuccess);
  }

  std::map<std::string, FoundFile> Listing() { return testing::ListAllFiles(*engine); }
};

class FatImage : public ::testing::TestWithParam<const char*> {};

TEST_P(FatImage, ListsEveryDeletedFileAndRecoversItByteExact) {
  const std::string name = GetParam();
  ScannedImage scan("fat/" + name + ".img.gz");
  const std::string before = testing::Sha256Hex(testing::ReadFileBytes(scan.image));
  const auto expected = ExpectedListing("fat/" + name + "_truth.tsv");
  const auto listed = scan.Listing();

  std::set<std::string> expectedPaths, listedPaths;
  for (const auto& [path, file] : expected) expectedPaths.insert(path);
  for (const auto& [path, file] : listed) listedPaths.insert(path);
  EXPECT_EQ(listedPaths, expectedPaths);

  const std::string out = scan.dir.File("out");
  for (const auto& [path, truth] : expected) {
    const auto found = listed.find(path);
    if (found == listed.end()) continue;
    EXPECT_EQ(found->second.size, truth.size) << path;
    const std::string target = out + "/" + std::to_string(found->second.recordNumber);
    const ResultCode rc = scan.engine->RecoverItem(found->second, target, 0);
    std::string previewPath;
    std::vector<std::uint8_t> preview(4096);
    std::uint32_t previewSize = static_cast<std::uint32_t>(preview.size());
    scan.engine->ExtractForPreview(found->second, previewPath, preview, previewSize, nullptr,
                                   nullptr);
    if (!truth.exact) continue;
    EXPECT_EQ(rc, result::kSuccess) << path;
    EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(target)), truth.sha256) << path;
  }
  EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(scan.image)), before)
      << "scanning, recovering and previewing never write to the medium";
}

TEST_P(FatImage, RecoversADeletedFolderAsATree) {
  ScannedImage scan(std::string("fat/") + GetParam() + ".img.gz");
  std::vector<FoundFile> root;
  ASSERT_EQ(scan.engine->ListFolder(nullptr, 0, root), result::kSuccess);
  const auto trip = std::find_if(root.begin(), root.end(),
                                 [](const FoundFile& f) { return f.Name() == "Trip 2019"; });
  ASSERT_NE(trip, root.end());
  EXPECT_EQ(trip->isDeleted, 1u);
  std::int32_t count = 0;
  EXPECT_EQ(scan.engine->CountFolderFiles(&*trip, 1, count), result::kSuccess);
  EXPECT_EQ(count, 4);

  const std::string base = scan.dir.File("out");
  const std::string target = base + "/Trip 2019";
  const auto separators = static_cast<std::int32_t>(CountPathSeparators(base));
  ASSERT_EQ(scan.engine->RecoverItem(*trip, target, separators), result::kSuccess);
  const auto expected = ExpectedListing(std::string("fat/") + GetParam() + "_truth.tsv");
  for (const char* file :
       {"Day 1/Hotel receipt.pdf", "Day 1/!unrise.jpg", "Day 2/!ap.png", "itinerary.txt"}) {
    const auto bytes = testing::ReadFileBytes(target + "/" + file);
    EXPECT_EQ(testing::Sha256Hex(bytes), expected.at(std::string("Trip 2019/") + file).sha256)
        << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Images, FatImage, ::testing::Values("fat12", "fat16", "fat32"));

TEST(CFastFatRecovery, FollowsAFolderThatLostItsHighClusterWord) {
  ScannedImage scan("fat/fat32.img.gz");
  const auto listed = scan.Listing();
  const auto far = listed.find("Far folder/far away.jpg");
  ASSERT_NE(far, listed.end());
  EXPECT_EQ(far->second.startCluster, 65604u) << "found by searching the high word";
}

TEST(CFastFatRecovery, HidesPhotosWhoseDataIsNoLongerAPhoto) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/fat32.img.gz", dir, "v.img");
  CFastFatRecovery engine(
      ScanEnvironment{[&] { return dir.File("scan"); }, dir.File("p"), SignatureContentCheck()});
  ASSERT_EQ(engine.AttachImageFile(image, 1), result::kSuccess);
  ASSERT_EQ(engine.Scan(""), result::kSuccess);
  std::vector<FoundFile> photos;
  ASSERT_EQ(engine.ListFilesByType("*.jpg|*.png", photos), 1);
  std::set<std::string> names;
  for (const FoundFile& photo : photos) {
    names.insert(std::string(photo.Name()));
    EXPECT_EQ(photo.contentOk, 1u) << photo.Name();
  }
  EXPECT_FALSE(names.contains("old sunset.jpg")) << "its clusters now hold a text file";
  EXPECT_TRUE(names.contains("!each.jpg"));
  EXPECT_TRUE(names.contains("far away.jpg")) << "found by its high word, checked by content";
}

TEST(CFastFatRecovery, PreviewsPhotosAsTmpJpgAndOtherFilesInMemory) {
  ScannedImage scan("fat/fat32.img.gz");
  const auto listed = scan.Listing();
  const auto expected = ExpectedListing("fat/fat32_truth.tsv");

  std::string path;
  std::vector<std::uint8_t> buffer(64);
  std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
  ASSERT_EQ(scan.engine->ExtractForPreview(listed.at("Photos/!each.jpg"), path, buffer, size,
                                           nullptr, nullptr),
            result::kSuccess);
  EXPECT_EQ(path, scan.dir.File("preview") + "/tmp.jpg");
  EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(path)),
            expected.at("Photos/!each.jpg").sha256);
  EXPECT_EQ(size, 0u);

  size = static_cast<std::uint32_t>(buffer.size());
  ASSERT_EQ(scan.engine->ExtractForPreview(listed.at("!WRL0001.TMP"), path, buffer, size, nullptr,
                                           nullptr),
            result::kSuccess);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(size, 64u) << "no more than the buffer holds";
}

struct ProgressLog {
  std::vector<std::pair<std::int32_t, std::int32_t>> calls;  // percent, error
  std::int32_t answer = 0;
};

std::int32_t OnRecoverProgress(void* context, std::int32_t percent, std::int32_t,
                               std::int32_t error, const std::string&) {
  auto* log = static_cast<ProgressLog*>(context);
  log->calls.emplace_back(percent, error);
  return log->answer;
}

TEST(CFastFatRecovery, WritesEmptyFilesAndReplacesLongerOnes) {
  ScannedImage scan("fat/fat16.img.gz");
  const auto listed = scan.Listing();
  ProgressLog progress;
  scan.engine->SetProgressCallbacks(nullptr, OnRecoverProgress, &progress, 100);

  const std::string target = scan.dir.File("empty.txt");
  testing::WriteFile(target, std::string(5000, 'x'));
  ASSERT_EQ(scan.engine->RecoverItem(listed.at("!mpty.txt"), target, 0), result::kSuccess);
  EXPECT_EQ(std::filesystem::file_size(target), 0u) << "the old content is gone";
  EXPECT_EQ(progress.calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{100, 0}}));

  // A cancel from the callback stops a folder at once and is passed up.
  progress.answer = ResultCancelled;
  std::vector<FoundFile> root;
  scan.engine->ListFolder(nullptr, 0, root);
  const auto trip = std::find_if(root.begin(), root.end(),
                                 [](const FoundFile& f) { return f.Name() == "Trip 2019"; });
  ASSERT_NE(trip, root.end());
  const std::string base = scan.dir.File("cancelled");
  const auto separators = static_cast<std::int32_t>(CountPathSeparators(base));
  EXPECT_EQ(scan.engine->RecoverItem(*trip, base + "/Trip 2019", separators), ResultCancelled);
  EXPECT_FALSE(std::filesystem::exists(base + "/Trip 2019/Day 1")) << "stopped at the first file";
}

TEST(CFastFatRecovery, ScanCancelledByTheCallback) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/fat32.img.gz", dir, "v.img");
  CFastFatRecovery engine(ScanEnvironment{[&] { return dir.File("scan"); }, dir.File("p"), {}});
  ASSERT_EQ(engine.AttachImageFile(image, 0), result::kSuccess);
  EXPECT_EQ(engine.AttachImageFile("/nonexistent", 0), result::kSuccess) << "already attached";
  engine.SetProgressCallbacks(
      [](void*, std::int32_t, std::int32_t, std::int32_t, std::uint64_t, std::uint64_t,
         std::uint64_t, std::int32_t) -> std::int32_t { return ResultCancelled; },
      nullptr, nullptr, 100);
  EXPECT_EQ(engine.Scan(""), ResultCancelled);
}

TEST(CFastFatRecovery, AnEngineThatCouldNotAttachRefusesEverything) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("zeros.img"), std::vector<std::uint8_t>(1 << 20));
  CFastFatRecovery engine(ScanEnvironment{[&] { return dir.File("scan"); }, dir.File("p"), {}});
  EXPECT_EQ(engine.AttachImageFile(dir.File("zeros.img"), 0), result::kInvalidParameter);
  EXPECT_EQ(engine.Scan(""), result::kInvalidParameter);
  std::vector<FoundFile> files;
  EXPECT_EQ(engine.ListFolder(nullptr, 5, files), result::kInvalidParameter);
  EXPECT_EQ(engine.GetFoundCount(), 0u);
  FoundFile file;
  file.size = 100;
  EXPECT_EQ(engine.RecoverItem(file, dir.File("out"), 0), result::kInvalidParameter);
  std::uint64_t sector = 5, length = 9;
  EXPECT_EQ(engine.NextFreeExtent(sector, length), 1);
  EXPECT_EQ(length, 0u);
}

}  // namespace
}  // namespace keldrive

namespace keldrive {
namespace {

TEST(CFastFatRecovery, FollowsADeletedFolderThatGrewBetweenItsFiles) {
  ScannedImage scan("fat/deleted_album.img.gz");
  std::map<std::string, std::string> truth;  // name → sha256
  for (const auto& row : testing::LoadTruthTable("fat/deleted_album_truth.tsv")) {
    truth[row[0]] = row[2];
  }
  ASSERT_EQ(truth.size(), 60u);
  const auto listed = scan.Listing();
  std::size_t exact = 0;
  for (const auto& [name, sha] : truth) {
    const auto found = listed.find("Album/" + name);
    ASSERT_NE(found, listed.end()) << name;
    const std::string target = scan.dir.File("out/" + name);
    ASSERT_EQ(scan.engine->RecoverItem(found->second, target, 0), result::kSuccess) << name;
    if (testing::Sha256Hex(testing::ReadFileBytes(target)) == sha) ++exact;
  }
  EXPECT_EQ(exact, truth.size());
  EXPECT_EQ(listed.size(), truth.size());
}

}  // namespace
}  // namespace keldrive
