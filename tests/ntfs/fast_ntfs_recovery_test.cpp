#include "ntfs/fast_ntfs_recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "engine/recovery_target.h"
#include "platform/utf8_path.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

enum Column { kRecord, kState, kKind, kSize, kSha256, kTraits, kPath };

struct TruthFile {
  std::set<std::string> paths;  // every name of the record (hard links)
  std::string state;
  std::string sha256;
  std::string listedSha256;  // what the record's shortened attribute list still reaches
  bool listCut = false;
};

// The deleted files of a fixture, by record number.
std::map<std::uint32_t, TruthFile> DeletedFiles(const std::string& truthFile) {
  std::map<std::uint32_t, TruthFile> files;
  for (const auto& row : testing::LoadTruthTable(truthFile)) {
    if (row[kState] == "live") continue;
    TruthFile& file = files[static_cast<std::uint32_t>(std::stoul(row[kRecord]))];
    if (row[kKind] == "p") {
      file.listedSha256 = row[kSha256];
    } else if (row[kKind] == "f") {
      file.paths.insert(row[kPath]);
      file.state = row[kState];
      file.sha256 = row[kSha256];
      file.listCut = row[kTraits].find("listcut") != std::string::npos;
    }
  }
  std::erase_if(files, [](const auto& entry) { return entry.second.paths.empty(); });
  return files;
}

struct ScannedNtfs {
  testing::TempDir dir;
  std::string image;
  CFastNtfsRecovery engine;

  explicit ScannedNtfs(const std::string& fixture)
      : engine(ScanEnvironment{[this] { return dir.File("scan"); }, dir.File("preview"), nullptr}) {
    image = testing::ExtractFixture(fixture, dir, "volume.img");
    EXPECT_EQ(engine.AttachImageFile(image, 1), result::kSuccess);
    EXPECT_EQ(engine.Scan(""), result::kSuccess);
  }
};

class NtfsImage : public ::testing::TestWithParam<const char*> {};

TEST_P(NtfsImage, ListsEveryDeletedFileUnderItsPathAndRecoversIt) {
  const std::string name = GetParam();
  ScannedNtfs scan("ntfs/" + name + ".img.gz");
  const std::string before = testing::Sha256Hex(testing::ReadFileBytes(scan.image));
  const auto listed = testing::ListAllFiles(scan.engine);
  const auto truth = DeletedFiles("ntfs/" + name + ".tsv");

  std::size_t exact = 0, expectedExact = 0;
  for (const auto& [record, file] : truth) {
    auto found = std::find_if(file.paths.begin(), file.paths.end(),
                              [&](const std::string& path) { return listed.contains(path); });
    // A file whose every name the driver emptied away is listed by its record number.
    const std::string byNumber = "Record" + std::to_string(record);
    // An overwritten file may have lost its record to a new file as well.
    if (file.state != "deleted" && found == file.paths.end() && !listed.contains(byNumber)) {
      continue;
    }
    ASSERT_TRUE(found != file.paths.end() || listed.contains(byNumber)) << *file.paths.begin();
    const std::string& path = found != file.paths.end() ? *found : byNumber;
    const FoundFile& item = listed.at(path);
    EXPECT_EQ(item.startCluster, record);
    if (file.state != "deleted") continue;
    const std::string target = scan.dir.File("out/" + std::to_string(record));
    const ResultCode rc = scan.engine.RecoverItem(item, target, 0);
    const std::string got = testing::Sha256Hex(testing::ReadFileBytes(target));
    if (file.listCut) {
      EXPECT_EQ(rc, result::kReadFault) << "the runs end before the file: " << path;
      EXPECT_EQ(got, file.listedSha256) << path;
      continue;
    }
    ++expectedExact;
    EXPECT_EQ(rc, result::kSuccess) << path;
    EXPECT_EQ(got, file.sha256) << path;
    if (got == file.sha256) ++exact;
  }
  EXPECT_EQ(exact, expectedExact);
  EXPECT_LE(listed.size(), truth.size()) << "live files are not listed, deleted ones once";
  EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(scan.image)), before);
}

TEST_P(NtfsImage, RecoversADeletedTreeAndReportsFreeSpace) {
  ScannedNtfs scan(std::string("ntfs/") + GetParam() + ".img.gz");
  std::vector<FoundFile> root;
  ASSERT_EQ(scan.engine.ListFolder(nullptr, 0, root), result::kSuccess);
  const auto tree =
      std::find_if(root.begin(), root.end(), [](const FoundFile& f) { return f.Name() == "tree"; });
  ASSERT_NE(tree, root.end());
  EXPECT_EQ(tree->isDeleted, 1u);
  std::int32_t count = 0;
  EXPECT_EQ(scan.engine.CountFolderFiles(&*tree, 1, count), result::kSuccess);
  EXPECT_EQ(count, 4);
  const std::string base = scan.dir.File("out");
  const auto separators = static_cast<std::int32_t>(CountPathSeparators(base));
  ASSERT_EQ(scan.engine.RecoverItem(*tree, base + "/tree", separators), result::kSuccess);
  EXPECT_TRUE(std::filesystem::exists(
      platform::PathFromUtf8(base + "/tree/level1/level2/level3/файл.bin")));
  EXPECT_TRUE(std::filesystem::exists(base + "/tree/top.txt"));

  ASSERT_EQ(scan.engine.BuildUsedClusterMap(), result::kSuccess);
  std::uint64_t sector = 0, length = 0, freeSectors = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    scan.engine.NextFreeExtent(sector, length);
    if (length == 0) break;
    freeSectors += length;
    sector += length;
  }
  EXPECT_GT(freeSectors, 0u);
  EXPECT_LT(freeSectors, scan.engine.Geometry().sectorCount);
}

INSTANTIATE_TEST_SUITE_P(Images, NtfsImage, ::testing::Values("ntfs512", "ntfs4k"));

}  // namespace
}  // namespace keldrive
