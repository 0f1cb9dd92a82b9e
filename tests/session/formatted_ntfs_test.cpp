// The formatted scan of NTFS volumes lost to a format or a new partition table: every file
// whose record survived comes back byte-exact, under its full path where its folders'
// records survived and under "LostFolder%d" where they did not.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "session/professional_recovery.h"
#include "session/scan_runner.h"
#include "support/engine_listing.h"
#include "support/fixtures.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

// The area a user would scan: the image's one volume, or the volume on a partitioned disk.
ScanArea VolumeOf(const std::string& image) {
  ImageLayout layout;
  EXPECT_EQ(ListImageAreas(image, layout), result::kSuccess);
  for (const ScanArea& area : layout.areas) {
    if (area.kind == ScanArea::Kind::kVolume) return area;
  }
  return layout.whole;
}

struct TruthFile {
  std::string path;  // "Documents/letter.txt", "streams/tagged.txt:summary"
  std::string sha256;
  bool recordSurvived = false;
  bool dataSurvived = false;
  bool pathSurvived = true;  // every folder above it kept its record
};

// The old volume's files and streams.
std::vector<TruthFile> OldFiles(const std::string& name) {
  const auto rows = testing::LoadTruthTable("ntfs_formatted/" + name + ".tsv");
  std::map<std::string, bool> folders;
  for (const auto& row : rows) {
    if (row[0] == "old" && row[1] == "d") folders[row[2]] = row[11] == "yes";
  }
  std::vector<TruthFile> files;
  for (const auto& row : rows) {
    if (row[0] != "old" || row[1] == "d") continue;
    TruthFile file;
    file.path = row[1] == "s" ? row[2] + ":" + row[3] : row[2];
    file.sha256 = row[5];
    file.recordSurvived = row[11] == "yes";
    file.dataSurvived = row[12] == "yes";
    for (std::size_t slash = row[2].find('/'); slash != std::string::npos;
         slash = row[2].find('/', slash + 1)) {
      if (!folders[row[2].substr(0, slash)]) file.pathSurvived = false;
    }
    files.push_back(file);
  }
  return files;
}

// The listed path that ends with the file's own name and the folders above it that kept
// their records, below a "LostFolder%d".
const FoundFile* FindUnderLostFolder(const std::map<std::string, FoundFile>& listed,
                                     const std::string& path) {
  for (const auto& [where, file] : listed) {
    if (!where.starts_with("LostFolder")) continue;
    const std::size_t slash = where.find('/');
    if (slash != std::string::npos && path.ends_with(where.substr(slash))) return &file;
  }
  return nullptr;
}

class FormattedNtfs : public ::testing::TestWithParam<const char*> {};

TEST_P(FormattedNtfs, EverySurvivingRecordComesBackByteExactWithItsNameAndPath) {
  const std::string name = GetParam();
  testing::TempDir dir;
  const std::string image =
      testing::ExtractFixture("ntfs_formatted/" + name + ".img.gz", dir, name + ".img");
  ScanCatalogue catalogue(dir.File("scanlog"));
  ScanRequest request;
  request.area = VolumeOf(image);
  request.mode = RecoveryMode::kFormatted;
  // On the overwritten disk two old records lie in the unwritten tails of the new FAT
  // volume's last clusters: in used space, which only a walk of the whole area reads.
  request.whole = name == "ntfs_overwritten_disk";
  ScanOutcome outcome = RunScan(catalogue, request, nullptr);
  ASSERT_EQ(outcome.result, result::kSuccess) << outcome.message;
  IFileRecoveryParse& engine = *outcome.scan.engine;
  const auto listed = testing::ListAllFiles(engine);

  int expected = 0, whole = 0, exact = 0, named = 0, placed = 0;
  for (const TruthFile& truth : OldFiles(name)) {
    if (!truth.recordSurvived) continue;
    ++expected;
    const auto at = listed.find(truth.path);
    const FoundFile* found = at != listed.end() ? &at->second : nullptr;
    if (found != nullptr) {
      ++placed;
    } else if (!truth.pathSurvived) {
      found = FindUnderLostFolder(listed, truth.path);
    }
    EXPECT_NE(found, nullptr) << truth.path;
    if (found == nullptr) continue;
    EXPECT_TRUE(found->sourceEngine == static_cast<std::uint32_t>(SourceEngine::kProfessionalNtfs))
        << truth.path;
    ++named;
    if (truth.pathSurvived) {
      EXPECT_NE(at, listed.end()) << truth.path << " not at its path";
    }
    if (!truth.dataSurvived) continue;
    ++whole;
    const std::string target = dir.File("out/" + std::to_string(expected));
    EXPECT_EQ(engine.RecoverItem(*found, target, 0), result::kSuccess) << truth.path;
    const bool same = testing::Sha256Hex(testing::ReadFileBytes(target)) == truth.sha256;
    EXPECT_TRUE(same) << truth.path;
    if (same) ++exact;
  }
  EXPECT_GT(expected, 40);
  std::printf(
      "[ %s ] surviving records %d (data whole %d): byte-exact %d, named %d, at their "
      "path %d\n",
      name.c_str(), expected, whole, exact, named, placed);
}

INSTANTIATE_TEST_SUITE_P(Images, FormattedNtfs,
                         ::testing::Values("ntfs_reformatted", "ntfs_recluster",
                                           "ntfs_fragmented_mft", "ntfs4k_reformatted",
                                           "ntfs_overwritten_disk"));

}  // namespace
}  // namespace keldrive
