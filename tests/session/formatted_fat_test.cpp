// Formatted and overwritten FAT volumes: a formatted scan rebuilds the old folders from the
// directory sectors left in the data area, and gives the files back byte-exact with their
// names and the folder tree below the first lost level.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>

#include "session/professional_recovery.h"
#include "session/scan_runner.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

enum Column {
  kImage,
  kVolume,
  kKind,
  kState,
  kPath,
  kSize,
  kSha256,
  kFirstCluster,
  kClusters,
  kFirstSector,
  kEntrySector,
  kEntryCluster,
  kShortName,
  kCaseBits,
  kInRoot,
  kEntryKept,
  kDataKept,
  kContiguous,
  kNamedPath,
};

std::string BaseName(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

class FormattedFat : public ::testing::TestWithParam<const char*> {};

TEST_P(FormattedFat, GivesBackEveryFileOfASurvivingFolderWithItsNameAndPath) {
  const std::string name = GetParam();
  testing::TempDir dir;
  const std::string image =
      testing::ExtractFixture("fat_formatted/" + name + ".img.gz", dir, "disk.img");
  const std::string before = testing::Sha256Hex(testing::ReadFileBytes(image));
  ImageLayout layout;
  ASSERT_EQ(ListImageAreas(image, layout), result::kSuccess);
  ScanCatalogue catalogue(dir.File("scanlog"));
  ScanRequest request;
  request.area = layout.whole;
  request.mode = RecoveryMode::kFormatted;
  ScanOutcome outcome = RunScan(catalogue, request, nullptr);
  ASSERT_EQ(outcome.result, result::kSuccess) << outcome.message;
  IFileRecoveryParse& engine = *outcome.scan.engine;

  // Every file listed, and what recovering it gives.
  const auto listed = testing::ListAllFiles(engine);
  std::map<std::string, std::string> contentOf;  // path → sha256
  std::multimap<std::string, std::string> pathsOfContent;
  for (const auto& [path, file] : listed) {
    const std::string target = dir.File("out/" + std::to_string(contentOf.size()));
    if (engine.RecoverItem(file, target, 0) != result::kSuccess) continue;
    contentOf[path] = testing::Sha256Hex(testing::ReadFileBytes(target));
    pathsOfContent.emplace(contentOf[path], path);
  }

  int files = 0, exact = 0, named = 0, withPath = 0;
  for (const auto& row : testing::LoadTruthTable("fat_formatted/files.tsv")) {
    if (row[kImage] != name || row[kKind] != "file") continue;
    ++files;
    const auto [first, last] = pathsOfContent.equal_range(row[kSha256]);
    if (first != last) ++exact;
    bool hasName = false;
    for (auto it = first; it != last; ++it) hasName |= BaseName(it->second) == BaseName(row[kPath]);
    if (hasName) ++named;
    if (row[kNamedPath] == "-") continue;
    const std::string path = row[kNamedPath].substr(1);
    const auto found = listed.find(path);
    // Fragmented files come back whole too: through the old table where it survived (the
    // overwritten disk), else by going on past the clusters of the live files found.
    const bool whole = row[kDataKept] == "yes";
    // A photo whose data was overwritten fails its content check and is not listed.
    if (row[kDataKept] == "yes") {
      EXPECT_TRUE(found != listed.end()) << path;
    }
    if (found == listed.end()) continue;
    EXPECT_EQ(found->second.size, std::stoull(row[kSize])) << path;
    if (!whole) continue;
    EXPECT_EQ(contentOf[path], row[kSha256]) << path;
    if (contentOf[path] == row[kSha256]) ++withPath;
  }
  std::cout << "[ figures  ] " << name << ": " << files << " files, " << exact << " byte-exact, "
            << named << " byte-exact with name, " << withPath << " byte-exact with path\n";
  EXPECT_EQ(testing::Sha256Hex(testing::ReadFileBytes(image)), before) << "only ever read";
}

INSTANTIATE_TEST_SUITE_P(Images, FormattedFat,
                         ::testing::Values("fat32_reformatted", "fat16_reformatted",
                                           "fat32_recluster", "fat32_overwritten_disk"));

}  // namespace
}  // namespace keldrive
